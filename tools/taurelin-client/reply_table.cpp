#include "reply_table.h"

#include "protocol/reply_envelope.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace taurelin {

QString FormatReplyTable(const QString& answer) {
  const ReplyEnvelope reply = ReplyEnvelope::Read(answer);
  QList<QStringList> rows = {reply.columns()};
  rows << reply.rows();
  QList<qsizetype> widths(reply.columns().size(), 0);
  for (const QStringList& row : rows) {
    for (qsizetype c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  QString out;
  for (const QStringList& row : rows) {
    QStringList cells;
    for (qsizetype c = 0; c < row.size(); ++c) cells << row[c].leftJustified(widths[c]);
    out += cells.join(QStringLiteral("  ")).trimmed() + u'\n';
  }
  if (!reply.errorCode().isEmpty()) {
    out += QStringLiteral("error ") + reply.errorCode() + QStringLiteral(": ") +
           reply.errorMessage() + u'\n';
  }
  return out;
}

}  // namespace taurelin
