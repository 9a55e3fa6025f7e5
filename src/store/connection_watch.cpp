#include "store/connection_watch.h"

#include "store/connection_state.h"

namespace taurelin {
ConnectionWatch::ConnectionWatch(QString databaseName, QStringList connections, bool reachable,
                                 Notice notice)
    : databaseName_(std::move(databaseName)),
      connections_(std::move(connections)),
      reachable_(reachable),
      notice_(std::move(notice)) {
  for (const QString& connection : connections_) ConnectionState::Of(connection).watch = this;
}

ConnectionWatch::~ConnectionWatch() {
  for (const QString& connection : connections_) {
    ConnectionState* state = ConnectionState::Find(connection);
    if (state != nullptr && state->watch == this) state->watch = nullptr;
  }
}

void ConnectionWatch::Lost(const QString& connection, const QString& error) {
  const ConnectionState* state = ConnectionState::Find(connection);
  ConnectionWatch* watch = state != nullptr ? state->watch : nullptr;
  if (watch == nullptr || !watch->reachable_) return;
  watch->reachable_ = false;
  if (watch->notice_) {
    watch->notice_({StoreCondition::kUnreachable, watch->databaseName_, error});
  }
}

void ConnectionWatch::Answered(const QString& connection) {
  const ConnectionState* state = ConnectionState::Find(connection);
  ConnectionWatch* watch = state != nullptr ? state->watch : nullptr;
  if (watch == nullptr || watch->reachable_) return;
  watch->reachable_ = true;
  if (watch->notice_) {
    watch->notice_({StoreCondition::kAnswersAgain, watch->databaseName_, QString()});
  }
}

}  // namespace taurelin
