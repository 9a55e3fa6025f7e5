#include "channels/feed_token.h"

#include "base/keyed_code.h"

#include <stdexcept>

namespace taurelin {
namespace {

QByteArray Message(int facility, int type) {
  return "ical/v1/" + QByteArray::number(facility) + '/' + QByteArray::number(type);
}

}  // namespace

FeedTokens::FeedTokens(QByteArray secret) : secret_(std::move(secret)) {
  if (secret_.size() < 16) {
    throw std::invalid_argument("the feed tokens' secret is shorter than 16 bytes");
  }
}

QString FeedTokens::tokenFor(int facility, int type) const {
  return KeyedCode(Message(facility, type), secret_);
}

bool FeedTokens::matches(int facility, int type, QByteArrayView token) const {
  return KeyedCodeMatches(Message(facility, type), secret_, token);
}

}  // namespace taurelin
