#pragma once

// A short code that proves knowledge of a secret: the HMAC-SHA256 of a message under the
// secret, its first 120 bits in the URL-safe base64 alphabet (20 characters). Booking codes
// and feed tokens are both made this way, each from messages of its own form, so a code of
// one kind is never a code of the other.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace taurelin {

QString KeyedCode(const QByteArray& message, const QByteArray& secret);

// Whether `code` is the keyed code of `message`, compared in constant time.
bool KeyedCodeMatches(const QByteArray& message, const QByteArray& secret, QByteArrayView code);

}  // namespace taurelin
