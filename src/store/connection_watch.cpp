#include "store/connection_watch.h"

#include <QHash>

namespace taurelin {
namespace {

QHash<QString, ConnectionWatch*>& Watches() {
  thread_local QHash<QString, ConnectionWatch*> watches;
  return watches;
}

}  // namespace

ConnectionWatch::ConnectionWatch(QString databaseName, QStringList connections, bool reachable,
                                 Notice notice)
    : databaseName_(std::move(databaseName)),
      connections_(std::move(connections)),
      reachable_(reachable),
      notice_(std::move(notice)) {
  for (const QString& connection : connections_) Watches().insert(connection, this);
}

ConnectionWatch::~ConnectionWatch() {
  for (const QString& connection : connections_) {
    if (Watches().value(connection) == this) Watches().remove(connection);
  }
}

void ConnectionWatch::Lost(const QString& connection, const QString& error) {
  ConnectionWatch* watch = Watches().value(connection);
  if (watch == nullptr || !watch->reachable_) return;
  watch->reachable_ = false;
  if (watch->notice_) {
    watch->notice_({StoreCondition::kUnreachable, watch->databaseName_, error});
  }
}

void ConnectionWatch::Answered(const QString& connection) {
  ConnectionWatch* watch = Watches().value(connection);
  if (watch == nullptr || watch->reachable_) return;
  watch->reachable_ = true;
  if (watch->notice_) {
    watch->notice_({StoreCondition::kAnswersAgain, watch->databaseName_, QString()});
  }
}

}  // namespace taurelin
