#include "base/keyed_code.h"

#include "base/constant_time.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace taurelin {
namespace {

constexpr qsizetype kCodeBytes = 15;  // 120 bits: 20 characters of base64url

}  // namespace

QString KeyedCode(const QByteArray& message, const QByteArray& secret) {
  const QByteArray mac =
      QMessageAuthenticationCode::hash(message, secret, QCryptographicHash::Sha256);
  return QString::fromLatin1(mac.left(kCodeBytes).toBase64(QByteArray::Base64UrlEncoding |
                                                          QByteArray::OmitTrailingEquals));
}

bool KeyedCodeMatches(const QByteArray& message, const QByteArray& secret, QByteArrayView code) {
  return EqualInConstantTime(KeyedCode(message, secret).toLatin1(), code);
}

}  // namespace taurelin
