#include "expiry/timeout_record.h"

#include <QDate>
#include <QTime>

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

struct Field {
  int at;
  int room;
  const char* name;
};
constexpr Field kFields[] = {{kRefnrAt, TimeOutRecord::kRefnrRoom, "reservation number"},
                             {kExpiryAt, TimeOutRecord::kExpiryRoom, "expiry time"},
                             {kTimeOutAt, TimeOutRecord::kTimeOutRoom, "time-out"}};

}  // namespace

bool TimeOutRecord::hasReadableExpiry() const {
  // By its digits: a real calendar day and time of day, read without any time zone's work.
  if (expiry.size() != 14) return false;
  int digits[14];
  for (int i = 0; i < 14; ++i) {
    const char16_t c = expiry[i].unicode();
    if (c < u'0' || c > u'9') return false;
    digits[i] = c - u'0';
  }
  const auto number = [&digits](int at, int count) {
    int value = 0;
    for (int i = at; i < at + count; ++i) value = value * 10 + digits[i];
    return value;
  };
  return QDate(number(0, 4), number(4, 2), number(6, 2)).isValid() &&
         QTime(number(8, 2), number(10, 2), number(12, 2)).isValid();
}

QStringList TimeOutRecord::Damage(QByteArrayView bytes) {
  QStringList damage;
  for (const Field& field : kFields) {
    const int length = static_cast<unsigned char>(bytes[field.at]);
    if (length > field.room) {
      damage << QStringLiteral("its %1 claims %2 characters, more than its room of %3")
                    .arg(QLatin1String(field.name))
                    .arg(length)
                    .arg(field.room);
    }
  }
  const TimeOutRecord record = Decode(bytes);
  if (!record.isFree() && !record.hasReadableExpiry()) {
    damage << QStringLiteral("its expiry time \"%1\" is no time").arg(record.expiry);
  }
  return damage;
}

TimeOutRecord TimeOutRecord::Decode(QByteArrayView bytes) {
  Q_ASSERT(bytes.size() == kSize);
  return {Take(bytes, kRefnrAt, kRefnrRoom), Take(bytes, kExpiryAt, kExpiryRoom),
          Take(bytes, kTimeOutAt, kTimeOutRoom)};
}

bool TimeOutRecord::HoldsRefnr(QByteArrayView bytes, const QString& refnr) {
  Q_ASSERT(bytes.size() == kSize);
  const int length = std::min<int>(static_cast<unsigned char>(bytes[kRefnrAt]), kRefnrRoom);
  if (length != refnr.size()) return false;
  // The field holds 8-bit characters, each the code point of one character of the number.
  for (int i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(bytes[kRefnrAt + 1 + i]) != refnr[i].unicode()) return false;
  }
  return true;
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
