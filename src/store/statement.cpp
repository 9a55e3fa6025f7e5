#include "store/statement.h"

#include "store/backend.h"
#include "store/connection.h"
#include "store/stored_date.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>


#include <climits>
#include <cmath>

namespace taurelin {
namespace {

const QString kLocalDate = QStringLiteral("dd.MM.yyyy");

QString LocalText(const StoredDate& value) {
  QString text = value.date.toString(kLocalDate);
  if (value.time != QTime(0, 0)) text += u' ' + value.time.toString(QStringLiteral("HH:mm:ss"));
  return text;
}

}  // namespace

QString DecimalText(double value) {
  if (value == 0) return QStringLiteral("0");  // also for -0
  return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

std::optional<QVariant> NumericLiteral(const QString& text) {
  static const QRegularExpression kLiteral(QStringLiteral("^\\s*([+-]?)(\\d+)(\\.\\d*)?\\s*$"));
  const QRegularExpressionMatch match = kLiteral.match(text);
  if (!match.hasMatch()) return std::nullopt;
  const QString digits = match.captured(1) + match.captured(2);
  if (match.captured(3).isEmpty()) {
    bool ok = false;
    const qlonglong whole = digits.toLongLong(&ok);
    if (ok) return QVariant(whole);
  }
  return QVariant((digits + match.captured(3)).toDouble());
}

Statement::Statement(Connection& connection) : connection_(&connection) {}

Statement& Statement::add(const QString& line) {
  lines_ << line;
  return *this;
}

Statement& Statement::add(std::initializer_list<const char*> lines) {
  for (const char* line : lines) lines_ << QString::fromUtf8(line);
  return *this;
}

void Statement::bind(const QString& name, const QVariant& value) {
  bindings_.append({name.startsWith(u':') ? name : u':' + name, value});
}

void Statement::bindText(const QString& name, const QString& value) {
  bind(name, QVariant(value.isNull() ? QStringLiteral("") : value));
}

void Statement::bindDate(const QString& name, const QDate& value) {
  bind(name, value.isValid() ? QVariant(value) : QVariant());
}

void Statement::bindInteger(const QString& name, qint64 value) {
  bind(name, QVariant(static_cast<qlonglong>(value)));
}

void Statement::bindReal(const QString& name, double value) {
  bind(name, QVariant(value));
}

void Statement::bindDateTime(const QString& name, const QDateTime& value) {
  bind(name, value.isValid() ? QVariant(value) : QVariant());
}

void Statement::bindBytes(const QString& name, const QByteArray& value) {
  bind(name, QVariant(value));
}

void Statement::bindNull(const QString& name) { bind(name, QVariant()); }

void Statement::bindNumber(const QString& name, const QString& literal) {
  const std::optional<QVariant> number = NumericLiteral(literal);
  if (!number && badNumber_.isNull()) badNumber_ = literal.isNull() ? QStringLiteral("") : literal;
  bind(name, number.value_or(QVariant()));
}

void Statement::bindTextAsNumber(const QString& name, const QString& text) {
  bind(name, NumericLiteral(text).value_or(QVariant()));
}

void Statement::bindNumberText(const QString& name, const QString& literal) {
  const std::optional<QVariant> number = NumericLiteral(literal);
  if (!number && badNumber_.isNull()) badNumber_ = literal.isNull() ? QStringLiteral("") : literal;
  bind(name, number ? QVariant(literal.trimmed()) : QVariant());
}

void Statement::run() {
  close();
  if (!badNumber_.isNull()) {
    throw DatabaseError(QStringLiteral("'%1' is not a number").arg(badNumber_));
  }
  QSqlDatabase& database = connection_->ready();
  const Backend& backend = connection_->backend();
  const QString text = sql();
  QSqlError failure;
  query_ = connection_->statements().run(database, backend, text,
                                         backend.readsRowsAsTheyArrive(), bindings_, &failure);
  if (!query_) throw connection_->failure(failure);
  preparedSql_ = text;

  // Where the driver gives dates as text, the backend tells which columns hold them.
  record_ = query_->record();
  const int columns = record_.count();
  dateColumns_.fill(false, columns);
  const QList<bool> textDates = backend.textDateColumns(*query_);
  for (int i = 0; i < columns && i < textDates.size(); ++i) dateColumns_[i] = textDates[i];
}

bool Statement::next() {
  if (!query_ || !query_->isActive()) return false;
  if (query_->next()) return true;
  if (query_->lastError().isValid()) {
    throw connection_->failure(query_->lastError());
  }
  return false;
}

Statement::~Statement() { close(); }

void Statement::close() {
  if (query_) connection_->statements().give(preparedSql_, std::move(query_));
  query_.reset();
  dateColumns_.clear();
  record_.clear();
}

int Statement::rowsAffected() const { return query_ ? query_->numRowsAffected() : 0; }

const QSqlQuery& Statement::query() const {
  if (!query_ || !query_->isValid()) throw DatabaseError(QStringLiteral("no current row"));
  return *query_;
}

QString Statement::columnName(int index) const {
  query();
  return record_.fieldName(index);
}

int Statement::columnIndex(const QString& column) const {
  query();
  const int index = record_.indexOf(column);
  if (index < 0) throw DatabaseError(QStringLiteral("no column %1 in the result").arg(column));
  return index;
}

QVariant Statement::value(const QString& column) const {
  return query().value(columnIndex(column));
}

bool Statement::isDateColumn(int index) const {
  return index >= 0 && index < dateColumns_.size() && dateColumns_[index];
}

bool Statement::isNull(const QString& column) const { return value(column).isNull(); }
bool Statement::isNull(int index) const { return query().value(index).isNull(); }

QString Statement::label(int index, const QString* column) const {
  return column != nullptr ? *column : record_.fieldName(index);
}

QString Statement::text(const QString& column) const { return textAt(columnIndex(column)); }
QString Statement::text(int index) const { return textAt(index); }
int Statement::integer(const QString& column) const {
  return integerAt(columnIndex(column), &column);
}
int Statement::integer(int index) const { return integerAt(index, nullptr); }
qint64 Statement::integer64(const QString& column) const {
  return integer64At(columnIndex(column), &column);
}
qint64 Statement::integer64(int index) const { return integer64At(index, nullptr); }
QDate Statement::date(const QString& column) const { return dateAt(columnIndex(column), &column); }
QDate Statement::date(int index) const { return dateAt(index, nullptr); }

QString Statement::textAt(int index) const {
  const QVariant v = query().value(index);
  if (v.isNull()) return QStringLiteral("");
  switch (v.typeId()) {
    case QMetaType::QDate:
      return v.toDate().toString(kLocalDate);
    case QMetaType::QDateTime:
      return LocalText({v.toDateTime().date(), v.toDateTime().time()});
    case QMetaType::Double:
    case QMetaType::Float:
      return DecimalText(v.toDouble());
    case QMetaType::QString:
      if (isDateColumn(index)) {
        const std::optional<StoredDate> stored = ParseStoredDate(v.toString());
        if (stored) return LocalText(*stored);
      } else if (record_.field(index).metaType().id() == QMetaType::Double) {
        // Some drivers give exact decimals as text.
        bool ok = false;
        const double number = v.toString().toDouble(&ok);
        if (ok) return DecimalText(number);
      }
      return v.toString();
    default:
      return v.toString();
  }
}

int Statement::integerAt(int index, const QString* column) const {
  const QVariant v = query().value(index);
  if (v.isNull()) return 0;
  bool ok = false;
  const double number = v.toDouble(&ok);
  if (!ok || !std::isfinite(number) || number < INT_MIN || number > INT_MAX) {
    throw DatabaseError(
        QStringLiteral("%1 is not an integer: %2").arg(label(index, column), v.toString()));
  }
  return static_cast<int>(std::trunc(number));
}

qint64 Statement::integer64At(int index, const QString* column) const {
  const QVariant v = query().value(index);
  if (v.isNull()) return 0;
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
      return v.toLongLong();
    default:
      break;
  }
  // Anything else as integer() reads it: a fraction is cut off, and what is no number fails.
  bool ok = false;
  const double number = v.toDouble(&ok);
  constexpr double kLimit = 9223372036854775807.0;  // 2^63
  if (!ok || !std::isfinite(number) || number < -kLimit || number >= kLimit) {
    throw DatabaseError(
        QStringLiteral("%1 is not an integer: %2").arg(label(index, column), v.toString()));
  }
  return static_cast<qint64>(std::trunc(number));
}

double Statement::number(const QString& column) const {
  const QVariant v = value(column);
  if (v.isNull()) return 0;
  bool ok = false;
  const double number = v.toDouble(&ok);
  if (!ok) throw DatabaseError(QStringLiteral("%1 is not a number: %2").arg(column, v.toString()));
  return number;
}

QDate Statement::dateAt(int index, const QString* column) const {
  const QVariant v = query().value(index);
  if (v.isNull()) return {};
  if (v.typeId() == QMetaType::QDate) return v.toDate();
  if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().date();
  const std::optional<StoredDate> stored = ParseStoredDate(v.toString());
  if (!stored) {
    throw DatabaseError(
        QStringLiteral("%1 is not a date: %2").arg(label(index, column), v.toString()));
  }
  return stored->date;
}

QByteArray Statement::bytes(const QString& column) const { return value(column).toByteArray(); }

QDateTime Statement::dateTime(const QString& column) const {
  const QVariant v = value(column);
  if (v.isNull()) return {};
  if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
  if (v.typeId() == QMetaType::QDate) return v.toDate().startOfDay();
  // SQLite keeps a bound time as ISO text; a program of the business may write a blank
  // instead of the T.
  QString text = v.toString().trimmed();
  if (text.size() > 10 && text[10] == u' ') text[10] = u'T';
  const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!time.isValid()) {
    throw DatabaseError(QStringLiteral("%1 is not a time: %2").arg(column, v.toString()));
  }
  return time;
}

}  // namespace taurelin
