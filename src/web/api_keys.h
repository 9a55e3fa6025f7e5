#pragma once

// The keys of the integrators (the web shop's back end, a channel manager, the operator's
// scripts), as the key file lists them: one a line, NAME:SCOPES:SHA256HEX, where SCOPES is a
// comma-separated set of read, reserve and manage, and SHA256HEX the SHA-256 of the key in
// lower-case hex; "#" starts a comment. The file holds no key itself, so reading it gives
// nobody a key.
//
// Promises: a presented key is hashed and compared with every entry, each comparison in
// constant time, so how long a look-up takes tells nothing of how near a guess came; a file
// that changes is read again (looked at once a second at most), and a changed file that
// cannot be read keeps the keys read before, so a typing slip never locks every integrator
// out.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <stdexcept>

namespace taurelin {

class ApiKeyError : public std::runtime_error {
 public:
  explicit ApiKeyError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

// What a key may do. manage includes the other two, reserve includes read.
enum class Scope { kRead = 1, kReserve = 2, kManage = 4 };

struct ApiKey {
  QString name;
  int scopes = 0;     // Scope values or'ed
  QByteArray digest;  // SHA-256 of the key, 32 bytes

  bool allows(Scope scope) const;
};

// The scopes of a comma-separated list; nothing when it is empty or names an unknown scope.
std::optional<int> ParseScopes(const QString& text);
// The comma-separated list of `scopes`.
QString ScopesText(int scopes);

// The entries of a key file's text. Throws ApiKeyError naming the first line that is not an
// entry, and a name given twice.
QList<ApiKey> ParseApiKeys(const QByteArray& text);

class ApiKeys {
 public:
  using Log = std::function<void(const QString& line)>;

  // No file: no key, every caller is a guest.
  ApiKeys() = default;
  // Reads `file`; throws ApiKeyError when it cannot be read or holds a line that is no entry.
  ApiKeys(QString file, Log log);

  // The entry of `key`, or nothing when no entry has it.
  std::optional<ApiKey> find(const QByteArray& key);

 private:
  void readAgainIfChanged();

  QString file_;
  Log log_;
  QList<ApiKey> keys_;
  QDateTime modified_;
  qint64 size_ = -1;
  qint64 lookedAtMs_ = 0;
  bool brokenReported_ = false;
};

// Appends an entry for a fresh random key of 192 bits named `name` with `scopes` to `file`
// (made readable by its owner and group only when it is new) and returns the key, which is
// written nowhere else. Throws ApiKeyError for a name that is no name or is taken, scopes
// that are none, and a file that cannot be read or written.
QString AddApiKey(const QString& file, const QString& name, const QString& scopes);

}  // namespace taurelin
