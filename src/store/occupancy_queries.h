#pragma once

// The statements that feed the occupancy engine and the capacity lookups. The SQLite
// procedure HENT_LEDIG_MATRISE and the data module run these very texts, so both count the
// same rows. They are plain SQL that SQLite and PostgreSQL both accept; the statements that
// differ between them (the layout version, the lines read through the occupancy index) are
// each backend's own (Backend::layoutVersionQuery, Backend::indexedOccupiedLines).
//
// Parameters: :brukerid, :modul_id, :rettighet (the server acts as user 0 in module 1 and
// needs a right above 1, so it binds 0, 1, 1) and, for the period statements, :fra_dato and
// :til_dato (the first and last day, bound as dates); the indexed statements have theirs.

#include <string>

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
    "  A.AKODE\n"
    "from\n"
    "  LEIE_ALLOT LA\n"
    "  LEFT OUTER JOIN LEIE L ON (L.LINJENR = LA.LINJENR)\n"
    "  LEFT OUTER JOIN ALLOTLINJE AL ON (AL.ALLOTLINJENR = LA.ALLOTLINJENR)\n"
    "  LEFT OUTER JOIN ALLOT A ON (A.ALLOT_ID = AL.ALLOT_ID)\n"
    "where\n"
    "  LA.DATO <= :til_dato and\n"
    "  LA.DATO >= :fra_dato";

// kBruktAllotment narrowed to the lines of facility :anlegg, all that a question about one
// facility counts (a used allotment whose rental line is gone is read as before).
inline const char* BruktAllotmentAnlegg() {
  static const std::string sql =
      std::string(kBruktAllotment) + " and\n  (L.ANLEGG = :anlegg or L.ANLEGG is null)";
  return sql.c_str();
}

// BruktAllotmentAnlegg() read from the used allotments kept with their lines' values
// (LEIE_ALLOT_TALT, taurelin-db upgrade): a used allotment whose rental line is gone takes no
// units, so it is not kept and nothing is lost by its absence.
inline constexpr char kBruktAllotmentTalt[] =
    "select\n"
    "  T.DATO,\n"
    "  T.ANLEGG,\n"
    "  T.ANTALL,\n"
    "  T.UTYPE,\n"
    "  AL.ALLOTTYPE,\n"
    "  AL.DAGER_FOER,\n"
    "  AL.FRA,\n"
    "  AL.TIL,\n"
    "  A.AKODE\n"
    "from\n"
    "  LEIE_ALLOT_TALT T\n"
    "  LEFT OUTER JOIN ALLOTLINJE AL ON (AL.ALLOTLINJENR = T.ALLOTLINJENR)\n"
    "  LEFT OUTER JOIN ALLOT A ON (A.ALLOT_ID = AL.ALLOT_ID)\n"
    "where\n"
    "  (T.ANLEGG = :anlegg or T.ANLEGG is null) and\n"
    "  T.DATO <= :til_dato and\n"
    "  T.DATO >= :fra_dato";

// The condition that narrows kAllotment's lines to facility :anlegg.
inline constexpr char kAllotmentAnlegg[] = " and\n  A.ANLEGGSNR = :anlegg";

// The occupying lines that the counts of a counted database (LEIE_DAG, taurelin-db upgrade)
// leave out (LEIE_AVVIK), with the conditions of kIkkeLedig but for the user's right, which
// is left to the layout as on the indexed reads.
inline constexpr char kIkkeTalt[] =
    "select\n"
    "  L.ANLEGG,\n"
    "  L.UTYPE,\n"
    "  L.ANKOMST,\n"
    "  L.AVREISE,\n"
    "  L.ANTALL\n"
    "from\n"
    "  LEIE_AVVIK A\n"
    "  CROSS JOIN LEIE L\n"
    "where\n"
    "  L.LINJENR = A.LINJENR and\n"
    "  L.LEIETYPE = 'O' and\n"
    "  (L.STATUS <> 'A' OR L.STATUS IS NULL) and\n"
    "  L.ANKOMST <= :til_dato and\n"
    "  L.AVREISE > :fra_dato";

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

}  // namespace taurelin::occupancy_sql
