#include "store/connection.h"

#include "store/backend.h"
#include "store/connection_watch.h"
#include "store/fail.h"

#include <QElapsedTimer>
#include <QSqlDriver>
#include <QSqlError>

namespace taurelin {
namespace {

QString ErrorText(const QSqlError& error) {
  const QString text = error.text().trimmed();
  return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

}  // namespace

Connection::Connection(QString name) : name_(std::move(name)) {}

Connection::~Connection() { close(); }

const Backend& Connection::backend() const {
  return backend_ != nullptr ? *backend_ : Backend::Default();
}

bool Connection::open(const DatabaseAlias& alias, QString* error, bool createMissingFile) {
  close();
  if (!QSqlDatabase::isDriverAvailable(alias.driver)) {
    return Fail(error, QStringLiteral("the database driver %1 is not installed").arg(alias.driver));
  }
  // The backend is chosen here, once, from the alias's driver.
  const Backend* backend = Backend::ForDriver(alias.driver);
  if (backend == nullptr) {
    return Fail(error,
                QStringLiteral("no backend serves the database driver %1").arg(alias.driver));
  }
  database_ = QSqlDatabase::addDatabase(alias.driver, name_);
  if (!backend->configure(database_, alias, createMissingFile, error)) {
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
    return false;
  }
  backend_ = backend;
  return ensureOpen(error);
}

void Connection::close() {
  if (database_.isValid()) {
    // A session the server ended is noticed before its statements go, so that they are held
    // rather than freed on it (which fails, with a warning each).
    if (database_.isOpen() && backend_ != nullptr) (void)sessionGone();
    statements_.forget();
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
  }
  statements_.releaseHeld();
  // What was learnt of the session goes with it; the watch and an open transaction stay, as
  // the objects that hold them outlive the session.
  backend_ = nullptr;
  lost_ = false;
  heldOff_.reset();
  fileIdentity_.clear();
}

bool Connection::sessionGone() const { return lost_ || backend().sessionEnded(database_); }

bool Connection::unreachable(const QString& text, QString* error) {
  if (watch_ != nullptr) watch_->lost(text);
  return Fail(error, text);
}

void Connection::answered() {
  if (watch_ != nullptr) watch_->answered();
}

bool Connection::ensureOpen(QString* error) {
  if (!database_.isValid()) {
    return Fail(error, QStringLiteral("no database connection %1").arg(name_));
  }
  if (database_.isOpen() && !sessionGone()) return true;
  if (writing_ || statements_.inUse()) {
    return unreachable(QStringLiteral("the connection to the database was lost"), error);
  }
  if (heldOff_ && !heldOff_->first.hasExpired()) return unreachable(heldOff_->second, error);
  // The old session's statements go before it does.
  statements_.forget();
  database_.close();
  QElapsedTimer waited;
  waited.start();
  if (!database_.open()) {
    const QString text = database_.lastError().text().trimmed();
    const QString said = text.isEmpty() ? QStringLiteral("the database cannot be opened") : text;
    // A refusal comes at once; a wait this long was the connect timeout, or close to it.
    if (waited.elapsed() >= 1000) heldOff_ = {QDeadlineTimer(kRetryAfterTimeoutMs), said};
    return unreachable(said, error);
  }
  heldOff_.reset();
  lost_ = false;
  ++opening_;
  statements_.opened();
  QString failure;
  if (!backend().prepareOpened(*this, &failure)) {
    statements_.forget();
    database_.close();
    return unreachable(failure, error);
  }
  answered();
  return true;
}

QSqlDatabase& Connection::ready() {
  QString error;
  if (!ensureOpen(&error)) throw DatabaseError(error, DatabaseError::Cause::kConnection);
  return database_;
}

bool Connection::lostBy(const QSqlError& error) {
  if (!database_.isValid()) return true;
  if (!backend().lostBy(database_, error)) return false;
  markLost(ErrorText(error));
  return true;
}

void Connection::markLost(const QString& why) {
  lost_ = true;
  if (watch_ != nullptr) watch_->lost(why);
}

DatabaseError Connection::failure(const QSqlError& error) {
  const bool lost = lostBy(error);
  return DatabaseError(ErrorText(error), lost ? DatabaseError::Cause::kConnection
                                              : DatabaseError::Cause::kStatement);
}

}  // namespace taurelin
