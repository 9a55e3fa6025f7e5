#include "protocol/reply_envelope.h"

#include "base/integer_text.h"
#include "protocol/split_off.h"

namespace taurelin {
namespace {

const QString kCount = QStringLiteral("&count=");
const QString kHeader = QStringLiteral("&header=");
const QString kData = QStringLiteral("&data=");
const QString kErrorCode = QStringLiteral("&errorcode=");
const QString kSemicolon = QStringLiteral(";");

// The text between the end of the first `from` and the first `to`; empty when either is
// missing or they are out of order.
QString Between(const QString& text, const QString& from, const QString& to) {
  const qsizetype start = text.indexOf(from);
  const qsizetype end = text.indexOf(to);
  if (start < 0 || end < 0) return {};
  const qsizetype begin = start + from.size();
  return end > begin ? text.mid(begin, end - begin) : QString();
}

}  // namespace

QString GetReplyValue(const QString& reply, const QString& column) {
  const std::optional<int> rows = ToInteger(Between(reply, kCount, kHeader));
  if (!rows) throw ReplyFormatError();

  QString header = Between(reply, kHeader, kData);
  int columns = 0;
  int wanted = 0;  // 1-based position of the last column of that name, 0 for none
  do {
    ++columns;
    if (SplitOff(header, kSemicolon) == column) wanted = columns;
  } while (!header.isEmpty());

  if (reply.contains(kErrorCode)) return QStringLiteral("ERROR");

  const qsizetype dataAt = reply.indexOf(kData);
  QString values = dataAt < 0 ? QString() : reply.mid(dataAt + kData.size());
  QString result;
  for (int row = 0; row < *rows; ++row) {
    for (int position = 1; position <= columns; ++position) {
      if (!values.contains(kSemicolon)) {
        // With no separator left, every further value is the whole remaining text: the
        // wanted value is that text unless this last row has read it already.
        if (wanted == 0) return {};
        const bool alreadyRead = row == *rows - 1 && position > wanted;
        return alreadyRead ? result : values;
      }
      QString value = SplitOff(values, kSemicolon);
      if (position == wanted) result = std::move(value);
    }
  }
  return result;
}

}  // namespace taurelin
