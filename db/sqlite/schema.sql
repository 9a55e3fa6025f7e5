-- The booking database on SQLite.
--
-- Dates are DATE columns holding ISO text 'yyyy-mm-dd', so that they compare and sort as
-- dates; a time of day, where a column has one, follows as 'Thh:mm:ss'. Amounts are
-- NUMERIC(15,2), in hundredths, as on every other backend. SQLite's NUMERIC keeps any
-- number, so each amount column checks its value: round(x, 2) = x holds for a whole number
-- and for the real nearest a number of two decimals (the real that 100.12 is stored as), not
-- for 100.125 or the 0.30000000000000004 of 0.1 + 0.2, and not for text that is no number;
-- the bounds are those of 13 digits before the point. So no value is stored here that
-- NUMERIC(15,2) elsewhere would round or refuse. NULL passes where the column allows it.
-- Columns that the booking programs do not always write are nullable or have defaults, so a
-- program that writes only the columns it knows writes valid rows.
-- Run on a connection with PRAGMA foreign_keys = ON.

CREATE TABLE ANLEGG (
  ANLEGGSNR    INTEGER      NOT NULL PRIMARY KEY,
  ANLEGGSNAVN  VARCHAR(60),
  FORETAKSNR   INTEGER
);

CREATE TABLE FLOY (
  FLOYKODE     VARCHAR(4)   NOT NULL PRIMARY KEY,
  ANLEGG       INTEGER      NOT NULL REFERENCES ANLEGG (ANLEGGSNR),
  BESKR        VARCHAR(60)
);
CREATE INDEX FLOY_ANLEGG ON FLOY (ANLEGG);

CREATE TABLE UTYPE (
  UTYPE        INTEGER      NOT NULL PRIMARY KEY,
  KODE         VARCHAR(10),
  BESKR        VARCHAR(60),
  ANTENH       INTEGER      NOT NULL DEFAULT 0,
  ISTAT        VARCHAR(2)
);

CREATE TABLE UTLEIEOB (
  OBJNR        VARCHAR(10)  NOT NULL PRIMARY KEY,
  UTYPE        INTEGER      NOT NULL REFERENCES UTYPE (UTYPE),
  FLOYKODE     VARCHAR(4)   REFERENCES FLOY (FLOYKODE),
  BESKR        VARCHAR(60)
);
CREATE INDEX UTLEIEOB_UTYPE ON UTLEIEOB (UTYPE);
CREATE INDEX UTLEIEOB_FLOYKODE ON UTLEIEOB (FLOYKODE);

-- Boards (full board, half board, ...). PRISMET is the board's price method number.
CREATE TABLE PENSJON (
  PENSJON      INTEGER      NOT NULL PRIMARY KEY,
  BESKR        VARCHAR(40),
  PRISMET      INTEGER      NOT NULL DEFAULT 0
);

-- A price of a rental type and board. START_DAG/ANT_DAGER give the price method: 0/1 a
-- night, 7/7 a week from Sunday, 5/2 a weekend and so on. WEB = 'J' puts it on the web.
CREATE TABLE PRIS (
  PRIS_ID      INTEGER      NOT NULL PRIMARY KEY,
  UTYPE        INTEGER      NOT NULL REFERENCES UTYPE (UTYPE),
  PENSJON      INTEGER      REFERENCES PENSJON (PENSJON),
  START_DAG    INTEGER      NOT NULL DEFAULT 0,
  ANT_DAGER    INTEGER      NOT NULL DEFAULT 0,
  WEB          CHAR(1)      DEFAULT 'N',
  BESKR        VARCHAR(60)
);
CREATE INDEX PRIS_UTYPE ON PRIS (UTYPE);

-- The amounts of a price for the days from FRA_DATO up to TIL_DATO (excluded; NULL: open).
-- PRIS_UKE is the price of a night or of a package; PRIS_WEEK, when above 0, the price of a
-- Friday or Saturday night.
CREATE TABLE PRISLINJE (
  PRIS_ID      INTEGER      NOT NULL REFERENCES PRIS (PRIS_ID),
  FRA_DATO     DATE         NOT NULL,
  TIL_DATO     DATE,
  PRIS_UKE     NUMERIC(15,2) NOT NULL DEFAULT 0
               CHECK (round(PRIS_UKE, 2) = PRIS_UKE
                      AND PRIS_UKE > -1e13 AND PRIS_UKE < 1e13),
  PRIS_WEEK    NUMERIC(15,2) NOT NULL DEFAULT 0
               CHECK (round(PRIS_WEEK, 2) = PRIS_WEEK
                      AND PRIS_WEEK > -1e13 AND PRIS_WEEK < 1e13),
  PRIMARY KEY (PRIS_ID, FRA_DATO)
);
CREATE INDEX PRISLINJE_TIL_DATO ON PRISLINJE (TIL_DATO);

