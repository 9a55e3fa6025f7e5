#include "store/mail_confirmations.h"

#include "base/constant_time.h"
#include "store/connection.h"
#include "store/statement.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace taurelin {
namespace {

// No hold lasts this long: a row older than it belongs to a hold that ran out.
constexpr qint64 kForgottenAfterSeconds = 2 * 24 * 3600;

QString Digest(const QString& key) {
  return QString::fromLatin1(
      QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex());
}

void Delete(Connection& connection, const char* condition, const QString& name, qint64 value) {
  Statement s(connection);
  s.add(QStringLiteral("DELETE FROM BEKREFT_VENTER WHERE ") + QLatin1String(condition));
  s.bindInteger(name, value);
  s.run();
}

}  // namespace

MailConfirmations::MailConfirmations(Connection& connection) : connection_(connection) {}

QString MailConfirmations::NewKey() {
  std::array<quint32, 6> words{};
  QRandomGenerator::system()->fillRange(words.data(), words.size());
  const QByteArray bytes(reinterpret_cast<const char*>(words.data()), 18);
  return QString::fromLatin1(
      bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool MailConfirmations::Await(qint64 refnr, const QString& key, const Waiting& waiting,
                              const QDateTime& now) {
  Delete(connection_, "OPPRETTET < :BEFORE", QStringLiteral("BEFORE"),
         now.toSecsSinceEpoch() - kForgottenAfterSeconds);
  const bool first = !Awaits(refnr);
  Delete(connection_, "REFNR = :REFNR", QStringLiteral("REFNR"), refnr);
  Statement s(connection_);
  s.add({"INSERT INTO BEKREFT_VENTER (REFNR, BESTNR, AKODE, NOKKEL, SPRAAK, OPPRETTET)",
         "VALUES (:REFNR, :BESTNR, :AKODE, :NOKKEL, :SPRAAK, :OPPRETTET)"});
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.bindInteger(QStringLiteral("BESTNR"), waiting.bestnr);
  s.bindText(QStringLiteral("AKODE"), waiting.agent);
  s.bindText(QStringLiteral("NOKKEL"), Digest(key));
  s.bindText(QStringLiteral("SPRAAK"), waiting.language);
  s.bindInteger(QStringLiteral("OPPRETTET"), now.toSecsSinceEpoch());
  s.run();
  return first;
}

bool MailConfirmations::Awaits(qint64 refnr) {
  Statement s(connection_);
  s.add(QStringLiteral("SELECT 1 AS VENTER FROM BEKREFT_VENTER WHERE REFNR = :REFNR"));
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.run();
  return s.next();
}

MailConfirmations::Outcome MailConfirmations::Confirm(qint64 refnr, const QString& key,
                                                      Waiting* waiting) {
  Statement s(connection_);
  s.add({"SELECT BESTNR, AKODE, NOKKEL, SPRAAK FROM BEKREFT_VENTER", "WHERE REFNR = :REFNR"});
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.run();
  if (!s.next()) return Outcome::kNotWaiting;
  const QString kept = s.text(QStringLiteral("NOKKEL"));
  waiting->bestnr = s.integer64(QStringLiteral("BESTNR"));
  waiting->agent = s.text(QStringLiteral("AKODE"));
  waiting->language = s.text(QStringLiteral("SPRAAK"));
  s.close();
  if (!EqualInConstantTime(kept.toLatin1(), Digest(key).toLatin1())) return Outcome::kWrongKey;
  Delete(connection_, "REFNR = :REFNR", QStringLiteral("REFNR"), refnr);
  return Outcome::kConfirmed;
}

}  // namespace taurelin
