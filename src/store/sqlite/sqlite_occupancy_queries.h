#pragma once

// The occupancy statements that are SQLite's own, beside the shared ones
// (store/occupancy_queries.h): the layout version with the schema's, and the rental lines
// read through the occupancy index. The data module (through SqliteBackend) and the
// procedure HENT_LEDIG_MATRISE run these very texts.

#include <QDate>

#include <cstdint>

namespace taurelin::occupancy_sql {

// The rental lines of kIkkeLedig read through the occupancy index, on a database that has it
// (taurelin-db upgrade), for one facility or for all. The index only narrows what is read;
// the conditions of kIkkeLedig still decide, but for the user's right on the line's
// facility: that is left to the layout, which holds a (facility, rental type) pair only where
// the right is given (UTYPER_BRUKER), and the engine leaves out every line of a pair it does
// not hold. So both statements give the same counts, and a line costs no lookup of the
// rights.
//
// The index is the R*Tree LEIE_PERIODE, searched by day keys (:fra_dag, :til_dag, yyyymmdd)
// and facility numbers (:anlegg_fra to :anlegg_til: the facility twice, or every number).
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

// The counted days of a counted database (LEIE_DAG): the units occupied per rental type on
// each day from :fra_dato to :til_dato, of facility :anlegg or of every facility that "all
// facilities" sums over (kAlleAnlegg). DATO is the Julian day number.
inline constexpr char kTalteDager[] =
    "select ANLEGG, UTYPE, DATO, ANTALL\n"
    "from LEIE_DAG\n"
    "where\n"
    "  ANLEGG = :anlegg and\n"
    "  DATO >= cast(julianday(:fra_dato) + 0.5 as integer) and\n"
    "  DATO <= cast(julianday(:til_dato) + 0.5 as integer)";
inline constexpr char kTalteDagerAlle[] =
    "select ANLEGG, UTYPE, DATO, ANTALL\n"
    "from LEIE_DAG\n"
    "where\n"
    "  ANLEGG in (select ANLEGGSNR from ANLEGG_BRUKER\n"
    "             where BRUKERID = :brukerid and MODUL_ID = :modul_id and\n"
    "                   RETTIGHET > :rettighet) and\n"
    "  DATO >= cast(julianday(:fra_dato) + 0.5 as integer) and\n"
    "  DATO <= cast(julianday(:til_dato) + 0.5 as integer)";

// The allotment lines of kAllotment read through their index (ALLOT_PERIODE), on a counted
// database, searched by the day keys :fra_dag and :til_dag; the conditions of kAllotment
// still decide.
inline constexpr char kAllotmentIndeksert[] =
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
    "  ALLOT_PERIODE P\n"
    "  CROSS JOIN ALLOTLINJE AL\n"
    "  LEFT OUTER JOIN ALLOT A ON (AL.ALLOT_ID = A.ALLOT_ID)\n"
    "  LEFT OUTER JOIN BRUKERRETT BR ON (BR.ANLEGGSNR = A.ANLEGGSNR)\n"
    "where\n"
    "  P.FRA <= :til_dag and\n"
    "  P.TIL >= :fra_dag and\n"
    "  AL.ALLOTLINJENR = P.ALLOTLINJENR and\n"
    "  AL.REQUEST = 'A' and\n"
    "  BR.BRUKERID = :brukerid and\n"
    "  BR.MODUL_ID = :modul_id and\n"
    "  RETTIGHET > :rettighet and\n"
    "  AL.FRA <= :til_dato and\n"
    "  AL.TIL >= :fra_dato";

// The layout version (OPPSETT_VERSJON) that kUtyper and kAlleAnlegg may be kept behind, with
// the schema's version, which a changed view or table raises.
inline constexpr char kOppsettVersjonSqlite[] =
    "select VERDI, (select schema_version from pragma_schema_version) SKJEMA from OPPSETT_VERSJON";

// The day key of the occupancy index: yyyymmdd, which orders as the ISO text of the day
// does. A day outside the years 0 to 9999 has no such text; it gets the lowest key as a
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
