// The occupancy counts that the database keeps by its triggers answer every stay as the lines
// themselves do, whatever another program writes with plain SQL: lines written, moved,
// cancelled, renumbered, replaced and deleted, one at a time and many at once; and so do the
// allotment lines read through their index and the used allotments kept with their lines.

#include "handlers/stay_test_fixture.h"

#include "store/occupancy.h"
#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"
#include "store/row_reads.h"

#include <random>

namespace taurelin {
namespace {

const QDate kFirst(2000, 4, 1);

class OccupancyCountsTest : public StayTest {
 protected:
  OccupancyCountsTest() { Run("INSERT INTO BOOKING (REFNR) VALUES (1);\n"); }

  // The availability matrix of the facility (-1: all) as the server reads it, and as the
  // engine counts it from every occupying line read by the plain statement: each day of the
  // period as "type day free".
  QStringList Served(int facility, const QDate& from, const QDate& to) {
    Occupancy occupancy(session_.connection(), &reports_);
    return Shown(occupancy.Matrix(from, to, facility, -1));
  }
  QStringList FromLines(int facility, const QDate& from, const QDate& to) {
    Connection& connection = session_.connection();
    const RowParams user{{":brukerid", qint64{occupancy_sql::kUserId}},
                         {":modul_id", qint64{occupancy_sql::kModuleId}},
                         {":rettighet", qint64{occupancy_sql::kRightAbove}}};
    RowParams period = user;
    period << RowParam{":fra_dato", from} << RowParam{":til_dato", to};
    OccupancyEngine engine;
    engine.setLayout(
        ReadRows(connection, occupancy_sql::kUtyper, user,
                 [](auto& r) { return occupancy_rows::Layout(r); }),
        ReadRows(connection, occupancy_sql::kAlleAnlegg, user,
                 [](auto& r) { return occupancy_rows::Facility(r); }));
    engine.load({from, to, QDate::currentDate(), -1},
                ReadRows(connection, occupancy_sql::kIkkeLedig, period,
                         [](auto& r) { return occupancy_rows::Occupied(r); }),
                ReadRows(connection, occupancy_sql::kAllotment, period,
                         [](auto& r) { return occupancy_rows::Allotment(r); }),
                ReadRows(connection, occupancy_sql::kBruktAllotment, period,
                         [](auto& r) { return occupancy_rows::Used(r); }));
    const auto capacity = [facility](auto& r) {
      return TypeCapacity{facility == -1 ? -1 : r.integer("ANLEGG"), r.integer("UTYPE"),
                          r.integer64("ANTENH")};
    };
    const char* capacities =
        facility == -1 ? occupancy_sql::kKapasitetSamlet : occupancy_sql::kKapasitet;
    return Shown(engine.matrix(ReadRows(connection, capacities, user, capacity), facility));
  }
  static QStringList Shown(const QList<AvailabilityDay>& days) {
    QStringList shown;
    for (const AvailabilityDay& day : days) {
      shown << QStringLiteral("%1 %2 %3").arg(day.type).arg(day.day.toString(Qt::ISODate))
                   .arg(day.free);
    }
    return shown;
  }
  // Every facility and all together, over the days the writes touch and a margin.
  void ExpectCountsAsLines(const char* after, const QDate& from = kFirst.addDays(-3),
                           const QDate& to = kFirst.addDays(70)) {
    for (const int facility : {1, 2, -1}) {
      EXPECT_EQ(Served(facility, from, to), FromLines(facility, from, to))
          << "facility " << facility << " after " << after;
    }
  }
  // A line written whether or not its number is taken: on SQLite a REPLACE (which removes the
  // line it replaces without its delete trigger), on PostgreSQL an upsert that sets `update`.
  QString WrittenOver(const QString& columns, const QString& values, const char* update) {
    return postgres() ? QStringLiteral("INSERT INTO LEIE %1 VALUES (%2) ON CONFLICT (LINJENR) "
                                       "DO UPDATE SET %3;\n")
                            .arg(columns, values, QLatin1String(update))
                      : QStringLiteral("INSERT OR REPLACE INTO LEIE %1 VALUES (%2);\n")
                            .arg(columns, values);
  }
  void Line(int number, const char* arrival, const char* departure, int type, int facility,
            const char* units, const char* status = "NULL", const char* kind = "'O'") {
    Run(QStringLiteral("INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE,"
                       " ANLEGG, ANTALL, STATUS) VALUES (%1, 1, %2, '%3', '%4', %5, %6, %7, %8);\n")
            .arg(number)
            .arg(QLatin1String(kind), QLatin1String(arrival), QLatin1String(departure))
            .arg(type)
            .arg(facility)
            .arg(QLatin1String(units), QLatin1String(status)));
  }
};

TEST_P(OccupancyCountsTest, PlainWritesOfEveryKindCountAtTheNextQuestion) {
  Line(1, "2000-04-02", "2000-04-09", 5, 1, "3");
  Line(2, "2000-04-05", "2000-04-06", 5, 1, "2");
  Line(3, "2000-04-04", "2000-04-12", 6, 1, "1");
  Line(4, "2000-04-01", "2000-04-20", 5, 2, "2");
  // What the counts leave to the lines: a day without a night, a departure before the
  // arrival, units missing or negative, a cancelled line, a line of another kind, a type or a
  // facility that is not sold.
  Line(5, "2000-04-07", "2000-04-07", 5, 1, "4");
  Line(6, "2000-04-09", "2000-04-03", 5, 1, "4");
  Line(7, "2000-04-03", "2000-04-06", 5, 1, "NULL");
  Line(8, "2000-04-03", "2000-04-06", 5, 1, "-1");
  Line(9, "2000-04-03", "2000-04-06", 5, 1, "5", "'A'");
  Line(10, "2000-04-03", "2000-04-06", 5, 1, "5", "NULL", "'U'");
  Line(11, "2000-04-03", "2000-04-06", 9, 1, "5");
  Line(12, "2000-04-03", "2000-04-06", 6, 2, "5");
  if (!postgres()) {
    // Dates another program wrote in other forms.
    Line(13, "2000-04-03 12:00:00", "2000-04-06", 5, 1, "1");
    Line(14, "04.04.2000", "2000-04-06", 5, 2, "1");
  }
  EXPECT_NE(Scalar("SELECT count(*) FROM LEIE_DAG"), "0");
  ExpectCountsAsLines("writing");

  Run("UPDATE LEIE SET ANKOMST = '2000-04-03', AVREISE = '2000-04-15' WHERE LINJENR = 1;\n"
      "UPDATE LEIE SET UTYPE = 6 WHERE LINJENR = 2;\n"
      "UPDATE LEIE SET ANLEGG = 2 WHERE LINJENR = 3;\n"
      "UPDATE LEIE SET STATUS = 'A' WHERE LINJENR = 4;\n"
      "UPDATE LEIE SET STATUS = NULL WHERE LINJENR = 9;\n"
      "UPDATE LEIE SET LEIETYPE = 'O' WHERE LINJENR = 10;\n"
      "UPDATE LEIE SET AVREISE = '2000-04-10' WHERE LINJENR = 5;\n"
      "UPDATE LEIE SET ANTALL = 2 WHERE LINJENR = 7;\n"
      "UPDATE LEIE SET LINJENR = 40 WHERE LINJENR = 8;\n"
      "UPDATE LEIE SET ANTALL = ANTALL + 1 WHERE ANLEGG = 1;\n");
  ExpectCountsAsLines("moving, cancelling and renumbering");

  if (postgres()) {
    Run("INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
        "  VALUES (1, 1, 'O', '2000-04-20', '2000-04-25', 6, 1, 1)"
        "  ON CONFLICT (LINJENR) DO UPDATE SET ANKOMST = EXCLUDED.ANKOMST,"
        "  AVREISE = EXCLUDED.AVREISE, UTYPE = EXCLUDED.UTYPE;\n");
  } else {
    // A REPLACE removes the line it replaces without its delete trigger.
    Run("INSERT OR REPLACE INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG,"
        "  ANTALL) VALUES (1, 1, 'O', '2000-04-20', '2000-04-25', 6, 1, 1);\n"
        "UPDATE OR REPLACE LEIE SET LINJENR = 2 WHERE LINJENR = 3;\n"
        "INSERT OR IGNORE INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG,"
        "  ANTALL) VALUES (4, 1, 'O', '2000-04-20', '2000-04-25', 6, 1, 1);\n");
  }
  ExpectCountsAsLines("replacing");

  Run("DELETE FROM LEIE WHERE LINJENR IN (1, 5, 40);\n");
  ExpectCountsAsLines("deleting some");
  Run("DELETE FROM LEIE;\n");
  ExpectCountsAsLines("deleting all");
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE_DAG WHERE ANTALL <> 0"), "0");
  EXPECT_EQ(Scalar("SELECT count(*) FROM LEIE_AVVIK"), "0");

  // Allotment lines ahead of today, held until their release, moved and taken away.
  const QDate today = QDate::currentDate();
  const auto day = [&today](int offset) { return today.addDays(offset).toString(Qt::ISODate); };
  Run(QStringLiteral("INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (1, 1, 1);\n"
                     "INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL,"
                     "  DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES"
                     "  (1, 1, 'P', 2, 3, '%1', '%2', 5, 'A'),"
                     "  (2, 1, 'K', 1, 10, '%3', '%4', 5, 'A'),"
                     "  (3, 1, 'P', 4, 0, '%1', '%2', 6, 'N');\n")
          .arg(day(20), day(30), day(5), day(40)));
  ExpectCountsAsLines("writing allotments", today, today.addDays(60));
  Run(QStringLiteral("UPDATE ALLOTLINJE SET FRA = '%1', TIL = '%2' WHERE ALLOTLINJENR = 1;\n"
                     "UPDATE ALLOTLINJE SET REQUEST = 'A' WHERE ALLOTLINJENR = 3;\n")
          .arg(day(45), day(55)));
  ExpectCountsAsLines("moving allotments", today, today.addDays(60));
  Run("DELETE FROM ALLOTLINJE WHERE ALLOTLINJENR = 2;\n");
  ExpectCountsAsLines("deleting an allotment", today, today.addDays(60));
}

// Random writes of every kind, many seeds: after each seed's run the counts still answer as
// the lines do.
TEST_P(OccupancyCountsTest, RandomWritesKeepTheCountsToTheLines) {
  constexpr int kSeeds = 12;
  constexpr int kWrites = 40;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    const auto pick = [&random](int from, int to) {
      return std::uniform_int_distribution<int>(from, to)(random);
    };
    const auto day = [&](int offset) {
      return QStringLiteral("'%1'").arg(kFirst.addDays(offset).toString(Qt::ISODate));
    };
    QString script;
    for (int write = 0; write < kWrites; ++write) {
      const int number = seed * 100 + pick(0, 30);
      const int arrival = pick(0, 50);
      const QString values =
          QStringLiteral("%1, 1, '%2', %3, %4, %5, %6, %7, %8")
              .arg(number)
              .arg(pick(0, 5) == 0 ? QStringLiteral("U") : QStringLiteral("O"))
              .arg(day(arrival), day(arrival + pick(-1, 12)))
              .arg(pick(5, 7))
              .arg(pick(1, 3))
              .arg(pick(-1, 4))
              .arg(pick(0, 4) == 0 ? QStringLiteral("'A'") : QStringLiteral("NULL"));
      const QString columns = QStringLiteral(
          "(LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL, STATUS)");
      switch (pick(0, 6)) {
        case 0:
        case 1:
          script += WrittenOver(columns, values,
                                "ANTALL = LEIE.ANTALL + 1, ANKOMST = EXCLUDED.ANKOMST");
          break;
        case 2:
          script += QStringLiteral("UPDATE LEIE SET ANKOMST = %1, AVREISE = %2 "
                                   "WHERE LINJENR = %3;\n")
                        .arg(day(arrival), day(arrival + pick(0, 9)))
                        .arg(number);
          break;
        case 3:
          script += QStringLiteral("UPDATE LEIE SET STATUS = %1, UTYPE = %2 WHERE LINJENR = %3;\n")
                        .arg(pick(0, 1) == 0 ? QStringLiteral("'A'") : QStringLiteral("NULL"))
                        .arg(pick(5, 6))
                        .arg(number);
          break;
        case 4: {
          // Renumbered; on SQLite onto a number that may be taken, which the line replaces.
          const int other = seed * 100 + pick(0, 30);
          script += postgres()
                        ? QStringLiteral("UPDATE LEIE SET LINJENR = %1 WHERE LINJENR = %2 AND NOT "
                                         "EXISTS (SELECT 1 FROM LEIE WHERE LINJENR = %1);\n")
                              .arg(other)
                              .arg(number)
                        : QStringLiteral("UPDATE OR REPLACE LEIE SET LINJENR = %1 "
                                         "WHERE LINJENR = %2;\n")
                              .arg(other)
                              .arg(number);
          break;
        }
        case 5:
          script += QStringLiteral("UPDATE LEIE SET ANLEGG = %1, ANTALL = ANTALL - 1 "
                                   "WHERE ANKOMST >= %2;\n")
                        .arg(pick(1, 2))
                        .arg(day(arrival));
          break;
        default:
          script += QStringLiteral("DELETE FROM LEIE WHERE LINJENR BETWEEN %1 AND %2;\n")
                        .arg(number)
                        .arg(number + pick(0, 3));
      }
    }
    Run(script);
    ExpectCountsAsLines(qPrintable(QStringLiteral("seed %1").arg(seed)));
    if (HasFailure()) return;
  }
}

// Used allotments and their rental lines written at random, many seeds: the used allotments
// kept with their lines' values take off what the lines themselves take off.
TEST_P(OccupancyCountsTest, RandomWritesKeepTheUsedAllotmentsToTheirLines) {
  const QDate today = QDate::currentDate();
  const auto day = [&today](int offset) {
    return QStringLiteral("'%1'").arg(today.addDays(offset).toString(Qt::ISODate));
  };
  // Allotments of both kinds that hold their units from day 5 to day 60.
  Run(QStringLiteral("INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES (1, 1, 1), (2, 2, 2);\n"
                     "INSERT INTO ALLOTLINJE (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL,"
                     "  DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES"
                     "  (1, 1, 'P', 9, 0, %1, %2, 5, 'A'), (2, 1, 'K', 9, 0, %1, %2, 6, 'A'),"
                     "  (3, 2, 'K', 9, 1, %1, %2, 5, 'A');\n")
          .arg(day(5), day(60)));
  constexpr int kSeeds = 10;
  constexpr int kWrites = 60;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    const auto pick = [&random](int from, int to) {
      return std::uniform_int_distribution<int>(from, to)(random);
    };
    QString script;
    for (int write = 0; write < kWrites; ++write) {
      const int number = seed * 100 + pick(0, 9);
      const QString used = QStringLiteral("(%1, %2, %3)")
                               .arg(number)
                               .arg(pick(1, 3))
                               .arg(day(pick(3, 62)));
      switch (pick(0, 7)) {
        case 0:
        case 1:
          // A used allotment, of a line that may be there or may come later.
          script += postgres() ? QStringLiteral("INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR,"
                                                " DATO) VALUES %1 ON CONFLICT DO NOTHING;\n")
                                     .arg(used)
                               : QStringLiteral("INSERT OR REPLACE INTO LEIE_ALLOT (LINJENR,"
                                                " ALLOTLINJENR, DATO) VALUES %1;\n")
                                     .arg(used);
          break;
        case 2: {
          const QString values = QStringLiteral("%1, 1, 'O', %2, %3, %4, %5, %6")
                                     .arg(number)
                                     .arg(day(10), day(12))
                                     .arg(pick(5, 6))
                                     .arg(pick(1, 2))
                                     .arg(pick(0, 3));
          const QString columns =
              QStringLiteral("(LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)");
          script += WrittenOver(columns, values, "ANTALL = LEIE.ANTALL + 1");
          break;
        }
        case 3:
          script += QStringLiteral("UPDATE LEIE SET ANLEGG = %1, UTYPE = %2, ANTALL = %3 "
                                   "WHERE LINJENR = %4;\n")
                        .arg(pick(1, 2))
                        .arg(pick(5, 6))
                        .arg(pick(0, 3))
                        .arg(number);
          break;
        case 4:
          script += QStringLiteral("UPDATE LEIE SET LINJENR = %1 WHERE LINJENR = %2 AND NOT "
                                   "EXISTS (SELECT 1 FROM LEIE WHERE LINJENR = %1);\n")
                        .arg(seed * 100 + pick(0, 9))
                        .arg(number);
          break;
        case 5: {
          // One used allotment moved; on SQLite onto one that may be there, which it replaces.
          const QString one = QStringLiteral(
              "(LINJENR, ALLOTLINJENR, DATO) = (SELECT LINJENR, ALLOTLINJENR, DATO FROM "
              "LEIE_ALLOT WHERE LINJENR = %1 ORDER BY 2, 3 LIMIT 1)").arg(number);
          const QString to = day(pick(3, 62));
          const int line = pick(1, 3);
          script += postgres()
                        ? QStringLiteral("UPDATE LEIE_ALLOT SET DATO = %1, ALLOTLINJENR = %2 "
                                         "WHERE %3 AND NOT EXISTS (SELECT 1 FROM LEIE_ALLOT WHERE "
                                         "LINJENR = %4 AND ALLOTLINJENR = %2 AND DATO = %1);\n")
                              .arg(to)
                              .arg(line)
                              .arg(one)
                              .arg(number)
                        : QStringLiteral("UPDATE OR REPLACE LEIE_ALLOT SET DATO = %1, "
                                         "ALLOTLINJENR = %2 WHERE %3;\n")
                              .arg(to)
                              .arg(line)
                              .arg(one);
          break;
        }
        case 6:
          script += QStringLiteral("DELETE FROM LEIE_ALLOT WHERE LINJENR = %1;\n").arg(number);
          break;
        default:
          script += QStringLiteral("DELETE FROM LEIE WHERE LINJENR BETWEEN %1 AND %2;\n")
                        .arg(number)
                        .arg(number + pick(0, 3));
      }
    }
    Run(script);
    ExpectCountsAsLines(qPrintable(QStringLiteral("seed %1").arg(seed)), today,
                        today.addDays(64));
    if (HasFailure()) return;
  }
  EXPECT_NE(Scalar("SELECT count(*) FROM LEIE_ALLOT_TALT"), "0");
}

INSTANTIATE_TEST_SUITE_P(Backends, OccupancyCountsTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
