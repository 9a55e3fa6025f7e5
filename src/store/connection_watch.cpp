#include "store/connection_watch.h"

namespace taurelin {

ConnectionWatch::ConnectionWatch(QString databaseName, bool reachable, Notice notice)
    : databaseName_(std::move(databaseName)), reachable_(reachable), notice_(std::move(notice)) {}

void ConnectionWatch::lost(const QString& error) {
  if (!reachable_) return;
  reachable_ = false;
  if (notice_) notice_({StoreCondition::kUnreachable, databaseName_, error});
}

void ConnectionWatch::answered() {
  if (reachable_) return;
  reachable_ = true;
  if (notice_) notice_({StoreCondition::kAnswersAgain, databaseName_, QString()});
}

}  // namespace taurelin
