#include "admin/amounts.h"

#include "admin/admin_backend.h"
#include "admin/contract.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <map>

namespace taurelin {
namespace {

// The digits of an exact decimal value: how many before the point and after it, leading and
// trailing zeros left out (0.50 has none before and one after).
struct Digits {
  qint64 before = 0;
  qint64 after = 0;
};

// The digits of decimal text: an optional sign, digits with an optional point, an optional
// exponent. Nothing when the text is no such number.
std::optional<Digits> DecimalDigits(QStringView text) {
  text = text.trimmed();
  qsizetype at = 0;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) ++at;
  QString digits;
  qsizetype point = -1;
  for (; at < text.size(); ++at) {
    const QChar c = text[at];
    if (c >= u'0' && c <= u'9') {
      digits += c;
    } else if (c == u'.' && point < 0) {
      point = digits.size();
    } else {
      break;
    }
  }
  if (digits.isEmpty()) return std::nullopt;
  if (point < 0) point = digits.size();
  qint64 exponent = 0;
  if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
    ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    const qsizetype first = at;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
      // Beyond a billion the number is far out of any column's reach either way.
      exponent = std::min<qint64>(exponent * 10 + (text[at].unicode() - u'0'), 1'000'000'000);
    }
    if (at == first) return std::nullopt;
    if (negative) exponent = -exponent;
  }
  if (at != text.size()) return std::nullopt;
  qsizetype first = 0;
  while (first < digits.size() && digits[first] == u'0') ++first;
  if (first == digits.size()) return Digits{};  // zero
  qsizetype last = digits.size() - 1;
  while (digits[last] == u'0') --last;
  const qint64 position = qint64(point) + exponent;  // of the point among the digits
  return Digits{std::max<qint64>(0, position - first), std::max<qint64>(0, last + 1 - position)};
}

// The shortest decimal text that reads back as the same real, without an exponent.
QString ShortestText(double number) {
  return QString::number(number, 'f', QLocale::FloatingPointShortest);
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Whether NUMERIC(precision, scale) holds the real as it is, without writing it out: for up
// to 15 digits every amount of `scale` decimals is, in units of its last decimal, a whole
// number below 2^53, so the real nearest the amount is that whole number divided by
// 10^scale, and a real is an amount exactly when it is that quotient for the whole number
// nearest it scaled. Nothing when the column has more digits than that.
std::optional<bool> HeldReal(double number, int precision, int scale) {
  if (scale < 0 || scale > precision || precision > 15) return std::nullopt;
  if (!(std::fabs(number) < kPowersOfTen[precision - scale])) return false;
  const double factor = kPowersOfTen[scale];
  return std::nearbyint(number * factor) / factor == number;
}

QString Problem(const Digits& digits, const DecimalColumn& column) {
  const int before = std::max(0, column.precision - column.scale);
  if (digits.before > before) {
    return QStringLiteral("has more than %1 digits before the point").arg(before);
  }
  if (digits.after > column.scale) {
    return column.scale == 0 ? QStringLiteral("is not a whole number")
                             : QStringLiteral("has more than %1 decimals").arg(column.scale);
  }
  return {};
}

QString NotANumber() { return QStringLiteral("is not a number"); }

// A key's value as a message shows it: plain, dates as yyyy-mm-dd.
QString KeyText(const QVariant& value) {
  if (value.isNull()) return QStringLiteral("NULL");
  switch (value.typeId()) {
    case QMetaType::Double:
      return ShortestText(value.toDouble());
    case QMetaType::QDate:
      return value.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
      return value.toDateTime().toString(Qt::ISODate);
    default:
      return value.toString();
  }
}

// Beyond this many values of one column, the check tells only how many more there are.
constexpr int kValuesShown = 20;

// The rows of one NUMERIC(p,s) column whose value the type would not hold as it is. The
// test on SQLite is the one of the schema's check on the column.
void CheckColumn(QSqlDatabase& database, const QString& table, const QString& spelled,
                 const DecimalTable& shape, const DecimalColumn& column, QStringList* lines) {
  const QSqlDriver* driver = database.driver();
  const QString value = driver->escapeIdentifier(column.name, QSqlDriver::FieldName);
  const QString limit = QStringLiteral("1e%1").arg(std::max(0, column.precision - column.scale));
  const QString held = AdminBackend::Of(database).decimalFits(value, column.scale, limit);
  QStringList key;
  for (const QString& name : shape.key) {
    key << driver->escapeIdentifier(name, QSqlDriver::FieldName);
  }
  const QString from = QStringLiteral(" FROM %1 WHERE NOT (%2)")
                           .arg(driver->escapeIdentifier(spelled, QSqlDriver::TableName), held);
  QString sql =
      QStringLiteral("SELECT ") + (QStringList(key) << value).join(QStringLiteral(", ")) + from;
  if (!key.isEmpty()) sql += QStringLiteral(" ORDER BY ") + key.join(QStringLiteral(", "));
  sql += QStringLiteral(" LIMIT %1").arg(kValuesShown + 1);
  QSqlQuery query(database);
  query.setForwardOnly(true);
  if (!query.exec(sql)) {
    *lines << QStringLiteral("%1 %2 cannot be read: %3")
                  .arg(table, column.name.toUpper(), query.lastError().text());
    return;
  }
  QStringList keyNames;
  for (const QString& name : shape.key) keyNames << name.toUpper();
  int shown = 0;
  while (query.next()) {
    if (shown == kValuesShown) {
      QSqlQuery count(database);
      const qint64 more = count.exec(QStringLiteral("SELECT count(*)") + from) && count.next()
                              ? count.value(0).toLongLong() - kValuesShown
                              : 0;
      *lines << QStringLiteral("%1: %2 more values of %3 that %4 does not hold")
                    .arg(table)
                    .arg(more)
                    .arg(column.name.toUpper(), column.type());
      return;
    }
    QList<QVariant> keyValues;
    for (int i = 0; i < key.size(); ++i) keyValues << query.value(i);
    const QVariant stored = query.value(int(key.size()));
    QString problem = DecimalProblem(stored, column);
    if (problem.isEmpty()) problem = QStringLiteral("is not held as it is");
    *lines << QStringLiteral("%1 %2 (%3)")
                  .arg(DescribeValue(table, keyNames, keyValues, column.name.toUpper(), stored),
                       problem, column.type());
    ++shown;
  }
}

}  // namespace

