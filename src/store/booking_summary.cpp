#include "store/booking_summary.h"

#include "store/statement.h"

namespace taurelin {

double BookingSummary::price() const {
  double total = 0;
  for (const BookedStay& stay : stays) total += stay.price;
  return total;
}

int BookingSummary::persons() const {
  int total = 0;
  for (const BookedStay& stay : stays) total += stay.persons;
  return total;
}

std::optional<BookingSummary> ReadBookingSummary(Connection& connection, qint64 refnr,
                                                 std::optional<qint64> bestnr) {
  Statement header(connection);
  header.add({"SELECT B.ANLEGGSNR, A.ANLEGGSNAVN, B.AVBESTILT,",
              "  S.ENAVN, S.FNAVN, S.MAIL, S.TLF, S.NKODE, S.ANM",
              "FROM BOOKING B",
              "LEFT JOIN ANLEGG A ON A.ANLEGGSNR = B.ANLEGGSNR"});
  header.add(bestnr ? QStringLiteral("LEFT JOIN BESTILL S ON S.BESTNR = :BESTNR")
                    : QStringLiteral("LEFT JOIN BESTILL S ON S.BESTNR = B.BESTNR"));
  header.add(QStringLiteral("WHERE B.REFNR = :REFNR"));
  if (bestnr) header.bindInteger(QStringLiteral("BESTNR"), *bestnr);
  header.bindInteger(QStringLiteral("REFNR"), refnr);
  header.run();
  if (!header.next()) return std::nullopt;
  BookingSummary summary;
  summary.refnr = refnr;
  summary.facility = header.integer(QStringLiteral("ANLEGGSNR"));
  summary.facilityName = header.text(QStringLiteral("ANLEGGSNAVN"));
  summary.cancelled = header.integer(QStringLiteral("AVBESTILT")) != 0;
  summary.surname = header.text(QStringLiteral("ENAVN"));
  summary.firstName = header.text(QStringLiteral("FNAVN"));
  summary.mail = header.text(QStringLiteral("MAIL")).trimmed();
  summary.phone = header.text(QStringLiteral("TLF")).trimmed();
  summary.nation = header.text(QStringLiteral("NKODE"));
  summary.remark = header.text(QStringLiteral("ANM")).trimmed();
  header.close();

  // The rental lines ('U') say what was booked: one per stay of a type.
  Statement lines(connection);
  lines.add({"SELECT L.UTYPE, T.BESKR, T.KODE, L.ANKOMST, L.AVREISE, L.ANTALL, L.ANT_VOKSEN,",
             "  L.A_PRIS, L.STATUS",
             "FROM LEIE L LEFT JOIN UTYPE T ON T.UTYPE = L.UTYPE",
             "WHERE L.REFNR = :REFNR AND L.LEIETYPE = 'U'",
             "ORDER BY L.ANKOMST, L.LINJENR"});
  lines.bindInteger(QStringLiteral("REFNR"), refnr);
  lines.run();
  bool anyLive = false;
  while (lines.next()) {
    BookedStay stay;
    stay.type = lines.integer(QStringLiteral("UTYPE"));
    stay.typeName = lines.text(QStringLiteral("BESKR")).trimmed();
    if (stay.typeName.isEmpty()) stay.typeName = lines.text(QStringLiteral("KODE")).trimmed();
    stay.arrival = lines.date(QStringLiteral("ANKOMST"));
    stay.departure = lines.date(QStringLiteral("AVREISE"));
    stay.units = lines.integer(QStringLiteral("ANTALL"));
    stay.persons = lines.integer(QStringLiteral("ANT_VOKSEN"));
    stay.price = lines.number(QStringLiteral("A_PRIS"));
    anyLive = anyLive || lines.text(QStringLiteral("STATUS")) != u"A";
    summary.stays << stay;
  }
  if (!summary.stays.isEmpty() && !anyLive) summary.cancelled = true;
  return summary;
}

QString FacilityName(Connection& connection, int facility) {
  Statement s(connection);
  s.add(QStringLiteral("SELECT ANLEGGSNAVN FROM ANLEGG WHERE ANLEGGSNR = :ANLEGGSNR"));
  s.bindInteger(QStringLiteral("ANLEGGSNR"), facility);
  s.run();
  return s.next() ? s.text(QStringLiteral("ANLEGGSNAVN")).trimmed() : QString();
}

QString RentalTypeName(Connection& connection, int type) {
  Statement s(connection);
  s.add(QStringLiteral("SELECT BESKR, KODE FROM UTYPE WHERE UTYPE = :UTYPE"));
  s.bindInteger(QStringLiteral("UTYPE"), type);
  s.run();
  if (!s.next()) return {};
  const QString description = s.text(QStringLiteral("BESKR")).trimmed();
  return description.isEmpty() ? s.text(QStringLiteral("KODE")).trimmed() : description;
}

}  // namespace taurelin
