#include "expiry/timeout_record.h"

#include <algorithm>

namespace taurelin {
namespace {

constexpr int kRefnrAt = 0;
constexpr int kExpiryAt = 11;
constexpr int kTimeOutAt = 32;

QString Take(QByteArrayView bytes, int at, int room) {
  const int length = std::min<int>(static_cast<unsigned char>(bytes[at]), room);
  return QString::fromLatin1(bytes.sliced(at + 1, length));
}

void Put(QByteArray& bytes, int at, int room, const QString& text) {
  const QByteArray latin = text.left(room).toLatin1();
  bytes[at] = static_cast<char>(latin.size());
  std::copy(latin.begin(), latin.end(), bytes.begin() + at + 1);
}

}  // namespace

TimeOutRecord TimeOutRecord::Decode(QByteArrayView bytes) {
  Q_ASSERT(bytes.size() == kSize);
  return {Take(bytes, kRefnrAt, kRefnrRoom), Take(bytes, kExpiryAt, kExpiryRoom),
          Take(bytes, kTimeOutAt, kTimeOutRoom)};
}

QByteArray TimeOutRecord::encode() const {
  QByteArray bytes(kSize, '\0');
  if (isFree()) return bytes;
  Put(bytes, kRefnrAt, kRefnrRoom, refnr);
  Put(bytes, kExpiryAt, kExpiryRoom, expiry);
  Put(bytes, kTimeOutAt, kTimeOutRoom, timeOut);
  return bytes;
}

}  // namespace taurelin
