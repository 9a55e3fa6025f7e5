// What the occupancy counts cost another program that writes its bookings with plain SQL: a
// booking (its header and two rental lines of a week, of two rental types) written in one
// durable transaction, on a database with the counts and the triggers that keep them and on
// the same database without them, as one upgraded before they came.
//
//   [scripts/with-postgres --fsync] build/bench/bench/plain_write_bench [--bookings N]
//
// On SQLite (WAL, synchronous FULL, BEGIN IMMEDIATE, as the server writes), and on
// PostgreSQL when TAURELIN_TEST_PG names a test server. N bookings on each database (500 by
// default), alternating between the two in blocks of 25 after a warm-up; then half of them
// moved by a week and half cancelled, timed alike, as the business's other programs do. The
// ratio of the medians, with the counts over without, stands beside its target of 2.

#include "booking_requests.h"
#include "demo_database.h"

#include "store/alias_list.h"
#include "store/connection.h"
#include "store/postgres/postgres_test_database.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace taurelin;
using namespace taurelin::bench;

constexpr int kBlock = 25;
constexpr int kFirstNumber = 900000;

double Median(std::vector<double> times) {
  if (times.empty()) return 0;
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// One database and the other program's connection to it.
class Writer {
 public:
  Writer(QString label, const DatabaseAlias& alias)
      : label_(std::move(label)), alias_(alias), connection_(QUuid::createUuid().toString()) {}

  bool open(bool counts) {
    QString error;
    if ((!counts && !DropOccupancyCounts(alias_, &error)) || !connection_.open(alias_, &error)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(label_), qPrintable(error));
      return false;
    }
    sqlite_ = connection_.database().driverName() == u"QSQLITE";
    return !sqlite_ || exec(QStringLiteral("PRAGMA synchronous = FULL"));
  }

  // The i-th booking: its header and two lines, arriving some weeks ahead.
  double book(int i) {
    const int refnr = kFirstNumber + i;
    const QDate arrival = QDate::currentDate().addDays(30 + i % 300);
    const QString sql =
        QStringLiteral(
            "INSERT INTO BOOKING (REFNR) VALUES (%1);"
            "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
            " VALUES (%2, %1, 'O', '%4', '%5', 1, 1, 1), (%3, %1, 'O', '%4', '%5', 3, 1, 1)")
            .arg(refnr)
            .arg(2 * refnr)
            .arg(2 * refnr + 1)
            .arg(arrival.toString(Qt::ISODate), arrival.addDays(7).toString(Qt::ISODate));
    return timed(sql);
  }
  // The i-th booking moved a week on, or cancelled.
  double change(int i) {
    const int refnr = kFirstNumber + i;
    if (i % 2 == 0) {
      const QString shift = sqlite_ ? QStringLiteral("date(%1, '+7 days')")
                                    : QStringLiteral("%1 + 7");
      return timed(QStringLiteral("UPDATE LEIE SET ANKOMST = %1, AVREISE = %2 WHERE REFNR = %3")
                       .arg(shift.arg(QStringLiteral("ANKOMST")),
                            shift.arg(QStringLiteral("AVREISE")))
                       .arg(refnr));
    }
    return timed(QStringLiteral("UPDATE LEIE SET STATUS = 'A' WHERE REFNR = %1").arg(refnr));
  }

  const QString& label() const { return label_; }
  const QString& error() const { return error_; }

 private:
  double timed(const QString& statements) {
    QElapsedTimer timer;
    timer.start();
    if (!exec(sqlite_ ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"))) return -1;
    for (const QString& statement : statements.split(u';')) {
      if (!exec(statement)) {
        exec(QStringLiteral("ROLLBACK"));
        return -1;
      }
    }
    if (!exec(QStringLiteral("COMMIT"))) return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0;
  }
  bool exec(const QString& sql) {
    QSqlQuery query(connection_.database());
    if (query.exec(sql)) return true;
    error_ = query.lastError().text();
    return false;
  }

  QString label_;
  DatabaseAlias alias_;
  Connection connection_;
  bool sqlite_ = true;
  QString error_;
};

// Runs `bookings` bookings and then their changes on both writers, alternately in blocks;
// prints the medians and their ratio. False when a write failed.
bool Measure(Writer& with, Writer& without, int bookings) {
  std::vector<double> booked[2], changed[2];
  Writer* writers[2] = {&with, &without};
  for (int warm = 0; warm < 20; ++warm) {
    for (Writer* writer : writers) writer->book(bookings + warm);
  }
  for (const bool changing : {false, true}) {
    for (int start = 0; start < bookings; start += kBlock) {
      for (int w = 0; w < 2; ++w) {
        for (int i = start; i < std::min(bookings, start + kBlock); ++i) {
          const double micros = changing ? writers[w]->change(i) : writers[w]->book(i);
          if (micros < 0) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(writers[w]->label()),
                         qPrintable(writers[w]->error()));
            return false;
          }
          (changing ? changed : booked)[w].push_back(micros);
        }
      }
    }
  }
  const auto line = [](const char* what, const std::vector<double>* times) {
    const double ratio = Median(times[0]) / Median(times[1]);
    std::printf("  %-30s %9.3f %9.3f   %5.2f   %s\n", what, Median(times[0]) / 1000.0,
                Median(times[1]) / 1000.0, ratio, ratio <= 2.0 ? "met" : "MISSED");
  };
  std::printf("%s: a booking's durable transaction, median ms\n", qPrintable(with.label()));
  std::printf("  %-30s %9s %9s   %5s   %s\n", "", "counts", "without", "ratio", "target <= 2");
  line("header and two lines of a week", booked);
  line("moved a week, or cancelled", changed);
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  int bookings = 500;
  if (arguments.size() == 2 && arguments[0] == u"--bookings") {
    bool ok = false;
    bookings = arguments[1].toInt(&ok);
    if (!ok || bookings < 1) bookings = -1;
  } else if (!arguments.isEmpty()) {
    bookings = -1;
  }
  if (bookings < 0) {
    std::fprintf(stderr, "usage: plain_write_bench [--bookings N]\n");
    return 2;
  }
  std::printf("plain_write_bench: %d bookings on each database; load average %s\n", bookings,
              qPrintable(LoadAverage()));

  QTemporaryDir dir;
  DatabaseAlias with, without;
  with.database = dir.filePath(QStringLiteral("with.db"));
  without.database = dir.filePath(QStringLiteral("without.db"));
  if (!InstallDemo(with.database) || !InstallDemo(without.database)) return 1;
  {
    Writer counted(QStringLiteral("SQLite"), with), plain(QStringLiteral("SQLite"), without);
    if (!counted.open(true) || !plain.open(false) || !Measure(counted, plain, bookings)) return 1;
  }

  if (!PostgresTestDatabase::Available()) {
    std::printf("PostgreSQL: %s\n", PostgresTestDatabase::kSkip);
    return 0;
  }
  try {
    PostgresTestDatabase withPg(PostgresTestDatabase::kDemo);
    PostgresTestDatabase withoutPg(PostgresTestDatabase::kDemo);
    Writer counted(QStringLiteral("PostgreSQL"), withPg.alias());
    Writer plain(QStringLiteral("PostgreSQL"), withoutPg.alias());
    if (!counted.open(true) || !plain.open(false) || !Measure(counted, plain, bookings)) return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "PostgreSQL: %s\n", e.what());
    return 1;
  }
  return 0;
}
