#include "booking_requests.h"

#include "loopback.h"

#include "protocol/reply_envelope.h"
#include "store/alias_list.h"
#include "store/connection.h"

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdio>
#include <functional>

namespace taurelin::bench {
namespace {

QString Day(int fromToday) {
  return QDate::currentDate().addDays(fromToday).toString(QStringLiteral("yyyy.MM.dd"));
}

QByteArray Request(int id, const char* columns, const QString& values) {
  return "messageID=" + QByteArray::number(id) + "&count=1&header=INSTRUKSJON;" + columns +
         "&data=" + values.toLatin1() + "\n";
}

// Runs `sql` on a connection of its own to `alias`, handing each row to `row`; false, with
// `error` set, when the database cannot be read.
bool ReadRows(const DatabaseAlias& alias, const QString& sql,
              const std::function<void(const QSqlQuery&)>& row, QString* error) {
  Connection connection(QUuid::createUuid().toString());
  if (!connection.open(alias, error, false)) return false;
  QSqlQuery query(connection.database());
  const bool done = query.exec(sql);
  if (!done) *error = query.lastError().text();
  while (query.next()) row(query);
  return done;
}

}  // namespace

std::optional<BenchOptions> ParseBenchOptions(const QStringList& arguments, const char* program) {
  BenchOptions options;
  bool ok = arguments.size() % 2 == 0;
  for (qsizetype i = 0; ok && i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == u"--requests") {
      options.requests = arguments[i + 1].toInt(&ok);
      ok = ok && options.requests >= 1;
    } else if (arguments[i] == u"--seed") {
      options.seed = arguments[i + 1].toULongLong(&ok);
    } else if (arguments[i] == u"--data") {
      options.dataDir = arguments[i + 1];
    } else if (arguments[i] == u"--counts") {
      ok = arguments[i + 1] == u"yes" || arguments[i + 1] == u"no";
      options.counts = arguments[i + 1] == u"yes";
    } else {
      ok = false;
    }
  }
  if (ok) return options;
  std::fprintf(stderr, "usage: %s [--requests N] [--seed N] [--data DIR] [--counts no]\n",
               program);
  return std::nullopt;
}

bool DropOccupancyCounts(const DatabaseAlias& alias, QString* error) {
  Connection connection(QUuid::createUuid().toString());
  if (!connection.open(alias, error, false)) return false;
  const bool postgres = connection.database().driverName() == u"QPSQL";
  const QStringList drops =
      postgres
          ? QStringList{"DROP TRIGGER LEIE_DAG ON LEIE",
                        "DROP TRIGGER LEIE_DAG_TOMT ON LEIE",
                        "DROP TRIGGER LEIE_ALLOT_TALT ON LEIE_ALLOT",
                        "DROP TRIGGER LEIE_ALLOT_TALT_TOMT ON LEIE_ALLOT",
                        "DROP TRIGGER LEIE_ALLOT_TALT_LEIE ON LEIE",
                        "DROP TRIGGER LEIE_ALLOT_TALT_LEIE_TOMT ON LEIE",
                        "DROP TABLE LEIE_DAG",
                        "DROP TABLE LEIE_AVVIK",
                        "DROP TABLE LEIE_ALLOT_TALT",
                        "DROP INDEX ALLOT_PERIODE"}
          : QStringList{"DROP TRIGGER LEIE_DAG_NY2",      "DROP TRIGGER LEIE_DAG_ENDRET2",
                        "DROP TRIGGER LEIE_DAG_SLETTET2",  "DROP TRIGGER ALLOT_PERIODE_NY",
                        "DROP TRIGGER ALLOT_PERIODE_ENDRET",
                        "DROP TRIGGER ALLOT_PERIODE_SLETTET",
                        "DROP TABLE LEIE_DAG",             "DROP TABLE LEIE_TALT",
                        "DROP TABLE LEIE_AVVIK",           "DROP TABLE LEIE_DAG_NR",
                        "DROP TABLE ALLOT_PERIODE",        "DROP TRIGGER LEIE_ALLOT_TALT_NY",
                        "DROP TRIGGER LEIE_ALLOT_TALT_ENDRET",
                        "DROP TRIGGER LEIE_ALLOT_TALT_SLETTET",
                        "DROP TRIGGER LEIE_ALLOT_TALT_LEIE_NY",
                        "DROP TRIGGER LEIE_ALLOT_TALT_LEIE_ENDRET",
                        "DROP TRIGGER LEIE_ALLOT_TALT_LEIE_SLETTET",
                        "DROP TABLE LEIE_ALLOT_TALT"};
  for (const QString& drop : drops) {
    QSqlQuery query(connection.database());
    if (!query.exec(drop)) {
      *error = drop + QStringLiteral(": ") + query.lastError().text();
      return false;
    }
  }
  return true;
}

