#include "handlers/reply_builder.h"

namespace taurelin {

ReplyBuilder::ReplyBuilder(QString& reply, const QString& columns) : reply_(reply) {
  reply_ = QStringLiteral("&header=") + columns + QStringLiteral("&data=");
}

void ReplyBuilder::addRow(const QStringList& values) {
  for (const QString& value : values) reply_ += value + u';';
  ++rows_;
}

void ReplyBuilder::finish() {
  if (rows_ > 0) reply_.chop(1);
  reply_.prepend(QStringLiteral("&count=") + QString::number(rows_));
}

void ReplyBuilder::fail(const HandlerError& error) {
  reply_.prepend(QStringLiteral("&count=0"));
  appendError(error);
}

void ReplyBuilder::failCountingRows(const HandlerError& error) {
  reply_.prepend(QStringLiteral("&count=") + QString::number(rows_));
  appendError(error);
}

void ReplyBuilder::appendError(const HandlerError& error) {
  reply_ += QStringLiteral("&errorcode='") + QLatin1String(error.code) +
            QStringLiteral("'&errormessage=") + error.message;
}

}  // namespace taurelin
