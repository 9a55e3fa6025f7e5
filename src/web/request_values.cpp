#include "web/request_values.h"

#include <QDate>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSet>
#include <QUrlQuery>

#include <cmath>

namespace taurelin {
namespace {

// A pattern that must match the whole text: "$" alone would let a final line break through.
QString Whole(const QString& pattern) { return QRegularExpression::anchoredPattern(pattern); }

using From = InputField::From;

// Beyond this a double no longer holds every whole number exactly.
constexpr double kExactWholeNumbers = 9007199254740992.0;

// A refusal of one field, named in the message and apart, for a form to show beside it.
ApiError Named(ApiError error, const QString& field) {
  error.field = field;
  return error;
}

ApiError Invalid(const InputField& field, const QString& why) {
  return Named(BadRequest(QStringLiteral("invalid_field"),
                          QStringLiteral("'%1' %2").arg(QString(field.name), why)),
               QString(field.name));
}

std::optional<ApiError> CheckRange(const InputField& field, qint64 value) {
  if (field.high > field.low && (value < field.low || value > field.high)) {
    return Invalid(field, QStringLiteral("must be from %1 to %2").arg(field.low).arg(field.high));
  }
  return std::nullopt;
}

bool HasControlCharacter(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
  }
  return false;
}

// The address a browser's e-mail field accepts (HTML's "valid e-mail address"), so that
// the page and the server agree on what is one.
bool IsEmailAddress(const QString& text) {
  static const QRegularExpression kAddress(Whole(QStringLiteral(
      "[a-zA-Z0-9.!#$%&'*+/=?^_`{|}~-]+@[a-zA-Z0-9](?:[a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?"
      "(?:\\.[a-zA-Z0-9](?:[a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)*")));
  return kAddress.match(text).hasMatch();
}

// The request's dates together, as its endpoint needs them; the values are the protocol's.
std::optional<ApiError> CheckDates(Endpoint::Dates rule, const InstructionValues& values) {
  const auto date = [&values](const char* column) {
    return ProtocolDate(values[QLatin1String(column)]);
  };
  switch (rule) {
    case Endpoint::Dates::kAny:
      break;
    case Endpoint::Dates::kStay:
      if (date("AVREISE") <= date("ANKOMST")) {
        return BadRequest(QStringLiteral("invalid_stay"),
                          QStringLiteral("the departure must come after the arrival"));
      }
      break;
    case Endpoint::Dates::kSpan: {
      const qint64 days = date("FRA").daysTo(date("TIL")) + 1;
      if (days > Endpoint::kLongestSpanDays) {
        return BadRequest(QStringLiteral("span_too_long"),
                          QStringLiteral("the matrix covers at most %1 days from 'from' to "
                                         "'to'; this asks for %2")
                              .arg(Endpoint::kLongestSpanDays)
                              .arg(days));
      }
      break;
    }
  }
  return std::nullopt;
}

// A query parameter's text, in the field's notation for the instruction.
std::optional<ApiError> FromText(const InputField& field, const QString& text, QString& out) {
  switch (field.kind) {
    case ValueKind::kInteger: {
      static const QRegularExpression kWhole(Whole(QStringLiteral("-?[0-9]{1,10}")));
      if (!kWhole.match(text).hasMatch()) {
        return Invalid(field, QStringLiteral("must be a whole number"));
      }
      const qint64 value = text.toLongLong();
      if (auto error = CheckRange(field, value)) return error;
      out = QString::number(value);
      return std::nullopt;
    }
    case ValueKind::kDate: {
      const std::optional<QString> date = IsoToProtocolDate(text);
      if (!date) return Invalid(field, QStringLiteral("must be a date written yyyy-mm-dd"));
      out = *date;
      return std::nullopt;
    }
    default:
      out = text;
      return std::nullopt;
  }
}

// A JSON member's value, in the field's notation for the instruction.
std::optional<ApiError> FromJson(const InputField& field, const QJsonValue& value,
                                 QString& out) {
  switch (field.kind) {
    case ValueKind::kInteger: {
      const double number = value.toDouble();
      if (!value.isDouble() || std::trunc(number) != number ||
          std::fabs(number) >= kExactWholeNumbers) {
        return Invalid(field, QStringLiteral("must be a whole number"));
      }
      const auto whole = static_cast<qint64>(number);
      const bool bounded = field.high > field.low;
      if (!bounded && (whole < -2147483648LL || whole > 2147483647LL)) {
        return Invalid(field, QStringLiteral("is out of range"));
      }
      if (auto error = CheckRange(field, whole)) return error;
      out = QString::number(whole);
      return std::nullopt;
    }
    case ValueKind::kDecimal: {
      const double number = value.toDouble();
      const double cents = std::round(number * 100);
      if (!value.isDouble() || !std::isfinite(number) || number < 0 || number > 1e12 ||
          std::fabs(cents - number * 100) > 1e-6) {
        return Invalid(field, QStringLiteral("must be an amount of at most two decimals"));
      }
      out = QString::number(cents / 100, 'f', 2);
      return std::nullopt;
    }
    case ValueKind::kDate:
      if (!value.isString()) return Invalid(field, QStringLiteral("must be a date text"));
      return FromText(field, value.toString(), out);
    case ValueKind::kDigits: {
      static const QRegularExpression kDigits(Whole(QStringLiteral("[0-9]+")));
      if (!value.isString() || !kDigits.match(value.toString()).hasMatch() ||
          value.toString().size() > field.maxLength) {
        return Invalid(field, QStringLiteral("must be a text of 1 to %1 digits")
                                  .arg(field.maxLength));
      }
      out = value.toString();
      return std::nullopt;
    }
    case ValueKind::kText:
    case ValueKind::kEmail: {
      if (!value.isString()) return Invalid(field, QStringLiteral("must be a text"));
      const QString text = value.toString();
      if (HasControlCharacter(text)) {
        return Invalid(field, QStringLiteral("must not hold control characters"));
      }
      if (field.maxLength > 0 && text.size() > field.maxLength) {
        return Invalid(field,
                       QStringLiteral("may hold at most %1 characters").arg(field.maxLength));
      }
      if (field.required && text.trimmed().isEmpty()) {
        return Invalid(field, QStringLiteral("must not be empty"));
      }
      if (field.kind == ValueKind::kEmail && !text.isEmpty() && !IsEmailAddress(text)) {
        return Named(BadRequest(QStringLiteral("invalid_email"),
                                QStringLiteral("'%1' is not an e-mail address: write it as "
                                               "name@example.com")
                                    .arg(QString(field.name))),
                     QString(field.name));
      }
      out = text;
      return std::nullopt;
    }
    case ValueKind::kFlag:
      if (!value.isBool()) return Invalid(field, QStringLiteral("must be true or false"));
      out = value.toBool() ? QStringLiteral("J") : QStringLiteral("N");
      return std::nullopt;
  }
  return Invalid(field, QStringLiteral("cannot be read"));
}

ApiError Missing(const InputField& field) {
  return Named(BadRequest(QStringLiteral("missing_field"),
                          QStringLiteral("'%1' is required").arg(QString(field.name))),
               QString(field.name));
}

ApiError Unknown(const QString& name) {
  return Named(BadRequest(QStringLiteral("unknown_field"),
                          QStringLiteral("'%1' is not a field of this request").arg(name)),
               name);
}

bool IsJsonType(const QByteArray& contentType) {
  const QByteArray type = contentType.split(';').first().trimmed().toLower();
  return type == "application/json";
}

}  // namespace