CREATE TABLE BETFORM (
  BKODE        VARCHAR(10)  NOT NULL PRIMARY KEY,
  BESKR        VARCHAR(40),
  GYLDIG       CHAR(1)
);

CREATE TABLE AGENT (
  AKODE        INTEGER      NOT NULL PRIMARY KEY,
  NAVN         VARCHAR(60)
);

CREATE TABLE NASJON (
  NKODE        VARCHAR(4)   NOT NULL PRIMARY KEY,
  NAVN         VARCHAR(40)
);

CREATE TABLE VARE (
  VKODE        VARCHAR(10)  NOT NULL PRIMARY KEY,
  BESKR        VARCHAR(40)
);

-- Bookers. NKODE is not a foreign key: a few well-known nations are stored by their usual
-- code even where NASJON lacks it.
CREATE TABLE BESTILL (
  BESTNR       INTEGER      NOT NULL PRIMARY KEY,
  ENAVN        VARCHAR(60),
  FNAVN        VARCHAR(60),
  ADR          VARCHAR(255),
  POSTNR       VARCHAR(10),
  POSTSTED     VARCHAR(40),
  NKODE        VARCHAR(4),
  TLF          VARCHAR(30),
  FAX          VARCHAR(30),
  MAIL         VARCHAR(100),
  ANM          VARCHAR(255)
);

-- Booking headers. AKODE is not a foreign key: the web shop names its agent by number.
CREATE TABLE BOOKING (
  REFNR         INTEGER      NOT NULL PRIMARY KEY,
  ANLEGGSNR     INTEGER,
  FORETAKSNR    INTEGER,
  FORMAL        INTEGER,
  REG_DATO      DATE,
  AKODE         INTEGER,
  BESTNR        INTEGER      REFERENCES BESTILL (BESTNR),
  BEKREFT       VARCHAR(2),
  BEKREFT_DATO  TIMESTAMP,
  FAKTURER      VARCHAR(2),
  RABATT        NUMERIC(15,2) DEFAULT 0
                CHECK (round(RABATT, 2) = RABATT
                       AND RABATT > -1e13 AND RABATT < 1e13),
  ANM           VARCHAR(255),
  ANM_INT       VARCHAR(255),
  FORSK_BET     VARCHAR(2),
  OPPR_AV       INTEGER,
  UTSJEKKET     VARCHAR(2),
  STATUS        INTEGER      DEFAULT 0,
  KUPONG        VARCHAR(20),
  AVBESTILT     INTEGER      DEFAULT 0,
  AGENT_KONTAKT INTEGER,
  HOY_DATO      DATE
);

-- Rental lines. LEIETYPE 'U' is a rental-type line, 'O' an object line (the one that
-- occupies units), owned by its 'U' line through LINJE_EIER. STATUS 'A' marks a cancelled
-- line. OBJNR '0' means no particular object.
CREATE TABLE LEIE (
  LINJENR      INTEGER      NOT NULL PRIMARY KEY,
  REFNR        INTEGER      NOT NULL REFERENCES BOOKING (REFNR),
  BESTNR       INTEGER,
  ANKOMST      DATE,
  AVREISE      DATE,
  OBJNR        VARCHAR(10),
  UTYPE        INTEGER,
  FLOYKODE     VARCHAR(4),
  LEIETYPE     CHAR(1),
  TIL          CHAR(1),
  ETTER        CHAR(1),
  LINJE_EIER   INTEGER,
  ANTALL       INTEGER      DEFAULT 0,
  ANT_VOKSEN   INTEGER      DEFAULT 0,
  ANT_BARN     INTEGER      DEFAULT 0,
  A_PRIS       NUMERIC(15,2) DEFAULT 0
               CHECK (round(A_PRIS, 2) = A_PRIS
                      AND A_PRIS > -1e13 AND A_PRIS < 1e13),
  VKODE        VARCHAR(10),
  UT_FAKT      CHAR(1),
  PENSJON      INTEGER,
  FORMAL       INTEGER,
  RABATT       NUMERIC(15,2)
               CHECK (round(RABATT, 2) = RABATT
                      AND RABATT > -1e13 AND RABATT < 1e13),
  PRISKODE     INTEGER,
  STATKODE     VARCHAR(2),
  PRISTYPE     CHAR(1),
  ANLEGG       INTEGER,
  STATUS       CHAR(1),
  FAKT_STAT    VARCHAR(2),
  TEKST        VARCHAR(255),
  FRITEKST     VARCHAR(255),
  ANT_GRATIS   INTEGER      DEFAULT 0,
  AG_PROV      NUMERIC(15,2)
               CHECK (round(AG_PROV, 2) = AG_PROV
                      AND AG_PROV > -1e13 AND AG_PROV < 1e13)
);
CREATE INDEX LEIE_REFNR ON LEIE (REFNR);
-- A stay's occupancy reads the object lines that depart after its first day: whatever the
-- length of the booking history, only lines that can overlap the stay are read.
CREATE INDEX LEIE_OPPHOLD ON LEIE (LEIETYPE, AVREISE, ANKOMST);

