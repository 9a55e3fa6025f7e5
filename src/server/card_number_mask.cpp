#include "server/card_number_mask.h"

#include <QRegularExpression>
#include <QStringList>

namespace taurelin {
namespace {

// Shows every digit of text[from, to) as "*" but the last four.
void Hide(QString& text, qsizetype from, qsizetype to) {
  int keep = 4;
  for (qsizetype i = to - 1; i >= from; --i) {
    if (!text[i].isDigit()) continue;
    if (keep > 0) {
      --keep;
    } else {
      text[i] = u'*';
    }
  }
}

// The check digit that every card number carries (the Luhn sum).
bool PassesCheckDigit(QStringView run) {
  int sum = 0;
  bool twice = false;
  for (qsizetype i = run.size() - 1; i >= 0; --i) {
    if (!run[i].isDigit()) continue;
    int digit = run[i].digitValue();
    if (twice) digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
    sum += digit;
    twice = !twice;
  }
  return sum % 10 == 0;
}

void MaskRuns(QString& text, qsizetype from, qsizetype to) {
  // 13 to 19 digits in one run, in groups of four (the last group shorter), or in the
  // 4-6-5 groups of some cards; never a part of a word or identifier.
  static const QRegularExpression kCardNumber(QStringLiteral(
      "(?<![\\p{L}\\p{N}_])(?:[0-9]{13,19}|[0-9]{4}(?:[ -][0-9]{4}){2}(?:[ -][0-9]{1,4}){1,2}"
      "|[0-9]{4}[ -][0-9]{6}[ -][0-9]{4,5})(?![\\p{L}\\p{N}_])"));
  for (QRegularExpressionMatchIterator matches = kCardNumber.globalMatch(text, from);
       matches.hasNext();) {
    const QRegularExpressionMatch match = matches.next();
    if (match.capturedStart() >= to) break;
    if (!PassesCheckDigit(match.capturedView())) continue;
    Hide(text, match.capturedStart(), match.capturedEnd());
  }
}

// The values of a KREDITKORTNR column, whatever they hold: a mistyped card number fails its
// check digit and is still one.
void MaskCardColumn(QString& text) {
  static const QString kColumn = QStringLiteral("KREDITKORTNR");
  for (qsizetype header = text.indexOf(u"header="); header >= 0;
       header = text.indexOf(u"header=", header + 1)) {
    const qsizetype columnsFrom = header + 7;
    const qsizetype columnsTo = text.indexOf(u'&', columnsFrom);
    if (columnsTo < 0) return;
    const QStringList columns = text.mid(columnsFrom, columnsTo - columnsFrom).split(u';');
    const qsizetype card = columns.indexOf(kColumn);
    if (card <= 0) continue;
    const qsizetype data = text.indexOf(u"data=", columnsTo);
    if (data < 0) return;
    qsizetype end = text.indexOf(u'\n', data);
    if (end < 0) end = text.size();
    // The rows follow each other in one run, a value per column each.
    qsizetype column = 0;
    qsizetype valueFrom = data + 5;
    for (qsizetype i = valueFrom; i <= end; ++i) {
      if (i < end && text[i] != u';') continue;
      if (column == card) Hide(text, valueFrom, i);
      column = (column + 1) % columns.size();
      valueFrom = i + 1;
    }
  }
}

}  // namespace

QString MaskCardNumbers(const QString& text) {
  // The cheap test first: most lines hold no run of digits that long.
  int digits = 0;
  for (QChar c : text) digits += c.isDigit() ? 1 : 0;
  if (digits < 4) return text;

  QString masked = text;
  if (masked.contains(u"KREDITKORTNR")) MaskCardColumn(masked);
  if (digits < 13) return masked;
  const qsizetype id = masked.indexOf(u"messageID");
  if (id < 0) {
    MaskRuns(masked, 0, masked.size());
    return masked;
  }
  qsizetype idEnd = masked.indexOf(u'&', id);
  if (idEnd < 0) idEnd = masked.size();
  MaskRuns(masked, 0, id);
  MaskRuns(masked, idEnd, masked.size());
  return masked;
}

}  // namespace taurelin