QString LoadAverage() {
  QFile file(QStringLiteral("/proc/loadavg"));
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("unknown");
  return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

QByteArray TestApi(int id) {
  return "messageID=" + QByteArray::number(id) + "&count=1&header=INSTRUKSJON&data=TEST-API\n";
}

bool IsTestApiReply(const QString& reply) {
  return reply.startsWith(u"&count=") && reply.contains(u"TEST-API") &&
         !reply.contains(u"errorcode");
}

QByteArray Availability(int id, int facility, int arrival, int nights) {
  return Request(id, "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                 QStringLiteral("LEDIG;%1;*;*;*;%2;%3")
                     .arg(facility)
                     .arg(Day(arrival), Day(arrival + nights)));
}

QByteArray Matrix(int id, int facility, int from, int days) {
  return Request(id, "ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;TIL",
                 QStringLiteral("LEDIGMATRISE;%1;*;*;*;%2;%3")
                     .arg(facility)
                     .arg(Day(from), Day(from + days - 1)));
}

QString Reply(const QByteArray& answer) {
  const QString text = QString::fromLatin1(answer);
  return text.mid(text.indexOf(u'&'));
}

bool IsAvailabilityList(const QString& reply) {
  return reply.startsWith(u"&count=") && !reply.startsWith(u"&count=0") &&
         !reply.contains(u"errorcode");
}

bool IsMatrix(const QString& reply, int rows) {
  return reply.startsWith(QStringLiteral("&count=%1&").arg(rows)) && !reply.contains(u"errorcode");
}

std::vector<Offer> ReadOffers(const DatabaseAlias& alias, QString* error) {
  std::vector<Offer> offers;
  const bool read = ReadRows(
      alias,
      QStringLiteral("SELECT U.ANLEGG, U.UTYPE, MIN(PJ.PRISMET) FROM UTYPER_BRUKER U "
                     "JOIN PRIS P ON (P.UTYPE = U.UTYPE AND P.WEB = 'J' AND P.START_DAG = 0 AND "
                     "P.ANT_DAGER = 1) JOIN PENSJON PJ ON (PJ.PENSJON = P.PENSJON) "
                     "WHERE U.BRUKERID = 0 AND U.MODUL_ID = 1 AND U.ANTENH >= 10 "
                     "GROUP BY U.ANLEGG, U.UTYPE ORDER BY U.ANLEGG, U.UTYPE"),
      [&offers](const QSqlQuery& query) {
        offers.push_back({query.value(0).toInt(), query.value(1).toInt(), query.value(2).toInt()});
      },
      error);
  if (read && offers.empty()) *error = QStringLiteral("the business offers nothing to reserve");
  return offers;
}

std::map<int, int> ReadTypeCounts(const DatabaseAlias& alias, QString* error) {
  std::map<int, int> counts;
  const bool read = ReadRows(alias,
           QStringLiteral("SELECT ANLEGG, COUNT(*) FROM UTYPER_BRUKER WHERE BRUKERID = 0 AND "
                          "MODUL_ID = 1 AND RETTIGHET > 1 GROUP BY ANLEGG"),
           [&counts](const QSqlQuery& query) {
             counts[query.value(0).toInt()] = query.value(1).toInt();
           },
           error);
  if (read && counts.empty()) *error = QStringLiteral("the business sells no rental type");
  return counts;
}

QDate ReadFirstArrival(const DatabaseAlias& alias, QString* error) {
  QDate first;
  const bool read = ReadRows(alias, QStringLiteral("SELECT MIN(ANKOMST) FROM LEIE"),
           [&first](const QSqlQuery& query) {
             first = QDate::fromString(query.value(0).toString().left(10), Qt::ISODate);
           },
           error);
  if (read && !first.isValid()) *error = QStringLiteral("the business has no history");
  return first;
}

Cycle ReserveAndCancel(int fd, const Offer& offer, int id, int arrival) {
  Cycle cycle;
  const QByteArray reservation =
      Request(id, "ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;ANT_PERSONER;"
                  "AGENT;PRIS;REFNR;TIMEOUT",
              QStringLiteral("RESERVER;%1;%2;*;%3;%4;%5;1;2;1;;*;600")
                  .arg(offer.facility)
                  .arg(offer.type)
                  .arg(Day(arrival), Day(arrival + kNights))
                  .arg(offer.board));
  QByteArray answer;
  cycle.reserve = RoundTrip(fd, reservation, &answer);
  const QString reply = Reply(answer);
  if (reply.contains(u"'-2065'")) {
    cycle.outcome = Cycle::kRefused;
    return cycle;
  }
  const QString refnr = reply.startsWith(u"&count=1&") && !reply.contains(u"errorcode")
                            ? ReplyEnvelope::GetReplyValue(reply, QStringLiteral("REFNR"))
                            : QString();
  if (cycle.reserve < 0 || refnr.isEmpty()) {
    cycle.failedAnswer = answer;
    return cycle;
  }
  cycle.cancel =
      RoundTrip(fd, Request(id, "REFNR", QStringLiteral("AVBESTILL;") + refnr), &answer);
  if (cycle.cancel < 0 ||
      Reply(answer) != "&count=1&header=INSTRUKSJON;REFNR&data=AVBESTILL;" + refnr) {
    cycle.failedAnswer = answer;
    return cycle;
  }
  cycle.outcome = Cycle::kDone;
  return cycle;
}

void Failure::operator()(const char* what, const QByteArray& answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (count_++ == 0) std::fprintf(stderr, "%s: %s\n", what, answer.left(400).constData());
}

int Failure::count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

}  // namespace taurelin::bench
