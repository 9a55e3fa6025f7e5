#pragma once

// Test support for the availability and reservation tests: a small business to price and
// book stays at.
//
// Facility 1 (wing N1) has ten cabins of type 5 and two flats of type 6; facility 2 (wing S1)
// three cabins of type 5. User 0 may sell at both. Type 5 has web prices from 2000 on:
//   51 board 1, any weekday, nightly, 1000 a night
//   52 board 1, Saturday arrivals, nightly, 900 a night
//   53 board 2, any weekday, nightly (0 days), 1200 a night
//   55 board 2, any weekday, a week, 6000 a week
//   56 board 1, not on the web
// Type 6 has no web price. Agents 1 and 7 exist.

#include "handlers/handler_test_fixture.h"

namespace taurelin {

class StayTest : public HandlerTest {
 protected:
  StayTest() {
    Run("INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (1, 'Nord', 10);\n"
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (2, 'Sor', 20);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('N1', 1);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('S1', 2);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (5, 'H4', 'Hytte', 'HY');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (6, 'L2', 'Leilighet', 'LE');\n"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10)\n"
        "  INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) SELECT 'N' || i, 5, 'N1' FROM n;\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('F1', 6, 'N1'), ('F2', 6, 'N1');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('S1', 5, 'S1'), ('S2', 5, 'S1'),"
        "  ('S3', 5, 'S1');\n"
        "INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) VALUES (1, 0, 1, 2),"
        "  (2, 0, 1, 2);\n"
        "INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES (1, 'Kun overnatting', 1),"
        "  (2, 'Frokost', 2);\n"
        "INSERT INTO AGENT (AKODE, NAVN) VALUES (1, 'Nett'), (7, 'Byraa');\n"
        "INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB) VALUES"
        "  (51, 5, 1, 0, 1, 'J'), (52, 5, 1, 6, 1, 'J'), (53, 5, 2, 0, 0, 'J'),"
        "  (55, 5, 2, 0, 7, 'J'), (56, 5, 1, 0, 1, 'N');\n"
        "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, PRIS_WEEK) VALUES"
        "  (51, '2000-01-01', NULL, 1000, 0), (52, '2000-01-01', NULL, 900, 0),"
        "  (53, '2000-01-01', NULL, 1200, 0), (55, '2000-01-01', NULL, 6000, 0),"
        "  (56, '2000-01-01', NULL, 1, 0);\n");
    Reconnect();  // the rental-type summary is read when the session connects
  }
};

}  // namespace taurelin