QDate ProtocolDate(const QString& text) {
  if (text.size() != 10 || text[4] != u'.' || text[7] != u'.') return QDate();
  const auto number = [&text](qsizetype from, qsizetype length) {
    int value = 0;
    for (qsizetype i = from; i < from + length; ++i) {
      if (!text[i].isDigit()) return -1;
      value = value * 10 + text[i].digitValue();
    }
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  return year < 0 || month < 0 || day < 0 ? QDate() : QDate(year, month, day);
}

std::optional<QString> IsoToProtocolDate(const QString& iso) {
  static const QRegularExpression kIso(Whole(QStringLiteral("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
  if (!kIso.match(iso).hasMatch()) return std::nullopt;
  const QDate date = QDate::fromString(iso, QStringLiteral("yyyy-MM-dd"));
  if (!date.isValid()) return std::nullopt;
  return date.toString(QStringLiteral("yyyy.MM.dd"));
}

RequestValues ReadRequestValues(const Endpoint& endpoint, const QHttpServerRequest& request,
                                const QString& pathValue) {
  const HttpInput input{request.query(), request.value(QByteArrayLiteral("Content-Type")),
                        request.body()};
  return ReadRequestValues(endpoint, input, pathValue);
}

RequestValues ReadRequestValues(const Endpoint& endpoint, const HttpInput& input,
                                const QString& pathValue) {
  RequestValues read;
  bool takesBody = false;
  QSet<QString> queryNames;
  for (const InputField& field : endpoint.inputs) {
    if (field.from == From::kBody) takesBody = true;
    if (field.from == From::kQuery) queryNames.insert(field.name);
  }

  // Query: every parameter must be one of the endpoint's, and given once.
  QHash<QString, QString> query;
  for (const auto& [name, value] : input.query.queryItems(QUrl::FullyDecoded)) {
    if (!queryNames.contains(name)) {
      read.error = Unknown(name);
      return read;
    }
    if (query.contains(name)) {
      read.error = BadRequest(QStringLiteral("invalid_field"),
                              QStringLiteral("'%1' is given more than once").arg(name));
      return read;
    }
    query.insert(name, value);
  }

  // Body: a JSON object when the endpoint takes one, nothing otherwise.
  QJsonObject body;
  const QByteArray& bytes = input.body;
  if (takesBody) {
    if (!IsJsonType(input.contentType)) {
      read.error = ApiError{415, QStringLiteral("unsupported_media_type"),
                            QStringLiteral("the body must be application/json")};
      return read;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
      read.error = BadRequest(QStringLiteral("malformed_json"),
                              QStringLiteral("the body is no JSON: %1 at offset %2")
                                  .arg(parseError.errorString())
                                  .arg(parseError.offset));
      return read;
    }
    if (!document.isObject()) {
      read.error = BadRequest(QStringLiteral("malformed_json"),
                              QStringLiteral("the body must be a JSON object"));
      return read;
    }
    body = document.object();
    for (auto it = body.constBegin(); it != body.constEnd(); ++it) {
      bool known = false;
      for (const InputField& field : endpoint.inputs) {
        known = known || (field.from == From::kBody && it.key() == QLatin1String(field.name));
      }
      if (!known) {
        read.error = Unknown(it.key());
        return read;
      }
    }
  } else if (!bytes.isEmpty()) {
    read.error = BadRequest(QStringLiteral("unexpected_body"),
                            QStringLiteral("this request takes no body"));
    return read;
  }

  for (const InputField& field : endpoint.inputs) {
    QString value;
    std::optional<ApiError> error;
    switch (field.from) {
      case From::kFixed:
        value = field.name;
        break;
      case From::kPath:
        error = FromText(field, pathValue, value);
        break;
      case From::kQuery: {
        const auto it = query.constFind(field.name);
        if (it == query.constEnd() || it->isEmpty()) {
          if (field.required) error = Missing(field);
          value = field.absent;
        } else {
          error = FromText(field, *it, value);
        }
        break;
      }
      case From::kBody: {
        const QJsonValue member = body.value(QString(field.name));
        if (member.isUndefined() || member.isNull()) {
          if (field.required) error = Missing(field);
          value = field.absent;
        } else {
          error = FromJson(field, member, value);
        }
        break;
      }
    }
    if (error) {
      read.error = error;
      return read;
    }
    read.values.set(field.column, value);
  }
  read.error = CheckDates(endpoint.dates, read.values);
  return read;
}

}  // namespace taurelin
