#include "store/stored_date.h"

namespace taurelin {
namespace {

const QString kLocalDate = QStringLiteral("dd.MM.yyyy");

// Digits at [from, from + count), or -1 when any is no digit.
int Digits(QStringView text, int from, int count) {
  int value = 0;
  for (int i = from; i < from + count; ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return -1;
    value = value * 10 + (c - u'0');
  }
  return value;
}

}  // namespace

std::optional<QDate> IsoDateDigits(QStringView text) {
  if (text.size() != 10 || text[4] != u'-' || text[7] != u'-') return std::nullopt;
  const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  if (year < 0 || month < 0 || day < 0) return std::nullopt;
  return QDate(year, month, day);
}

std::optional<QDate> LocalDateDigits(QStringView text) {
  if (text.size() != 10 || text[2] != u'.' || text[5] != u'.') return std::nullopt;
  const int day = Digits(text, 0, 2), month = Digits(text, 3, 2), year = Digits(text, 6, 4);
  if (year < 0 || month < 0 || day < 0) return std::nullopt;
  return QDate(year, month, day);
}

std::optional<QDate> IsoDateDigits(const char* bytes, int size) {
  if (bytes == nullptr || size != 10 || bytes[4] != '-' || bytes[7] != '-') return std::nullopt;
  int parts[3] = {0, 0, 0};
  const int starts[3] = {0, 5, 8};
  const int lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p) {
    for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
      if (bytes[i] < '0' || bytes[i] > '9') return std::nullopt;
      parts[p] = parts[p] * 10 + (bytes[i] - '0');
    }
  }
  return QDate(parts[0], parts[1], parts[2]);
}

std::optional<QDate> ArgumentDate(const QString& text) {
  if (const std::optional<QDate> local = LocalDateDigits(text)) {
    return local->isValid() ? local : std::nullopt;
  }
  const std::optional<QDate> digits = IsoDateDigits(text);
  QDate date = digits ? *digits : QDate::fromString(text, u"yyyy-MM-dd");
  if (!date.isValid()) date = QDate::fromString(text, u"dd.MM.yyyy");
  return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<StoredDate> ParseStoredDate(const QString& text) {
  if (text.size() >= 10 && text[4] == u'-' && text[7] == u'-') {
    const QDate date(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));
    if (!date.isValid()) return std::nullopt;
    StoredDate stored{date};
    if (text.size() >= 19) {
      const QTime time = QTime::fromString(text.mid(11, 8), QStringLiteral("HH:mm:ss"));
      if (time.isValid()) stored.time = time;
    }
    return stored;
  }
  const std::optional<QDate> digits = LocalDateDigits(text);
  const QDate local = digits ? *digits : QDate::fromString(text, kLocalDate);
  if (local.isValid()) return StoredDate{local};
  return std::nullopt;
}

}  // namespace taurelin
