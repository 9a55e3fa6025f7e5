#include "server/card_number_mask.h"

#include <QRegularExpression>

namespace taurelin {
namespace {

void Mask(QString& text, qsizetype from, qsizetype to) {
  // 13 to 19 digits in one run, in groups of four (the last group shorter), or in the
  // 4-6-5 groups of some cards.
  static const QRegularExpression kCardNumber(QStringLiteral(
      "(?<![0-9])(?:[0-9]{13,19}|[0-9]{4}(?:[ -][0-9]{4}){2}(?:[ -][0-9]{1,4}){1,2}"
      "|[0-9]{4}[ -][0-9]{6}[ -][0-9]{4,5})(?![0-9])"));
  for (QRegularExpressionMatchIterator matches = kCardNumber.globalMatch(text, from);
       matches.hasNext();) {
    const QRegularExpressionMatch match = matches.next();
    if (match.capturedStart() >= to) break;
    int keep = 4;
    for (qsizetype i = match.capturedEnd() - 1; i >= match.capturedStart(); --i) {
      if (!text[i].isDigit()) continue;
      if (keep > 0) {
        --keep;
      } else {
        text[i] = u'*';
      }
    }
  }
}

}  // namespace

QString MaskCardNumbers(const QString& text) {
  // The cheap test first: most lines hold no run of digits that long.
  int digits = 0;
  for (QChar c : text) digits += c.isDigit() ? 1 : 0;
  if (digits < 13) return text;

  QString masked = text;
  const qsizetype id = masked.indexOf(u"messageID");
  if (id < 0) {
    Mask(masked, 0, masked.size());
    return masked;
  }
  qsizetype idEnd = masked.indexOf(u'&', id);
  if (idEnd < 0) idEnd = masked.size();
  Mask(masked, 0, id);
  Mask(masked, idEnd, masked.size());
  return masked;
}

}  // namespace taurelin
