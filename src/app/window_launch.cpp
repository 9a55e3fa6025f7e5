#include "app/window_launch.h"

#include "app/quit_on_signals.h"
#include "server/main_window.h"

#include <QApplication>

namespace taurelin {

std::unique_ptr<QCoreApplication> MakeWindowApplication(int& argc, char** argv) {
  auto app = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Taurelin 5.2.x Internett API"));
  return app;
}

int RunWindow(const ServerOptions& options) {
  TfrmAPIMain window(options);
  window.show();
  window.FormCreate();
  QuitOnSignals signals;
  QObject::connect(&signals, &QuitOnSignals::signalled, &window, &QWidget::close);
  const int status = QApplication::exec();
  window.FormDestroy();
  return status;
}

}  // namespace taurelin
