-- The booking database on PostgreSQL: the tables, keys and indexes of the SQLite schema, the
-- views of what a user may sell, the number series and the procedures.
--
-- Names are written unquoted, so PostgreSQL keeps them in lower case and every statement
-- that writes them unquoted, in whatever case, finds them. Dates are DATE, amounts
-- NUMERIC(15,2). The one-letter codes are VARCHAR(1) rather than CHAR(1): PostgreSQL pads a
-- CHAR with blanks, so an empty code would read back as a blank, where SQLite gives back
-- what was written.
--
-- The number series are sequences. LAGE_REFNR, LAGE_LINJENR and LAGE_BESTNR are views that
-- draw the next number each time they are read ("SELECT REFNR FROM LAGE_REFNR"). TELLER
-- shows the last number handed out of each series, as the SQLite table of that name does,
-- and an update of it moves the series on, so that data written for either backend sets
-- the numbers the same way.
--
-- The procedures give the rows of their SQLite twins. Each takes its dates as DATE values
-- or as text, 'yyyy-mm-dd' or 'dd.mm.yyyy' whatever the session's DateStyle, and its
-- numbers as whole numbers; any other argument, NULL included, fails the statement with a
-- message that names the argument.

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

CREATE TABLE PENSJON (
  PENSJON      INTEGER      NOT NULL PRIMARY KEY,
  BESKR        VARCHAR(40),
  PRISMET      INTEGER      NOT NULL DEFAULT 0
);

CREATE TABLE PRIS (
  PRIS_ID      INTEGER      NOT NULL PRIMARY KEY,
  UTYPE        INTEGER      NOT NULL REFERENCES UTYPE (UTYPE),
  PENSJON      INTEGER      REFERENCES PENSJON (PENSJON),
  START_DAG    INTEGER      NOT NULL DEFAULT 0,
  ANT_DAGER    INTEGER      NOT NULL DEFAULT 0,
  WEB          VARCHAR(1)   DEFAULT 'N',
  BESKR        VARCHAR(60)
);
CREATE INDEX PRIS_UTYPE ON PRIS (UTYPE);

CREATE TABLE PRISLINJE (
  PRIS_ID      INTEGER      NOT NULL REFERENCES PRIS (PRIS_ID),
  FRA_DATO     DATE         NOT NULL,
  TIL_DATO     DATE,
  PRIS_UKE     NUMERIC(15,2) NOT NULL DEFAULT 0,
  PRIS_WEEK    NUMERIC(15,2) NOT NULL DEFAULT 0,
  PRIMARY KEY (PRIS_ID, FRA_DATO)
);
CREATE INDEX PRISLINJE_TIL_DATO ON PRISLINJE (TIL_DATO);

