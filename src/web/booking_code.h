#pragma once

// The booking code: what lets a caller without a manage key act on one booking. It is an
// HMAC-SHA256 of the booking's reference number under the server's secret, its first 120
// bits written in the URL-safe base64 alphabet (20 characters), so it cannot be guessed from
// the number, and servers that share the secret agree on it.
//
// Promises: a code is checked in constant time; a secret shorter than 16 bytes is refused;
// the secret file, when the server makes it, is written whole with mode 0600 before any
// other program can see it, and two servers that make it at the same moment end up with the
// same one.

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace taurelin {

class BookingCodeError : public std::runtime_error {
 public:
  explicit BookingCodeError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

class BookingCodes {
 public:
  // Throws BookingCodeError for a secret shorter than 16 bytes.
  explicit BookingCodes(QByteArray secret);

  QString codeFor(qint64 refnr) const;
  bool matches(qint64 refnr, const QByteArray& code) const;

  // The secret in `file`: 32 to 128 hex digits on its first line. When `create` is set and
  // there is no such file, a random secret of 32 bytes is written there first. Throws
  // BookingCodeError when the file cannot be read, holds no secret, or cannot be made.
  static QByteArray LoadSecret(const QString& file, bool create);

 private:
  QByteArray secret_;
};

}  // namespace taurelin