-- Allotments: units held for an agent at a facility.
CREATE TABLE ALLOT (
  ALLOT_ID     INTEGER      NOT NULL PRIMARY KEY,
  AKODE        INTEGER,
  ANLEGGSNR    INTEGER      REFERENCES ANLEGG (ANLEGGSNR)
);

-- ALLOTTYPE 'K' is released day by day DAGER_FOER days ahead, 'P' all at once. Only lines
-- with REQUEST 'A' hold units.
CREATE TABLE ALLOTLINJE (
  ALLOTLINJENR INTEGER      NOT NULL PRIMARY KEY,
  ALLOT_ID     INTEGER      NOT NULL REFERENCES ALLOT (ALLOT_ID),
  ALLOTTYPE    CHAR(1),
  ANTALL       INTEGER      DEFAULT 0,
  DAGER_FOER   INTEGER      DEFAULT 0,
  FRA          DATE,
  TIL          DATE,
  UTYPE        INTEGER,
  REQUEST      CHAR(1)      DEFAULT 'A'
);
CREATE INDEX ALLOTLINJE_ALLOT_ID ON ALLOTLINJE (ALLOT_ID);
CREATE INDEX ALLOTLINJE_TIL ON ALLOTLINJE (TIL);

-- The days on which a rental line uses an allotment line.
CREATE TABLE LEIE_ALLOT (
  LINJENR      INTEGER      NOT NULL,
  ALLOTLINJENR INTEGER      NOT NULL,
  DATO         DATE         NOT NULL,
  PRIMARY KEY (LINJENR, ALLOTLINJENR, DATO)
);
CREATE INDEX LEIE_ALLOT_DATO ON LEIE_ALLOT (DATO);

-- Which facilities a user may work with in a module, and how much (RETTIGHET above 1: sell).
CREATE TABLE BRUKERRETT (
  ANLEGGSNR    INTEGER      NOT NULL REFERENCES ANLEGG (ANLEGGSNR),
  BRUKERID     INTEGER      NOT NULL,
  MODUL_ID     INTEGER      NOT NULL,
  RETTIGHET    INTEGER      NOT NULL DEFAULT 0,
  PRIMARY KEY (ANLEGGSNR, BRUKERID, MODUL_ID)
);

-- The number series: the last number handed out of each.
CREATE TABLE TELLER (
  NAVN         VARCHAR(20)  NOT NULL PRIMARY KEY,
  VERDI        INTEGER      NOT NULL
);
INSERT INTO TELLER (NAVN, VERDI) VALUES ('REFNR', 0);
INSERT INTO TELLER (NAVN, VERDI) VALUES ('LINJENR', 0);
INSERT INTO TELLER (NAVN, VERDI) VALUES ('BESTNR', 0);

-- The facilities a user has a right on.
CREATE VIEW ANLEGG_BRUKER AS
SELECT
  BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET,
  A.ANLEGGSNR, A.ANLEGGSNAVN
FROM BRUKERRETT BR
  JOIN ANLEGG A ON (A.ANLEGGSNR = BR.ANLEGGSNR);

-- The rental types of those facilities, with the number of objects of each there.
CREATE VIEW UTYPER_BRUKER AS
SELECT
  BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET,
  F.ANLEGG AS ANLEGG, U.UTYPE AS UTYPE, COUNT(O.OBJNR) AS ANTENH,
  U.BESKR AS BESKR, U.ISTAT AS ISTAT, U.KODE AS KODE
FROM BRUKERRETT BR
  JOIN FLOY F ON (F.ANLEGG = BR.ANLEGGSNR)
  JOIN UTLEIEOB O ON (O.FLOYKODE = F.FLOYKODE)
  JOIN UTYPE U ON (U.UTYPE = O.UTYPE)
GROUP BY BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET, F.ANLEGG, U.UTYPE, U.BESKR, U.ISTAT, U.KODE;
