#pragma once

// Ends the event loop when the process gets SIGTERM or SIGINT, so that the server stops
// cleanly: the listener stops, connections close, the database is released.

#include <QObject>

class QSocketNotifier;

namespace taurelin {

class QuitOnSignals : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignals(QObject* parent = nullptr);
  ~QuitOnSignals() override;

 Q_SIGNALS:
  void signalled();

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace taurelin