QString DecimalColumn::type() const {
  return QStringLiteral("NUMERIC(%1,%2)").arg(precision).arg(scale);
}

std::optional<DecimalTable> ReadDecimalTable(QSqlDatabase& database, const QString& table,
                                             QString* error) {
  // Each column with its declared type and its place in the primary key (0: not in it).
  const QString sql = AdminBackend::Of(database).columnsQuery();
  QSqlQuery query(database);
  query.setForwardOnly(true);
  query.prepare(sql);
  query.addBindValue(table);
  if (!query.exec()) {
    if (error != nullptr) *error = query.lastError().text();
    return std::nullopt;
  }
  static const QRegularExpression decimal(
      QStringLiteral(R"(^\s*(?:NUMERIC|DECIMAL)\s*\(\s*(\d{1,4})\s*(?:,\s*(\d{1,4})\s*)?\)\s*$)"),
      QRegularExpression::CaseInsensitiveOption);
  DecimalTable shape;
  std::map<int, QString> key;
  while (query.next()) {
    const QString name = query.value(0).toString();
    if (const int place = query.value(2).toInt(); place > 0) key[place] = name;
    const QRegularExpressionMatch match = decimal.match(query.value(1).toString());
    if (match.hasMatch()) {
      shape.decimals.append({name, match.captured(1).toInt(), match.captured(2).toInt()});
    }
  }
  for (const auto& [place, name] : key) shape.key << name;
  return shape;
}

QString DecimalProblem(const QVariant& value, const DecimalColumn& column) {
  if (value.isNull()) return {};
  switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
      const double number = value.toDouble();
      if (!std::isfinite(number)) return NotANumber();
      if (HeldReal(number, column.precision, column.scale) == std::optional<bool>(true)) {
        return {};
      }
      return Problem(DecimalDigits(ShortestText(number)).value_or(Digits{}), column);
    }
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short: {
      const qint64 number = value.toLongLong();
      const int before = std::max(0, column.precision - column.scale);
      if (before <= 18) {
        qint64 limit = 1;
        for (int i = 0; i < before; ++i) limit *= 10;
        if (number > -limit && number < limit) return {};
      }
      return Problem(DecimalDigits(value.toString()).value_or(Digits{}), column);
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::QString: {
      const std::optional<Digits> digits = DecimalDigits(value.toString());
      return digits ? Problem(*digits, column) : NotANumber();
    }
    default:
      return NotANumber();
  }
}

QString ValueText(const QVariant& value) {
  if (value.isNull()) return QStringLiteral("NULL");
  switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
      return ShortestText(value.toDouble());
    case QMetaType::QString:
      return u'\'' + value.toString().replace(u'\'', QStringLiteral("''")) + u'\'';
    case QMetaType::QByteArray: {
      const QByteArray bytes = value.toByteArray();
      return QStringLiteral("X'%1'%2")
          .arg(QString::fromLatin1(bytes.left(16).toHex().toUpper()),
               bytes.size() > 16 ? QStringLiteral("...") : QString());
    }
    default:
      return KeyText(value);
  }
}

QString DescribeValue(const QString& table, const QStringList& key,
                      const QList<QVariant>& keyValues, const QString& column,
                      const QVariant& value) {
  QString row = table;
  for (qsizetype i = 0; i < key.size() && i < keyValues.size(); ++i) {
    row += u' ' + key[i] + u'=' + KeyText(keyValues[i]);
  }
  return QStringLiteral("%1: %2 %3").arg(row, column, ValueText(value));
}

QStringList CheckAmounts(QSqlDatabase& database) {
  QStringList lines;
  if (!database.isOpen()) return lines;  // CheckContract tells
  QHash<QString, QString> spelled;
  for (const QString& name : database.tables()) spelled.insert(name.toUpper(), name);
  for (const QString& table : ContractTables()) {
    const auto found = spelled.constFind(table);
    if (found == spelled.constEnd()) continue;
    QString error;
    const std::optional<DecimalTable> shape = ReadDecimalTable(database, *found, &error);
    if (!shape) {
      lines << QStringLiteral("%1: its columns cannot be read: %2").arg(table, error);
      continue;
    }
    for (const DecimalColumn& column : shape->decimals) {
      CheckColumn(database, table, *found, *shape, column, &lines);
    }
  }
  return lines;
}

}  // namespace taurelin