CREATE TABLE BETFORM (
  BKODE        VARCHAR(10)  NOT NULL PRIMARY KEY,
  BESKR        VARCHAR(40),
  GYLDIG       VARCHAR(1)
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
  RABATT        NUMERIC(15,2) DEFAULT 0,
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

CREATE TABLE LEIE (
  LINJENR      INTEGER      NOT NULL PRIMARY KEY,
  REFNR        INTEGER      NOT NULL REFERENCES BOOKING (REFNR),
  BESTNR       INTEGER,
  ANKOMST      DATE,
  AVREISE      DATE,
  OBJNR        VARCHAR(10),
  UTYPE        INTEGER,
  FLOYKODE     VARCHAR(4),
  LEIETYPE     VARCHAR(1),
  TIL          VARCHAR(1),
  ETTER        VARCHAR(1),
  LINJE_EIER   INTEGER,
  ANTALL       INTEGER      DEFAULT 0,
  ANT_VOKSEN   INTEGER      DEFAULT 0,
  ANT_BARN     INTEGER      DEFAULT 0,
  A_PRIS       NUMERIC(15,2) DEFAULT 0,
  VKODE        VARCHAR(10),
  UT_FAKT      VARCHAR(1),
  PENSJON      INTEGER,
  FORMAL       INTEGER,
  RABATT       NUMERIC(15,2),
  PRISKODE     INTEGER,
  STATKODE     VARCHAR(2),
  PRISTYPE     VARCHAR(1),
  ANLEGG       INTEGER,
  STATUS       VARCHAR(1),
  FAKT_STAT    VARCHAR(2),
  TEKST        VARCHAR(255),
  FRITEKST     VARCHAR(255),
  ANT_GRATIS   INTEGER      DEFAULT 0,
  AG_PROV      NUMERIC(15,2)
);
CREATE INDEX LEIE_REFNR ON LEIE (REFNR);
CREATE INDEX LEIE_OPPHOLD ON LEIE (LEIETYPE, AVREISE, ANKOMST);

CREATE TABLE ALLOT (
  ALLOT_ID     INTEGER      NOT NULL PRIMARY KEY,
  AKODE        INTEGER,
  ANLEGGSNR    INTEGER      REFERENCES ANLEGG (ANLEGGSNR)
);

CREATE TABLE ALLOTLINJE (
  ALLOTLINJENR INTEGER      NOT NULL PRIMARY KEY,
  ALLOT_ID     INTEGER      NOT NULL REFERENCES ALLOT (ALLOT_ID),
  ALLOTTYPE    VARCHAR(1),
  ANTALL       INTEGER      DEFAULT 0,
  DAGER_FOER   INTEGER      DEFAULT 0,
  FRA          DATE,
  TIL          DATE,
  UTYPE        INTEGER,
  REQUEST      VARCHAR(1)   DEFAULT 'A'
);
CREATE INDEX ALLOTLINJE_ALLOT_ID ON ALLOTLINJE (ALLOT_ID);
CREATE INDEX ALLOTLINJE_TIL ON ALLOTLINJE (TIL);

CREATE TABLE LEIE_ALLOT (
  LINJENR      INTEGER      NOT NULL,
  ALLOTLINJENR INTEGER      NOT NULL,
  DATO         DATE         NOT NULL,
  PRIMARY KEY (LINJENR, ALLOTLINJENR, DATO)
);
CREATE INDEX LEIE_ALLOT_DATO ON LEIE_ALLOT (DATO);

CREATE TABLE BRUKERRETT (
  ANLEGGSNR    INTEGER      NOT NULL REFERENCES ANLEGG (ANLEGGSNR),
  BRUKERID     INTEGER      NOT NULL,
  MODUL_ID     INTEGER      NOT NULL,
  RETTIGHET    INTEGER      NOT NULL DEFAULT 0,
  PRIMARY KEY (ANLEGGSNR, BRUKERID, MODUL_ID)
);

CREATE VIEW ANLEGG_BRUKER AS
SELECT
  BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET,
  A.ANLEGGSNR, A.ANLEGGSNAVN
FROM BRUKERRETT BR
  JOIN ANLEGG A ON (A.ANLEGGSNR = BR.ANLEGGSNR);

-- ANTENH is a count, made INTEGER as on SQLite, so that its sum stays a whole number.
CREATE VIEW UTYPER_BRUKER AS
SELECT
  BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET,
  F.ANLEGG AS ANLEGG, U.UTYPE AS UTYPE, CAST(COUNT(O.OBJNR) AS INTEGER) AS ANTENH,
  U.BESKR AS BESKR, U.ISTAT AS ISTAT, U.KODE AS KODE
FROM BRUKERRETT BR
  JOIN FLOY F ON (F.ANLEGG = BR.ANLEGGSNR)
  JOIN UTLEIEOB O ON (O.FLOYKODE = F.FLOYKODE)
  JOIN UTYPE U ON (U.UTYPE = O.UTYPE)
GROUP BY BR.BRUKERID, BR.MODUL_ID, BR.RETTIGHET, F.ANLEGG, U.UTYPE, U.BESKR, U.ISTAT, U.KODE;

-- ---- Number series -------------------------------------------------------------------------

-- A sequence starts unused at 1; MINVALUE 0 lets a series be set back to "nothing handed
-- out yet".
CREATE SEQUENCE REFNR_SEQ AS INTEGER MINVALUE 0 START 1;
CREATE SEQUENCE LINJENR_SEQ AS INTEGER MINVALUE 0 START 1;
CREATE SEQUENCE BESTNR_SEQ AS INTEGER MINVALUE 0 START 1;

CREATE VIEW LAGE_REFNR AS SELECT CAST(nextval('REFNR_SEQ') AS INTEGER) AS REFNR;
CREATE VIEW LAGE_LINJENR AS SELECT CAST(nextval('LINJENR_SEQ') AS INTEGER) AS LINJENR;
CREATE VIEW LAGE_BESTNR AS SELECT CAST(nextval('BESTNR_SEQ') AS INTEGER) AS BESTNR;

-- The last number handed out of each series (0: none yet).
CREATE VIEW TELLER AS
SELECT CAST('REFNR' AS VARCHAR(20)) AS NAVN,
       CAST(CASE WHEN is_called THEN last_value ELSE last_value - 1 END AS INTEGER) AS VERDI
FROM REFNR_SEQ
UNION ALL
SELECT 'LINJENR', CAST(CASE WHEN is_called THEN last_value ELSE last_value - 1 END AS INTEGER)
FROM LINJENR_SEQ
UNION ALL
SELECT 'BESTNR', CAST(CASE WHEN is_called THEN last_value ELSE last_value - 1 END AS INTEGER)
FROM BESTNR_SEQ;

-- "UPDATE TELLER SET VERDI = n WHERE NAVN = 'REFNR'": the next REFNR is n + 1. A series keeps
-- its name.
CREATE FUNCTION TELLER_SETT() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF NEW.NAVN IS DISTINCT FROM OLD.NAVN THEN
    RAISE EXCEPTION 'the number series % cannot be renamed', OLD.NAVN;
  END IF;
  IF NEW.VERDI IS NULL THEN
    RAISE EXCEPTION 'the number series % needs a last number', OLD.NAVN;
  END IF;
  PERFORM setval(CAST(OLD.NAVN || '_SEQ' AS REGCLASS), NEW.VERDI);
  RETURN NEW;
END
$$;
CREATE TRIGGER TELLER_SETT INSTEAD OF UPDATE ON TELLER
  FOR EACH ROW EXECUTE FUNCTION TELLER_SETT();

-- ---- Arguments of the procedures -----------------------------------------------------------

-- A date argument given as text: 'yyyy-mm-dd' or 'dd.mm.yyyy', exactly, and a real day.
CREATE FUNCTION ARGUMENT_DATO(VERDI TEXT, NAVN TEXT) RETURNS DATE
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  deler TEXT[];
BEGIN
  IF VERDI ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN
    deler := ARRAY[substr(VERDI, 1, 4), substr(VERDI, 6, 2), substr(VERDI, 9, 2)];
  ELSIF VERDI ~ '^[0-9]{2}\.[0-9]{2}\.[0-9]{4}$' THEN
    deler := ARRAY[substr(VERDI, 7, 4), substr(VERDI, 4, 2), substr(VERDI, 1, 2)];
  END IF;
  IF deler IS NOT NULL THEN
    BEGIN
      RETURN make_date(CAST(deler[1] AS INTEGER), CAST(deler[2] AS INTEGER),
                       CAST(deler[3] AS INTEGER));
    EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format THEN
      NULL;  -- no such day: reported below
    END;
  END IF;
  RAISE EXCEPTION '% must be a date (yyyy-mm-dd or dd.mm.yyyy), not %', NAVN,
    COALESCE(VERDI, 'NULL');
END
$$;

-- A date argument given as a date: anything but NULL.
CREATE FUNCTION ARGUMENT_DATO(VERDI DATE, NAVN TEXT) RETURNS DATE
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF VERDI IS NULL THEN
    RAISE EXCEPTION '% must be a date (yyyy-mm-dd or dd.mm.yyyy), not NULL', NAVN;
  END IF;
  RETURN VERDI;
END
$$;

-- A number argument: a whole number written without a fraction, within INTEGER.
CREATE FUNCTION ARGUMENT_HELTALL(VERDI NUMERIC, NAVN TEXT) RETURNS INTEGER
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF VERDI IS NULL OR scale(VERDI) > 0 OR VERDI < -2147483648 OR VERDI > 2147483647 THEN
    RAISE EXCEPTION '% must be a whole number, not %', NAVN,
      COALESCE(CAST(VERDI AS TEXT), 'NULL');
  END IF;
  RETURN CAST(VERDI AS INTEGER);
END
$$;

-- ---- BEREGN_WEB_PRISMATRISE ----------------------------------------------------------------

-- One row per web price of rental type UTYPEN (in the order of PRIS_ID) that prices every
-- night from ANK up to AVR, departure excluded; no row when AVR is not after ANK. Each night
-- takes the covering price line with the latest start. A price of ANT_DAGER above 1 is sold
-- in packages of that many nights, the last perhaps cut short, each at the amount of the
-- line that covers its first night; any other is sold night by night, a Friday or Saturday
-- night at PRIS_WEEK when that is above 0. FLTPRISMND is the amount of the first night's
-- line. A total beyond what 64 bits hold in hundredths fails, as on SQLite. REFDATO and
-- ANLEGGET are checked and otherwise not used: prices belong to the rental type alone.
CREATE FUNCTION BEREGN_WEB_PRISMATRISE(REFDATO DATE, ANK DATE, AVR DATE, UTYPEN NUMERIC,
                                       ANLEGGET NUMERIC)
RETURNS TABLE (INTPRISKODE INTEGER, STRBESKR VARCHAR(40), FLTTOTALPRISER NUMERIC(15,2),
               FLTPRISMND NUMERIC(15,2), FLTPENSJON NUMERIC(15,2), CHRPRISTYPE VARCHAR(1),
               intPRISMET INTEGER, intSTART_DAG INTEGER, intANT_DAGER INTEGER)
LANGUAGE plpgsql STABLE
-- One plan for every call: planning the statement anew for each stay cost several times
-- what running it does.
SET plan_cache_mode = force_generic_plan
AS $$
#variable_conflict use_column
DECLARE
  ankomst DATE;
  avreise DATE;
  utleietype INTEGER;
  prisen RECORD;
BEGIN
  -- Checked in order, so that the first bad argument is the one reported.
  PERFORM ARGUMENT_DATO($1, 'REFDATO');
  ankomst := ARGUMENT_DATO($2, 'ANK');
  avreise := ARGUMENT_DATO($3, 'AVR');
  utleietype := ARGUMENT_HELTALL($4, 'UTYPEN');
  PERFORM ARGUMENT_HELTALL($5, 'ANLEGGET');
  IF avreise <= ankomst THEN
    RETURN;
  END IF;
  -- Every price of the type in one statement: the price lines that touch the stay are read
  -- once, and each night takes the latest of them that covers it.
  FOR prisen IN
    WITH prisene AS (
      SELECT P.PRIS_ID, P.PENSJON, P.START_DAG, P.ANT_DAGER, PJ.BESKR, PJ.PRISMET
      FROM PRIS P LEFT OUTER JOIN PENSJON PJ ON (PJ.PENSJON = P.PENSJON)
      WHERE P.UTYPE = utleietype AND P.WEB = 'J'
    ),
    linjer AS (
      SELECT PL.PRIS_ID, PL.FRA_DATO, PL.TIL_DATO, PL.PRIS_UKE, PL.PRIS_WEEK
      FROM prisene JOIN PRISLINJE PL ON (PL.PRIS_ID = prisene.PRIS_ID)
      WHERE PL.FRA_DATO < avreise AND (PL.TIL_DATO IS NULL OR PL.TIL_DATO > ankomst)
    ),
    pris_natt AS (
      SELECT DISTINCT ON (prisene.PRIS_ID, natt.n)
             prisene.PRIS_ID, prisene.ANT_DAGER, natt.n, natt.dag, linjer.PRIS_UKE,
             linjer.PRIS_WEEK
      FROM prisene
        CROSS JOIN (SELECT n, ankomst + n AS dag
                    FROM generate_series(0, avreise - ankomst - 1) AS n) AS natt
        LEFT JOIN linjer ON (linjer.PRIS_ID = prisene.PRIS_ID AND linjer.FRA_DATO <= natt.dag
                             AND (linjer.TIL_DATO IS NULL OR natt.dag < linjer.TIL_DATO))
      ORDER BY prisene.PRIS_ID, natt.n, linjer.FRA_DATO DESC
    ),
    belop AS (
      SELECT PRIS_ID, n, PRIS_UKE,
             CASE
               WHEN ANT_DAGER > 1 THEN CASE WHEN n % ANT_DAGER = 0 THEN PRIS_UKE ELSE 0 END
               WHEN EXTRACT(ISODOW FROM dag) IN (5, 6) AND PRIS_WEEK > 0 THEN PRIS_WEEK
               ELSE PRIS_UKE
             END AS belop
      FROM pris_natt
    ),
    lopende AS (
      SELECT PRIS_ID, n, PRIS_UKE, belop,
             SUM(belop) OVER (PARTITION BY PRIS_ID ORDER BY n) AS sum_hittil
      FROM belop
    ),
    summer AS (
      SELECT PRIS_ID, bool_and(PRIS_UKE IS NOT NULL) AS dekket, SUM(belop) AS total,
             MAX(sum_hittil) AS hoyest, MIN(sum_hittil) AS lavest,
             MAX(PRIS_UKE) FILTER (WHERE n = 0) AS forste
      FROM lopende GROUP BY PRIS_ID
    )
    SELECT prisene.*, summer.dekket, summer.total, summer.hoyest, summer.lavest, summer.forste
    FROM prisene JOIN summer ON (summer.PRIS_ID = prisene.PRIS_ID)
    ORDER BY prisene.PRIS_ID
  LOOP
    CONTINUE WHEN NOT prisen.dekket;
    IF prisen.hoyest * 100 > 9223372036854775807
       OR prisen.lavest * 100 < -9223372036854775808 THEN
      RAISE EXCEPTION 'the price of the stay at price % is out of range', prisen.PRIS_ID;
    END IF;
    INTPRISKODE := prisen.PRIS_ID;
    STRBESKR := prisen.BESKR;
    FLTTOTALPRISER := prisen.total;
    FLTPRISMND := prisen.forste;
    FLTPENSJON := prisen.PENSJON;
    CHRPRISTYPE := CASE
                     WHEN prisen.START_DAG = 7 AND prisen.ANT_DAGER = 7 THEN 'U'
                     WHEN prisen.START_DAG = 7 AND prisen.ANT_DAGER = 5 THEN 'M'
                     WHEN prisen.START_DAG = 5 AND prisen.ANT_DAGER = 2 THEN 'H'
                     WHEN prisen.START_DAG = 0 AND prisen.ANT_DAGER = 1 THEN 'D'
                     ELSE 'P'
                   END;
    intPRISMET := prisen.PRISMET;
    intSTART_DAG := prisen.START_DAG;
    intANT_DAGER := prisen.ANT_DAGER;
    RETURN NEXT;
  END LOOP;
END
$$;

-- The same with the dates as text: 'yyyy-mm-dd' or 'dd.mm.yyyy'. Text and bound values that
-- carry no type of their own come here.
CREATE FUNCTION BEREGN_WEB_PRISMATRISE(REFDATO TEXT, ANK TEXT, AVR TEXT, UTYPEN NUMERIC,
                                       ANLEGGET NUMERIC)
RETURNS TABLE (INTPRISKODE INTEGER, STRBESKR VARCHAR(40), FLTTOTALPRISER NUMERIC(15,2),
               FLTPRISMND NUMERIC(15,2), FLTPENSJON NUMERIC(15,2), CHRPRISTYPE VARCHAR(1),
               intPRISMET INTEGER, intSTART_DAG INTEGER, intANT_DAGER INTEGER)
LANGUAGE sql STABLE AS $$
  SELECT * FROM BEREGN_WEB_PRISMATRISE(ARGUMENT_DATO($1, 'REFDATO'), ARGUMENT_DATO($2, 'ANK'),
                                       ARGUMENT_DATO($3, 'AVR'), $4, $5)
$$;

