#pragma once

// The token in the URL of an exported calendar feed. Booking platforms take a feed as a bare
// URL, so the URL itself must be what cannot be guessed: the token is the keyed code of
// "ical/v1/FACILITY/TYPE" under the secret of the web face's booking codes. Servers that
// share the secret print and accept the same URLs, and a new secret revokes every one.
//
// Promises: a token belongs to one facility, one type and one secret; it is checked in
// constant time; a secret shorter than 16 bytes is refused.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace taurelin {

class FeedTokens {
 public:
  // Throws std::invalid_argument for a secret shorter than 16 bytes.
  explicit FeedTokens(QByteArray secret);

  QString tokenFor(int facility, int type) const;
  bool matches(int facility, int type, QByteArrayView token) const;

 private:
  QByteArray secret_;
};

}  // namespace taurelin
