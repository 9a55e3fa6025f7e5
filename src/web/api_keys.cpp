#include "web/api_keys.h"

#include "base/constant_time.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <array>

namespace taurelin {
namespace {

struct ScopeName {
  Scope scope;
  const char* name;
};
constexpr ScopeName kScopeNames[] = {
    {Scope::kRead, "read"}, {Scope::kReserve, "reserve"}, {Scope::kManage, "manage"}};

bool IsName(const QString& name) {
  static const QRegularExpression kName(
      QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9._-]{1,64}")));
  return kName.match(name).hasMatch();
}

QByteArray Digest(const QByteArray& key) {
  return QCryptographicHash::hash(key, QCryptographicHash::Sha256);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw ApiKeyError(QStringLiteral("the key file %1 cannot be read: %2")
                          .arg(path, file.errorString()));
  }
  return file.readAll();
}

}  // namespace

bool ApiKey::allows(Scope scope) const {
  if (scopes & static_cast<int>(Scope::kManage)) return true;
  if (scope == Scope::kRead && (scopes & static_cast<int>(Scope::kReserve))) return true;
  return (scopes & static_cast<int>(scope)) != 0;
}

std::optional<int> ParseScopes(const QString& text) {
  int scopes = 0;
  for (const QString& part : text.split(u',')) {
    const QString word = part.trimmed();
    int found = 0;
    for (const ScopeName& known : kScopeNames) {
      if (word == QLatin1String(known.name)) found = static_cast<int>(known.scope);
    }
    if (found == 0) return std::nullopt;
    scopes |= found;
  }
  return scopes;
}

QString ScopesText(int scopes) {
  QStringList names;
  for (const ScopeName& known : kScopeNames) {
    if (scopes & static_cast<int>(known.scope)) names << QLatin1String(known.name);
  }
  return names.join(u',');
}

QList<ApiKey> ParseApiKeys(const QByteArray& text) {
  static const QRegularExpression kDigest(
      QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{64}")));
  QList<ApiKey> keys;
  int number = 0;
  for (const QByteArray& raw : text.split('\n')) {
    ++number;
    QString line = QString::fromUtf8(raw);
    const qsizetype comment = line.indexOf(u'#');
    if (comment >= 0) line.truncate(comment);
    line = line.trimmed();
    if (line.isEmpty()) continue;
    const QStringList parts = line.split(u':');
    const auto refuse = [number](const QString& why) {
      throw ApiKeyError(QStringLiteral("line %1 of the key file %2").arg(number).arg(why));
    };
    if (parts.size() != 3) refuse(QStringLiteral("is not NAME:SCOPES:SHA256HEX"));
    ApiKey key;
    key.name = parts[0].trimmed();
    if (!IsName(key.name)) {
      refuse(QStringLiteral("has a name that is not 1 to 64 letters, digits, '.', '_' or '-'"));
    }
    const std::optional<int> scopes = ParseScopes(parts[1]);
    if (!scopes) refuse(QStringLiteral("names a scope that is not read, reserve or manage"));
    key.scopes = *scopes;
    const QString digest = parts[2].trimmed();
    if (!kDigest.match(digest).hasMatch()) {
      refuse(QStringLiteral("has no SHA-256 of 64 lower-case hex digits"));
    }
    key.digest = QByteArray::fromHex(digest.toLatin1());
    for (const ApiKey& earlier : keys) {
      if (earlier.name == key.name) refuse(QStringLiteral("names %1 a second time").arg(key.name));
    }
    keys << key;
  }
  return keys;
}

ApiKeys::ApiKeys(QString file, Log log) : file_(std::move(file)), log_(std::move(log)) {
  const QFileInfo info(file_);
  modified_ = info.lastModified();
  size_ = info.size();
  keys_ = ParseApiKeys(ReadFile(file_));
}

void ApiKeys::readAgainIfChanged() {
  if (file_.isEmpty()) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lookedAtMs_ < 1000 && now >= lookedAtMs_) return;
  lookedAtMs_ = now;
  const QFileInfo info(file_);
  if (info.lastModified() == modified_ && info.size() == size_) return;
  try {
    keys_ = ParseApiKeys(ReadFile(file_));
    modified_ = info.lastModified();
    size_ = info.size();
    brokenReported_ = false;
    if (log_) log_(QStringLiteral("The key file %1 was read again: %2 keys").arg(file_).arg(keys_.size()));
  } catch (const ApiKeyError& error) {
    // Said once per change; the keys read before stay in force.
    if (!brokenReported_ && log_) {
      log_(QString::fromUtf8(error.what()) + QStringLiteral("; the keys read before stay"));
    }
    brokenReported_ = true;
  }
}

std::optional<ApiKey> ApiKeys::find(const QByteArray& key) {
  readAgainIfChanged();
  const QByteArray digest = Digest(key);
  std::optional<ApiKey> found;
  // Every entry is compared, also after a match.
  for (const ApiKey& entry : keys_) {
    if (EqualInConstantTime(entry.digest, digest)) found = entry;
  }
  return found;
}

QString AddApiKey(const QString& file, const QString& name, const QString& scopes) {
  if (!IsName(name)) {
    throw ApiKeyError(QStringLiteral("a key's name is 1 to 64 letters, digits, '.', '_' or '-'"));
  }
  const std::optional<int> parsed = ParseScopes(scopes);
  if (!parsed) {
    throw ApiKeyError(QStringLiteral("--scopes takes read, reserve and manage, comma-separated"));
  }
  QByteArray text;
  const bool exists = QFileInfo::exists(file);
  if (exists) text = ReadFile(file);
  for (const ApiKey& key : ParseApiKeys(text)) {
    if (key.name == name) {
      throw ApiKeyError(QStringLiteral("the key file %1 has a key named %2 already")
                            .arg(file, name));
    }
  }
  std::array<quint32, 6> random{};
  QRandomGenerator::system()->fillRange(random.data(), random.size());
  const QByteArray bytes(reinterpret_cast<const char*>(random.data()),
                         static_cast<qsizetype>(sizeof random));
  const QByteArray key =
      "tk_" + bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);

  QByteArray entry;
  if (!text.isEmpty() && !text.endsWith('\n')) entry += '\n';
  if (!exists) {
    entry += "# Keys of the HTTP face: NAME:SCOPES:SHA256-OF-THE-KEY, made by taurelin-api "
             "--new-api-key.\n";
  }
  entry += QStringLiteral("%1:%2:").arg(name, ScopesText(*parsed)).toUtf8() +
           Digest(key).toHex() + "  # added " +
           QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n';
  // Appended in place with one write, so the file keeps its owner, group and mode (the
  // server's group must go on reading it); a server that reads it meanwhile and finds half
  // a line keeps its keys and reads the file again a second later.
  QFile out(file);
  const bool opened =
      exists ? out.open(QIODevice::Append)
             : out.open(QIODevice::Append | QIODevice::NewOnly,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ReadGroup);
  if (!opened || out.write(entry) != entry.size() || !out.flush()) {
    throw ApiKeyError(QStringLiteral("the key file %1 cannot be written: %2")
                          .arg(file, out.errorString()));
  }
  return QString::fromLatin1(key);
}

}  // namespace taurelin
