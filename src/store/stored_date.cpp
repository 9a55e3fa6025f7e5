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

std::optional<QDate> ArgumentDate(const QString& text) {
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
  const QDate local = QDate::fromString(text, kLocalDate);
  if (local.isValid()) return StoredDate{local};
  return std::nullopt;
}

}  // namespace taurelin
