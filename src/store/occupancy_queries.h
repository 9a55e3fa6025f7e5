#pragma once

// The statements that feed the occupancy engine and the capacity lookups. The SQLite
// procedure HENT_LEDIG_MATRISE and the data module run these very texts, so both count the
// same rows. They are plain SQL that SQLite and PostgreSQL both accept.
//
// Parameters: :brukerid, :modul_id, :rettighet (the server acts as user 0 in module 1 and
// needs a right above 1, so it binds 0, 1, 1) and, for the period statements, :fra_dato and
// :til_dato (the first and last day, bound as dates); the indexed statements have theirs.

#include <QDate>

#include <cstdint>

namespace taurelin::occupancy_sql {

// The (facility, rental type) pairs: the engine's rows.
inline constexpr char kUtyper[] =
    "select\n"
    "  UTYPE,\n"
    "  ANTENH,\n"
    "  BESKR,\n"
    "  ISTAT,\n"
    "  KODE,\n"
    "  ANLEGG\n"
    "from\n"
    "  UTYPER_BRUKER\n"
    "where\n"
    "  BRUKERID = :brukerid and\n"
    "  MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet\n"
    "order by ANLEGG, UTYPE";

// The facilities that "all facilities" (-1) sums over.
inline constexpr char kAlleAnlegg[] =
    "select\n"
    "  ANLEGGSNR,\n"
    "  ANLEGGSNAVN\n"
    "from\n"
    "  ANLEGG_BRUKER\n"
    "where\n"
    "  BRUKERID = :brukerid and\n"
    "  MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet\n"
    "order by ANLEGGSNR";

// Object lines that occupy units on some day of the period.
inline constexpr char kIkkeLedig[] =
    "select\n"
    "  L.ANLEGG,\n"
    "  L.UTYPE,\n"
    "  L.ANKOMST,\n"
    "  L.AVREISE,\n"
    "  L.ANTALL\n"
    "from\n"
    "  LEIE L\n"
    "  LEFT OUTER JOIN BRUKERRETT BR ON (BR.ANLEGGSNR = L.ANLEGG)\n"
    "where\n"
    "  L.LEIETYPE = 'O' and\n"
    "  (L.STATUS <> 'A' OR L.STATUS IS NULL) and\n"
    "  L.ANKOMST <= :til_dato and\n"
    "  L.AVREISE > :fra_dato and\n"
    "  BR.BRUKERID = :brukerid and\n"
    "  BR.MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet\n"
    "order by\n"
    "  ANLEGG, UTYPE";

// The same lines read through the occupancy index, on a database that has it (taurelin-db
// upgrade), for one facility or for all. The index only narrows what is read; the conditions
// of kIkkeLedig still decide, but for the user's right on the line's facility: that is left
// to the layout, which holds a (facility, rental type) pair only where the right is given
// (UTYPER_BRUKER), and the engine leaves out every line of a pair it does not hold. So both
// statements give the same counts, and a line costs no lookup of the rights.
//
// SQLite: the R*Tree LEIE_PERIODE, searched by day keys (:fra_dag, :til_dag, yyyymmdd) and
// facility numbers (:anlegg_fra to :anlegg_til: the facility twice, or every number).
inline constexpr char kIkkeLedigIndeksert[] =
    "select\n"
    "  L.ANLEGG,\n"
    "  L.UTYPE,\n"
    "  L.ANKOMST,\n"
    "  L.AVREISE,\n"
    "  L.ANTALL\n"
    "from\n"
    "  LEIE_PERIODE P\n"
    "  CROSS JOIN LEIE L\n"
    "where\n"
    "  P.FRA <= :til_dag and\n"
    "  P.TIL >= :fra_dag and\n"
    "  P.ANLEGG_FRA <= :anlegg_til and\n"
    "  P.ANLEGG_TIL >= :anlegg_fra and\n"
    "  L.LINJENR = P.LINJENR and\n"
    "  L.LEIETYPE = 'O' and\n"
    "  (L.STATUS <> 'A' OR L.STATUS IS NULL) and\n"
    "  L.ANKOMST <= :til_dato and\n"
    "  L.AVREISE > :fra_dato";

// PostgreSQL: the GiST index LEIE_PERIODE over the range of each line's days; :anlegg is the
// facility or -1 for all (given twice, as :anlegg and :anlegg_alle).
inline constexpr char kIkkeLedigPeriode[] =
    "select\n"
    "  L.ANLEGG,\n"
    "  L.UTYPE,\n"
    "  L.ANKOMST,\n"
    "  L.AVREISE,\n"
    "  L.ANTALL\n"
    "from\n"
    "  LEIE L\n"
    "where\n"
    "  L.LEIETYPE = 'O' and\n"
    "  (L.STATUS <> 'A' OR L.STATUS IS NULL) and\n"
    "  L.ANKOMST <= :til_dato and\n"
    "  L.AVREISE > :fra_dato and\n"
    "  LEIE_PERIODE(L.ANKOMST, L.AVREISE) && daterange(:fra_periode, :til_periode, '[]') and\n"
    "  (:anlegg_alle = -1 OR L.ANLEGG = :anlegg)";

// The layout version (OPPSETT_VERSJON) that kUtyper and kAlleAnlegg may be kept behind; on
// SQLite with the schema's version, which a changed view or table raises.
inline constexpr char kOppsettVersjonSqlite[] =
    "select VERDI, (select schema_version from pragma_schema_version) SKJEMA from OPPSETT_VERSJON";
inline constexpr char kOppsettVersjon[] = "select VERDI, 0 SKJEMA from OPPSETT_VERSJON";

// Allotment lines that hold units on some day of the period.
inline constexpr char kAllotment[] =
    "select\n"
    "  A.AKODE,\n"
    "  A.ANLEGGSNR,\n"
    "  AL.ALLOTTYPE,\n"
    "  AL.ANTALL,\n"
    "  AL.DAGER_FOER,\n"
    "  AL.FRA,\n"
    "  AL.TIL,\n"
    "  AL.UTYPE\n"
    "from\n"
    "  ALLOTLINJE AL\n"
    "  LEFT OUTER JOIN ALLOT A ON (AL.ALLOT_ID = A.ALLOT_ID)\n"
    "  LEFT OUTER JOIN BRUKERRETT BR ON (BR.ANLEGGSNR = A.ANLEGGSNR)\n"
    "where\n"
    "  AL.REQUEST = 'A' and\n"
    "  BR.BRUKERID = :brukerid and\n"
    "  BR.MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet and\n"
    "  FRA <= :til_dato and\n"
    "  TIL >= :fra_dato";

// The days of the period on which rental lines use allotment units.
inline constexpr char kBruktAllotment[] =
    "select\n"
    "  LA.DATO,\n"
    "  L.ANLEGG,\n"
    "  L.ANTALL,\n"
    "  L.UTYPE,\n"
    "  AL.ALLOTTYPE,\n"
    "  AL.DAGER_FOER,\n"
    "  AL.FRA,\n"
    "  AL.TIL,\n"
    "  A.AKODE,\n"
    "  BO.REG_DATO\n"
    "from\n"
    "  LEIE_ALLOT LA\n"
    "  LEFT OUTER JOIN LEIE L ON (L.LINJENR = LA.LINJENR)\n"
    "  LEFT OUTER JOIN ALLOTLINJE AL ON (AL.ALLOTLINJENR = LA.ALLOTLINJENR)\n"
    "  LEFT OUTER JOIN ALLOT A ON (A.ALLOT_ID = AL.ALLOT_ID)\n"
    "  LEFT OUTER JOIN BOOKING BO ON (L.REFNR = BO.REFNR)\n"
    "where\n"
    "  LA.DATO <= :til_dato and\n"
    "  LA.DATO >= :fra_dato";

// Units of each rental type at each facility.
inline constexpr char kKapasitet[] =
    "select\n"
    "  ANLEGG,\n"
    "  UTYPE,\n"
    "  ANTENH\n"
    "from\n"
    "  UTYPER_BRUKER\n"
    "where\n"
    "  BRUKERID = :brukerid and\n"
    "  MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet\n"
    "order by ANLEGG, UTYPE";

// Units of each rental type over all facilities.
inline constexpr char kKapasitetSamlet[] =
    "select\n"
    "  UTYPE,\n"
    "  sum(ANTENH) ANTENH\n"
    "from\n"
    "  UTYPER_BRUKER\n"
    "where\n"
    "  BRUKERID = :brukerid and\n"
    "  MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet\n"
    "group by UTYPE\n"
    "order by UTYPE";

// The values the server binds for :brukerid, :modul_id and :rettighet.
inline constexpr int kUserId = 0;
inline constexpr int kModuleId = 1;
inline constexpr int kRightAbove = 1;

// The day key of the SQLite occupancy index: yyyymmdd, which orders as the ISO text of the
// day does. A day outside the years 0 to 9999 has no such text; it gets the lowest key as a
// first day and the highest as a last, so that the index then narrows nothing.
inline qint64 FirstDayKey(const QDate& day) {
  if (!day.isValid() || day.year() < 0 || day.year() > 9999) return INT32_MIN;
  return day.year() * 10000LL + day.month() * 100 + day.day();
}
inline qint64 LastDayKey(const QDate& day) {
  if (!day.isValid() || day.year() < 0 || day.year() > 9999) return INT32_MAX;
  return day.year() * 10000LL + day.month() * 100 + day.day();
}

}  // namespace taurelin::occupancy_sql
