#include "protocol/reply_envelope.h"

#include "base/integer_text.h"
#include "protocol/split_off.h"

#include <algorithm>
#include <optional>

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

// The text of the section `name` of an answer, up to the next of the envelope's sections
// after it, without line feeds; empty when there is none.
QString Section(const QString& answer, const QString& name) {
  static const QStringList kSections = {"count", "header", "data", "errorcode", "errormessage"};
  const qsizetype start = answer.indexOf(u'&' + name + u'=');
  if (start < 0) return {};
  const qsizetype begin = start + name.size() + 2;
  qsizetype end = answer.size();
  for (const QString& next : kSections) {
    const qsizetype at = answer.indexOf(u'&' + next + u'=', begin);
    if (at >= 0) end = std::min(end, at);
  }
  return answer.mid(begin, end - begin).remove(u'\n');
}

}  // namespace

QString ReplyEnvelope::Write(const InstructionReply& reply, QStringView prefix) {
  QString text = prefix.toString();
  if (reply.count() != InstructionReply::Count::kNone) {
    const qsizetype rows = reply.count() == InstructionReply::Count::kZero ? 0 : reply.rowCount();
    text += kCount + QString::number(rows);
  }
  text += kHeader + reply.columns() + kData;
  const qsizetype dataStart = text.size();
  // Sized once and filled in place: a year's matrix is 35,000 values.
  qsizetype size = dataStart;
  for (const QString& value : reply.values()) size += value.size() + 1;
  text.reserve(size + 64);
  text.resize(size);
  QChar* at = text.data() + dataStart;
  for (const QString& value : reply.values()) {
    at = std::copy_n(value.constData(), value.size(), at);
    *at++ = u';';
  }
  if (!reply.keepsLastSeparator() && text.size() > dataStart) text.chop(1);
  if (const std::optional<HandlerError>& error = reply.error()) {
    text += QStringLiteral("&errorcode='") + QLatin1String(error->code) +
            QStringLiteral("'&errormessage=") + error->message;
  }
  return text;
}

ReplyEnvelope ReplyEnvelope::Read(const QString& answer) {
  ReplyEnvelope envelope;
  envelope.columns_ = Section(answer, QStringLiteral("header")).split(u';');
  envelope.count_ = Section(answer, QStringLiteral("count")).toInt();
  const QString data = Section(answer, QStringLiteral("data"));
  const QStringList values = data.isEmpty() ? QStringList() : data.split(u';');
  const qsizetype width = envelope.columns_.size();
  for (int r = 0; r < envelope.count_; ++r) {
    QStringList row;
    for (qsizetype c = 0; c < width; ++c) {
      const qsizetype at = r * width + c;
      row << (at < values.size() ? values[at] : QString());
    }
    envelope.rows_ << row;
  }
  envelope.errorCode_ = Section(answer, QStringLiteral("errorcode"));
  envelope.errorMessage_ = Section(answer, QStringLiteral("errormessage"));
  return envelope;
}

QString ReplyEnvelope::GetReplyValue(const QString& reply, const QString& column) {
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
