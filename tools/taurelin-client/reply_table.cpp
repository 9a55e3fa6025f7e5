#include "reply_table.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace taurelin {
namespace {

// The text of the section `name` (up to the next "&" section that follows it).
QString Section(const QString& answer, const QString& name, const QStringList& following) {
  const qsizetype start = answer.indexOf(u'&' + name + u'=');
  if (start < 0) return {};
  const qsizetype begin = start + name.size() + 2;
  qsizetype end = answer.size();
  for (const QString& next : following) {
    const qsizetype at = answer.indexOf(u'&' + next + u'=', begin);
    if (at >= 0) end = std::min(end, at);
  }
  return answer.mid(begin, end - begin).remove(u'\n');
}

}  // namespace

QString FormatReplyTable(const QString& answer) {
  const QStringList all = {"count", "header", "data", "errorcode", "errormessage"};
  const QStringList columns = Section(answer, QStringLiteral("header"), all).split(u';');
  const QString data = Section(answer, QStringLiteral("data"), all);
  const int count = Section(answer, QStringLiteral("count"), all).toInt();

  QList<QStringList> rows = {columns};
  const QStringList values = data.isEmpty() ? QStringList() : data.split(u';');
  for (int r = 0; r < count; ++r) {
    QStringList row;
    for (qsizetype c = 0; c < columns.size(); ++c) {
      const qsizetype at = r * columns.size() + c;
      row << (at < values.size() ? values[at] : QString());
    }
    rows << row;
  }
  QList<qsizetype> widths(columns.size(), 0);
  for (const QStringList& row : rows) {
    for (qsizetype c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  QString out;
  for (const QStringList& row : rows) {
    QStringList cells;
    for (qsizetype c = 0; c < row.size(); ++c) cells << row[c].leftJustified(widths[c]);
    out += cells.join(QStringLiteral("  ")).trimmed() + u'\n';
  }
  const QString code = Section(answer, QStringLiteral("errorcode"), all);
  if (!code.isEmpty()) {
    out += QStringLiteral("error ") + code + QStringLiteral(": ") +
           Section(answer, QStringLiteral("errormessage"), all) + u'\n';
  }
  return out;
}

}  // namespace taurelin
