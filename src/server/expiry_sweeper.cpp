#include "server/expiry_sweeper.h"

#include "expiry/expiry_sweep.h"

#include <utility>

namespace taurelin {

ExpirySweeper::ExpirySweeper(const QString& directory, int intervalSeconds, ServerLog& log,
                             std::function<HandlerContext()> context, QObject* parent)
    : QObject(parent),
      intervalSeconds_(intervalSeconds),
      log_(log),
      context_(std::move(context)),
      timeOuts_(directory) {
  timeOuts_.setLog([this](const QString& line) { log_.log(line); });
  // Damage to the register is the operator's to know also with logging off.
  timeOuts_.setAlert([this](const QString& line) { log_.tell(line); });
  connect(&timer_, &QTimer::timeout, this, &ExpirySweeper::sweep);
}

void ExpirySweeper::start() {
  try {
    // Damage first, while the damaged records are still where they were; then the free
    // records go, before this instance's first sweep. A register that cannot be compacted
    // is told and kept as it is: the server starts all the same.
    timeOuts_.check();
    timeOuts_.compact();
  } catch (const TimeOutRegisterError& error) {
    log_.tell(QString::fromUtf8(error.what()));
  }
  timer_.start(1000);
}

void ExpirySweeper::stop() { timer_.stop(); }

void ExpirySweeper::sweep() {
  timer_.setInterval(intervalSeconds_ * 1000);
  HandlerContext context = context_();
  int handled = 0;
  try {
    handled = CheckTimeOuts(timeOuts_, context);
  } catch (const std::exception& failure) {
    // The sweep ends where it failed; the next one starts again from the first entry. A
    // notice, not an error box: a box would hold the sweeps and the requests behind it.
    const QString text = QStringLiteral("The sweep for expired reservations failed: ") +
                         QString::fromUtf8(failure.what());
    log_.tell(text);
  }
  if (handled > 0) log_.refreshLogView();
}

}  // namespace taurelin
