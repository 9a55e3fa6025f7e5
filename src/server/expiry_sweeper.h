#pragma once

// The time-out register and the sweep for expired reservations on a timer.
//
// Promises: the register is checked for damage before its free records are compacted away,
// and both before the first sweep; a register that cannot be compacted is told and kept, and
// start-up goes on. No sweep runs before start(): the first comes about a second later, then
// one per interval. A failed sweep is told without waiting (it must not hold the sweeps and
// the requests behind a box) and ends there; the next one starts again from the first entry.
// Damage to the register is told also with logging off.

#include "expiry/timeout_register.h"
#include "handlers/instruction.h"
#include "server/server_log.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace taurelin {

class ExpirySweeper : public QObject {
  Q_OBJECT

 public:
  // The register lives in `directory` (empty: the current one); `context` gives the
  // environment a sweep runs in, the database among it.
  ExpirySweeper(const QString& directory, int intervalSeconds, ServerLog& log,
                std::function<HandlerContext()> context, QObject* parent = nullptr);

  // Checks and compacts the register, then schedules the sweeps; once the database is
  // connected.
  void start();
  void stop();
  // Whether the sweeps are scheduled.
  bool scheduled() const { return timer_.isActive(); }
  TimeOutRegister& timeOuts() { return timeOuts_; }

 private:
  void sweep();

  int intervalSeconds_;
  ServerLog& log_;
  std::function<HandlerContext()> context_;
  TimeOutRegister timeOuts_;
  QTimer timer_;
};

}  // namespace taurelin
