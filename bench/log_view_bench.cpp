// The operator's log view on a busy day: the day's log holds LINES lines, then REQUESTS
// built-in test requests run through the operator window with the view shown, and again
// with it hidden. Also prints what one log line costs.
//
//   log_view_bench [LINES] [REQUESTS]
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include "server/main_window.h"
#include "server/operation_log.h"
#include "store/test_database.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace taurelin;

// Microseconds per run of `work`, with the events that follow each run served.
template <typename Work>
double MicrosecondsEach(int runs, Work work) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < runs; ++i) {
    work(i);
    QCoreApplication::processEvents();
  }
  return static_cast<double>(timer.nsecsElapsed()) / 1000.0 / runs;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  const int lines = arguments.size() > 1 ? arguments[1].toInt() : 20000;
  const int requests = arguments.size() > 2 ? arguments[2].toInt() : 1000;
  if (lines < 1 || requests < 1) {
    std::fprintf(stderr, "usage: log_view_bench [LINES] [REQUESTS]\n");
    return 2;
  }

  QTemporaryDir dir;
  TestDatabase database;
  const QString configFile = dir.filePath(QStringLiteral("taurelin.conf"));
  {
    QSettings settings(configFile, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Software/Vindrelok/Taurelin/API"));
    settings.setValue(QStringLiteral("Port"), 0);
    settings.setValue(QStringLiteral("Logfile"), 1);
    settings.setValue(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("DatabaseAlias"), QStringLiteral("test"));
  }
  ProcessLog().setDirectory(dir.path());
  ServerOptions options;
  options.configFile = configFile;
  options.aliasFile = database.aliases().file();
  options.timeOutDirectory = dir.path();

  TfrmAPIMain window(options);
  window.show();
  window.FormCreate();
  const double perLine = MicrosecondsEach(lines, [](int i) {
    WriteLogLine(QStringLiteral("I0 : messageID=%1&count=1&header=INSTRUKSJON&data=TEST-API")
                     .arg(i));
  });
  window.mniViewLogfile()->trigger();
  const double shown = MicrosecondsEach(requests, [&](int) { window.mniTest()->trigger(); });
  const int viewLines = window.memLogFile()->document()->blockCount();
  window.mniViewLogfile()->trigger();
  const double hidden = MicrosecondsEach(requests, [&](int) { window.mniTest()->trigger(); });
  window.FormDestroy();

  std::printf("log line                        %10.1f us\n", perLine);
  std::printf("request, log view shown         %10.1f us\n", shown);
  std::printf("request, log view hidden        %10.1f us\n", hidden);
  std::printf("lines in the view at the end    %10d\n", viewLines);
  return 0;
}
