#include "base/integer_text.h"

#include <limits>

namespace taurelin {
namespace {

constexpr int kSharedTexts = 1000;

// The digits of 0 to kSharedTexts - 1, each in a slot of three.
struct SmallNumberTexts {
  char16_t digits[kSharedTexts][3] = {};
  constexpr SmallNumberTexts() {
    for (int n = 0; n < kSharedTexts; ++n) {
      int at = 0;
      if (n >= 100) digits[n][at++] = char16_t(u'0' + n / 100);
      if (n >= 10) digits[n][at++] = char16_t(u'0' + n / 10 % 10);
      digits[n][at] = char16_t(u'0' + n % 10);
    }
  }
};

constexpr SmallNumberTexts kSmallNumbers;

}  // namespace

std::optional<int> ToInteger(const QString& text) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                   : std::numeric_limits<int>::max();
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > limit) return std::nullopt;
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QString IntegerText(qint64 value) {
  if (value < 0 || value >= kSharedTexts) return QString::number(value);
  const qsizetype length = value < 10 ? 1 : value < 100 ? 2 : 3;
  // Raw data: copies of the text share the constant and count no references.
  return QString::fromRawData(reinterpret_cast<const QChar*>(kSmallNumbers.digits[value]),
                              length);
}

}  // namespace taurelin
