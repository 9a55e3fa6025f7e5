#include "store/connection_watch.h"

#include <QHash>

namespace taurelin {
namespace {

QHash<QString, ConnectionWatch*>& Watches() {
  thread_local QHash<QString, ConnectionWatch*> watches;
  return watches;
}

// The driver's message on one line, without its final full stop: it stands inside a sentence.
QString Sentence(const QString& error) {
  QString text = error.simplified();
  while (text.endsWith(u'.')) text.chop(1);
  return text;
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
    watch->notice_(QStringLiteral("The database %1 is unreachable: %2. Requests that need it "
                                  "fail until it answers.")
                       .arg(watch->databaseName_, Sentence(error)));
  }
}

void ConnectionWatch::Answered(const QString& connection) {
  ConnectionWatch* watch = Watches().value(connection);
  if (watch == nullptr || watch->reachable_) return;
  watch->reachable_ = true;
  if (watch->notice_) {
    watch->notice_(QStringLiteral("The database %1 answers again.").arg(watch->databaseName_));
  }
}

}  // namespace taurelin
