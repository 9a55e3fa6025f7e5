#include "web/reply_json.h"

#include <QDate>
#include <QJsonArray>

namespace taurelin {
namespace {

QJsonObject RowJson(const Endpoint& endpoint, const QStringList& header, const QStringList& row) {
  QJsonObject object;
  for (const OutputField& field : endpoint.outputs) {
    const qsizetype at = header.indexOf(QString(field.column));
    const QString text = at >= 0 && at < row.size() ? row[at] : QString();
    object.insert(QString(field.name), JsonValue(field.kind, text));
  }
  return object;
}

}  // namespace

QJsonValue JsonValue(ValueKind kind, const QString& text) {
  const QString value = text.trimmed();
  if (value.isEmpty()) return QJsonValue::Null;
  bool ok = false;
  switch (kind) {
    case ValueKind::kInteger: {
      const qint64 number = value.toLongLong(&ok);
      return ok ? QJsonValue(number) : QJsonValue::Null;
    }
    case ValueKind::kDecimal: {
      const double number = value.toDouble(&ok);
      return ok ? QJsonValue(number) : QJsonValue::Null;
    }
    case ValueKind::kDate: {
      const QDate date = QDate::fromString(value, QStringLiteral("yyyy.MM.dd"));
      return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue::Null;
    }
    case ValueKind::kFlag:
      return QJsonValue(value == u"J");
    case ValueKind::kText:
    case ValueKind::kDigits:
    case ValueKind::kEmail:
      return QJsonValue(text);
  }
  return QJsonValue::Null;
}

QJsonObject ReplyJson(const Endpoint& endpoint, const InstructionReply& reply,
                      const QString& pathValue) {
  const QStringList header = reply.columns().split(u';');
  QJsonObject answer;
  switch (endpoint.shape) {
    case Endpoint::Shape::kList: {
      QJsonArray rows;
      for (qsizetype i = 0; i < reply.rowCount(); ++i) {
        rows.append(RowJson(endpoint, header, reply.row(i)));
      }
      if (!pathValue.isEmpty()) {
        answer.insert(QStringLiteral("refnr"), JsonValue(ValueKind::kInteger, pathValue));
      }
      answer.insert(QString(endpoint.listName), rows);
      break;
    }
    case Endpoint::Shape::kFirstRow:
      if (reply.rowCount() > 0) answer = RowJson(endpoint, header, reply.row(0));
      break;
    case Endpoint::Shape::kCancellation:
      answer.insert(QStringLiteral("refnr"), JsonValue(ValueKind::kInteger, pathValue));
      answer.insert(QStringLiteral("cancelled"), true);
      break;
  }
  return answer;
}

void MarkUnpricedOffers(QJsonObject& answer) {
  const QString list = QStringLiteral("availability");
  QJsonArray offers = answer.value(list).toArray();
  for (auto it = offers.begin(); it != offers.end(); ++it) {
    QJsonObject offer = it->toObject();
    if (!offer.value(QStringLiteral("board")).isNull()) continue;
    offer.insert(QStringLiteral("price"), QJsonValue::Null);
    offer.insert(QStringLiteral("priceReason"), QStringLiteral("no_price"));
    *it = offer;
  }
  answer.insert(list, offers);
}

}  // namespace taurelin
