-- What a booking database made by an earlier version lacks: run by taurelin-db init after the
-- schema and by taurelin-db upgrade on an existing database, in one transaction. Every
-- statement may run again on a database that has it already.

-- ---- LEIE_PERIODE ---------------------------------------------------------------------------

-- The days an object line spans, as a range that a GiST index can search for overlap: both
-- dates in either order, so that no stored line makes the index fail; a missing date leaves
-- that end open. The statements still decide with the table's own columns; the index only
-- narrows what is read to the lines that can overlap a stay.
CREATE OR REPLACE FUNCTION LEIE_PERIODE(ANKOMST DATE, AVREISE DATE) RETURNS DATERANGE
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT daterange(LEAST(ANKOMST, AVREISE), GREATEST(ANKOMST, AVREISE), '[]')
$$;
CREATE INDEX IF NOT EXISTS LEIE_PERIODE ON LEIE USING gist (LEIE_PERIODE(ANKOMST, AVREISE))
  WHERE LEIETYPE = 'O';

-- ---- LEIE_DAG --------------------------------------------------------------------------------

-- The units that the object lines occupy (LEIETYPE 'O', not cancelled), summed per facility,
-- day and rental type, so that a stay reads one row per day and type it asks about however
-- many lines there are. The trigger below keeps it in step with every write to LEIE, whichever
-- program makes it. LEIE_AVVIK lists the occupying lines that are not counted: a value missing,
-- no night (departure on or before the arrival day), or more than 4000; a stay reads these
-- from LEIE itself, as it reads every line without the counts.
CREATE OR REPLACE FUNCTION LEIE_TELLES(LEIETYPE TEXT, STATUS TEXT, ANLEGG INTEGER,
                                       UTYPE INTEGER, ANTALL INTEGER, ANKOMST DATE,
                                       AVREISE DATE) RETURNS BOOLEAN
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT coalesce(LEIETYPE = 'O' AND (STATUS <> 'A' OR STATUS IS NULL) AND ANLEGG IS NOT NULL
                  AND UTYPE IS NOT NULL AND ANTALL IS NOT NULL AND AVREISE > ANKOMST
                  AND AVREISE - ANKOMST <= 4000, false)
$$;

DO $$
BEGIN
  IF to_regclass('LEIE_DAG') IS NULL THEN
    -- Writers wait until the counts are made and their trigger is there (at commit).
    LOCK TABLE LEIE IN SHARE ROW EXCLUSIVE MODE;
    CREATE TABLE LEIE_DAG (
      ANLEGG       INTEGER      NOT NULL,
      DATO         DATE         NOT NULL,
      UTYPE        INTEGER      NOT NULL,
      ANTALL       BIGINT       NOT NULL,
      PRIMARY KEY (ANLEGG, DATO, UTYPE)
    );
    CREATE TABLE LEIE_AVVIK (
      LINJENR      INTEGER      NOT NULL PRIMARY KEY
    );
    INSERT INTO LEIE_DAG (ANLEGG, DATO, UTYPE, ANTALL)
    SELECT L.ANLEGG, L.ANKOMST + N, L.UTYPE, sum(L.ANTALL)
    FROM LEIE L CROSS JOIN LATERAL generate_series(0, L.AVREISE - L.ANKOMST - 1) N
    WHERE LEIE_TELLES(L.LEIETYPE, L.STATUS, L.ANLEGG, L.UTYPE, L.ANTALL, L.ANKOMST, L.AVREISE)
    GROUP BY 1, 2, 3;
    INSERT INTO LEIE_AVVIK (LINJENR)
    SELECT LINJENR FROM LEIE
    WHERE LEIETYPE = 'O' AND (STATUS <> 'A' OR STATUS IS NULL)
      AND NOT LEIE_TELLES(LEIETYPE, STATUS, ANLEGG, UTYPE, ANTALL, ANKOMST, AVREISE);
  END IF;
END
$$;

CREATE OR REPLACE FUNCTION LEIE_DAG_ENDRET() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP <> 'INSERT' AND OLD.LEIETYPE = 'O' AND (OLD.STATUS <> 'A' OR OLD.STATUS IS NULL) THEN
    IF LEIE_TELLES(OLD.LEIETYPE, OLD.STATUS, OLD.ANLEGG, OLD.UTYPE, OLD.ANTALL, OLD.ANKOMST,
                   OLD.AVREISE) THEN
      UPDATE LEIE_DAG SET ANTALL = ANTALL - OLD.ANTALL
      WHERE ANLEGG = OLD.ANLEGG AND DATO >= OLD.ANKOMST AND DATO < OLD.AVREISE
        AND UTYPE = OLD.UTYPE;
    ELSE
      DELETE FROM LEIE_AVVIK WHERE LINJENR = OLD.LINJENR;
    END IF;
  END IF;
  IF TG_OP <> 'DELETE' AND NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL) THEN
    IF LEIE_TELLES(NEW.LEIETYPE, NEW.STATUS, NEW.ANLEGG, NEW.UTYPE, NEW.ANTALL, NEW.ANKOMST,
                   NEW.AVREISE) THEN
      INSERT INTO LEIE_DAG (ANLEGG, DATO, UTYPE, ANTALL)
      SELECT NEW.ANLEGG, NEW.ANKOMST + N, NEW.UTYPE, NEW.ANTALL
      FROM generate_series(0, NEW.AVREISE - NEW.ANKOMST - 1) N
      ON CONFLICT (ANLEGG, DATO, UTYPE) DO UPDATE SET ANTALL = LEIE_DAG.ANTALL + EXCLUDED.ANTALL;
    ELSE
      INSERT INTO LEIE_AVVIK (LINJENR) VALUES (NEW.LINJENR) ON CONFLICT DO NOTHING;
    END IF;
  END IF;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER LEIE_DAG
  AFTER INSERT OR DELETE OR UPDATE OF LINJENR, LEIETYPE, STATUS, ANKOMST, AVREISE, UTYPE, ANLEGG,
  ANTALL ON LEIE FOR EACH ROW EXECUTE FUNCTION LEIE_DAG_ENDRET();

CREATE OR REPLACE FUNCTION LEIE_DAG_TOMT() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM LEIE_DAG;
  DELETE FROM LEIE_AVVIK;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER LEIE_DAG_TOMT AFTER TRUNCATE ON LEIE
  FOR EACH STATEMENT EXECUTE FUNCTION LEIE_DAG_TOMT();

-- ---- ALLOT_PERIODE -------------------------------------------------------------------------

-- The allotment lines that hold units, searched by the range of their days as the rental lines
-- are, so that a stay reads only the allotment lines that overlap it.
CREATE INDEX IF NOT EXISTS ALLOT_PERIODE ON ALLOTLINJE USING gist (LEIE_PERIODE(FRA, TIL))
  WHERE REQUEST = 'A';

-- ---- LEIE_ALLOT_TALT -----------------------------------------------------------------------

-- The used allotments (LEIE_ALLOT) with the facility, rental type and units of their rental
-- line, ordered by facility and day, so that a stay reads the used allotments of the facility
-- and days it asks about without a lookup of each line in LEIE. A used allotment whose rental
-- line is not there has no row: it takes no units. The triggers keep it in step with every
-- write to LEIE_ALLOT and to LEIE, whichever program makes it; each run of this script builds
-- it afresh.
CREATE TABLE IF NOT EXISTS LEIE_ALLOT_TALT (
  LINJENR      INTEGER      NOT NULL,
  ALLOTLINJENR INTEGER      NOT NULL,
  DATO         DATE         NOT NULL,
  ANLEGG       INTEGER,
  UTYPE        INTEGER,
  ANTALL       INTEGER,
  PRIMARY KEY (LINJENR, ALLOTLINJENR, DATO)
);
CREATE INDEX IF NOT EXISTS LEIE_ALLOT_TALT_DAG ON LEIE_ALLOT_TALT (ANLEGG, DATO)
  INCLUDE (UTYPE, ANTALL, ALLOTLINJENR);

CREATE OR REPLACE FUNCTION LEIE_ALLOT_TALT_ENDRET() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP <> 'INSERT' THEN
    DELETE FROM LEIE_ALLOT_TALT
    WHERE LINJENR = OLD.LINJENR AND ALLOTLINJENR = OLD.ALLOTLINJENR AND DATO = OLD.DATO;
  END IF;
  IF TG_OP <> 'DELETE' THEN
    INSERT INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
    SELECT NEW.LINJENR, NEW.ALLOTLINJENR, NEW.DATO, L.ANLEGG, L.UTYPE, L.ANTALL
    FROM LEIE L WHERE L.LINJENR = NEW.LINJENR
    ON CONFLICT (LINJENR, ALLOTLINJENR, DATO) DO UPDATE
      SET ANLEGG = EXCLUDED.ANLEGG, UTYPE = EXCLUDED.UTYPE, ANTALL = EXCLUDED.ANTALL;
  END IF;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER LEIE_ALLOT_TALT AFTER INSERT OR DELETE OR UPDATE ON LEIE_ALLOT
  FOR EACH ROW EXECUTE FUNCTION LEIE_ALLOT_TALT_ENDRET();

-- A rental line gives its used allotments its values, and takes them along when it goes.
CREATE OR REPLACE FUNCTION LEIE_ALLOT_TALT_LEIE() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP <> 'INSERT' THEN
    DELETE FROM LEIE_ALLOT_TALT WHERE LINJENR = OLD.LINJENR;
  END IF;
  IF TG_OP <> 'DELETE' THEN
    INSERT INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
    SELECT LA.LINJENR, LA.ALLOTLINJENR, LA.DATO, NEW.ANLEGG, NEW.UTYPE, NEW.ANTALL
    FROM LEIE_ALLOT LA WHERE LA.LINJENR = NEW.LINJENR
    ON CONFLICT (LINJENR, ALLOTLINJENR, DATO) DO UPDATE
      SET ANLEGG = EXCLUDED.ANLEGG, UTYPE = EXCLUDED.UTYPE, ANTALL = EXCLUDED.ANTALL;
  END IF;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER LEIE_ALLOT_TALT_LEIE
  AFTER INSERT OR DELETE OR UPDATE OF LINJENR, ANLEGG, UTYPE, ANTALL ON LEIE
  FOR EACH ROW EXECUTE FUNCTION LEIE_ALLOT_TALT_LEIE();

CREATE OR REPLACE FUNCTION LEIE_ALLOT_TALT_TOMT() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM LEIE_ALLOT_TALT;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER LEIE_ALLOT_TALT_TOMT AFTER TRUNCATE ON LEIE_ALLOT
  FOR EACH STATEMENT EXECUTE FUNCTION LEIE_ALLOT_TALT_TOMT();
CREATE OR REPLACE TRIGGER LEIE_ALLOT_TALT_LEIE_TOMT AFTER TRUNCATE ON LEIE
  FOR EACH STATEMENT EXECUTE FUNCTION LEIE_ALLOT_TALT_TOMT();

DELETE FROM LEIE_ALLOT_TALT;
INSERT INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
SELECT LA.LINJENR, LA.ALLOTLINJENR, LA.DATO, L.ANLEGG, L.UTYPE, L.ANTALL
FROM LEIE_ALLOT LA JOIN LEIE L ON L.LINJENR = LA.LINJENR;

-- ---- OPPSETT_VERSJON ------------------------------------------------------------------------

-- A number that every write to the tables of the sold layout (facilities, wings, rental
-- types, objects and the server's rights) raises, so that a server may keep that layout for
-- as long as the number stays.
CREATE TABLE IF NOT EXISTS OPPSETT_VERSJON (
  VERDI        BIGINT       NOT NULL
);
INSERT INTO OPPSETT_VERSJON (VERDI) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM OPPSETT_VERSJON);
CREATE OR REPLACE FUNCTION OPPSETT_ENDRET() RETURNS TRIGGER LANGUAGE plpgsql AS $$
BEGIN
  UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1;
  RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER OPPSETT_ANLEGG AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON ANLEGG
  FOR EACH STATEMENT EXECUTE FUNCTION OPPSETT_ENDRET();
CREATE OR REPLACE TRIGGER OPPSETT_FLOY AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON FLOY
  FOR EACH STATEMENT EXECUTE FUNCTION OPPSETT_ENDRET();
CREATE OR REPLACE TRIGGER OPPSETT_UTYPE AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON UTYPE
  FOR EACH STATEMENT EXECUTE FUNCTION OPPSETT_ENDRET();
CREATE OR REPLACE TRIGGER OPPSETT_UTLEIEOB AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON UTLEIEOB
  FOR EACH STATEMENT EXECUTE FUNCTION OPPSETT_ENDRET();
CREATE OR REPLACE TRIGGER OPPSETT_BRUKERRETT AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON BRUKERRETT
  FOR EACH STATEMENT EXECUTE FUNCTION OPPSETT_ENDRET();

-- ---- HENT_LEDIG_MATRISE --------------------------------------------------------------------

-- Per rental type of facility ANLEGG (-1: of every facility) and per day from FRA to TIL, in
-- that order: the free units, the units held for AGENT (-1: none) and the two together. No
-- rows when TIL is before FRA; at most 366 days. The fifth argument is checked and otherwise
-- not used.
--
-- The server acts as user 0 in module 1 with a right above 1. Units that are not free are
-- the object lines ('O', not cancelled) from arrival up to departure (a line of one day
-- counts that day), the units that allotment lines (REQUEST 'A') still hold, less the
-- allotment units that rental lines have taken (LEIE_ALLOT). An allotment is released as
-- its days come within DAGER_FOER days of today: 'K' day by day, holding the days after the
-- horizon up to TIL, TIL included; 'P' all at once, holding FRA up to TIL, TIL excluded
-- (a line with FRA = TIL holds that day), while FRA lies after the horizon.
CREATE OR REPLACE FUNCTION HENT_LEDIG_MATRISE(FRA DATE, TIL DATE, AGENT NUMERIC, ANLEGG NUMERIC,
                                   ARG5 NUMERIC)
RETURNS TABLE (UTLEIETYPE INTEGER, DATO DATE, LEDIG INTEGER, ALLOTMENT INTEGER,
               TILBUD INTEGER)
LANGUAGE plpgsql STABLE AS $$
#variable_conflict use_column
DECLARE
  forste DATE;
  siste DATE;
  agenten INTEGER;
  anlegget INTEGER;
  idag DATE := current_date;
BEGIN
  forste := ARGUMENT_DATO($1, 'FRA');
  siste := ARGUMENT_DATO($2, 'TIL');
  agenten := ARGUMENT_HELTALL($3, 'AGENT');
  anlegget := ARGUMENT_HELTALL($4, 'ANLEGG');
  PERFORM ARGUMENT_HELTALL($5, 'the fifth argument');
  IF siste < forste THEN
    RETURN;
  END IF;
  IF siste - forste + 1 > 366 THEN
    RAISE EXCEPTION 'the period from FRA to TIL has % days; at most 366 are answered',
      siste - forste + 1;
  END IF;

  RETURN QUERY
  WITH
  -- The (facility, rental type) pairs the server may sell, and the facilities that -1 sums.
  par AS (
    SELECT DISTINCT UB.ANLEGG AS anlegg, UB.UTYPE AS utype FROM UTYPER_BRUKER UB
    WHERE UB.BRUKERID = 0 AND UB.MODUL_ID = 1 AND UB.RETTIGHET > 1
  ),
  anleggene AS (
    SELECT DISTINCT AB.ANLEGGSNR AS anlegg FROM ANLEGG_BRUKER AB
    WHERE AB.BRUKERID = 0 AND AB.MODUL_ID = 1 AND AB.RETTIGHET > 1
  ),
  -- Every change to a count: the pair, whose allotment it is (-1: no agent's), the days from
  -- fra up to til (til = fra: that one day; til before fra: none) and the units.
  endring AS (
    SELECT COALESCE(L.ANLEGG, 0) AS anlegg, COALESCE(L.UTYPE, 0) AS utype, -1 AS akode,
           L.ANKOMST AS fra, L.AVREISE AS til, COALESCE(L.ANTALL, 0) AS antall
    FROM LEIE L LEFT OUTER JOIN BRUKERRETT BR ON (BR.ANLEGGSNR = L.ANLEGG)
    WHERE L.LEIETYPE = 'O' AND (L.STATUS <> 'A' OR L.STATUS IS NULL)
      AND L.ANKOMST <= siste AND L.AVREISE > forste
      AND (anlegget = -1 OR L.ANLEGG = anlegget)
      AND BR.BRUKERID = 0 AND BR.MODUL_ID = 1 AND BR.RETTIGHET > 1
    UNION ALL
    SELECT H.anlegg, H.utype, H.akode,
           CASE WHEN H.allottype = 'K' AND H.horisont >= H.fra THEN H.horisont + 1
                ELSE H.fra END,
           CASE WHEN H.allottype = 'K' THEN H.til + 1 ELSE H.til END,
           H.antall
    FROM (
      SELECT COALESCE(A.ANLEGGSNR, 0) AS anlegg, COALESCE(AL.UTYPE, 0) AS utype,
             COALESCE(A.AKODE, 0) AS akode, AL.ALLOTTYPE AS allottype,
             COALESCE(AL.ANTALL, 0) AS antall, AL.FRA AS fra, AL.TIL AS til,
             idag + COALESCE(AL.DAGER_FOER, 0) AS horisont
      FROM ALLOTLINJE AL
        LEFT OUTER JOIN ALLOT A ON (AL.ALLOT_ID = A.ALLOT_ID)
        LEFT OUTER JOIN BRUKERRETT BR ON (BR.ANLEGGSNR = A.ANLEGGSNR)
      WHERE AL.REQUEST = 'A' AND BR.BRUKERID = 0 AND BR.MODUL_ID = 1 AND BR.RETTIGHET > 1
        AND AL.FRA <= siste AND AL.TIL >= forste
    ) AS H
    WHERE (H.allottype = 'K' AND H.til >= GREATEST(H.fra, H.horisont + 1))
       OR (H.allottype = 'P' AND H.horisont < H.fra)
    UNION ALL
    SELECT B.anlegg, B.utype, B.akode, B.dato, B.dato, -B.antall
    FROM (
      SELECT LA.DATO AS dato, COALESCE(L.ANLEGG, 0) AS anlegg, COALESCE(L.ANTALL, 0) AS antall,
             COALESCE(L.UTYPE, 0) AS utype, AL.ALLOTTYPE AS allottype, AL.FRA AS fra,
             COALESCE(A.AKODE, 0) AS akode,
             idag + COALESCE(AL.DAGER_FOER, 0) AS horisont
      FROM LEIE_ALLOT LA
        LEFT OUTER JOIN LEIE L ON (L.LINJENR = LA.LINJENR)
        LEFT OUTER JOIN ALLOTLINJE AL ON (AL.ALLOTLINJENR = LA.ALLOTLINJENR)
        LEFT OUTER JOIN ALLOT A ON (A.ALLOT_ID = AL.ALLOT_ID)
      WHERE LA.DATO <= siste AND LA.DATO >= forste
    ) AS B
    -- A used unit comes off only where its allotment still holds it; a 'K' line without
    -- FRA has its start before any horizon.
    WHERE (B.allottype = 'K'
           AND B.dato >= CASE WHEN B.fra IS NULL OR B.horisont >= B.fra THEN B.horisont + 1
                              ELSE B.fra END)
       OR (B.allottype = 'P' AND B.horisont < B.fra)
  ),
  -- Each change on each of its days within the period, for the pairs that are sold.
  dagendring AS (
    SELECT E.anlegg, E.utype, forste + d AS dag, E.antall,
           E.akode >= 0 AND (agenten = -1 OR E.akode = agenten) AS agentens
    FROM endring E
      JOIN par P ON (P.anlegg = E.anlegg AND P.utype = E.utype)
      CROSS JOIN LATERAL generate_series(
        GREATEST(E.fra, forste) - forste,
        LEAST(CASE WHEN E.til = E.fra THEN E.fra + 1 ELSE E.til END, siste + 1) - 1 - forste
      ) AS d
    WHERE E.fra IS NOT NULL AND E.til IS NOT NULL AND E.til >= E.fra AND E.antall <> 0
  ),
  belegg AS (
    SELECT DE.anlegg, DE.utype, DE.dag, SUM(DE.antall) AS ikke_ledig,
           COALESCE(SUM(DE.antall) FILTER (WHERE DE.agentens), 0) AS holdt
    FROM dagendring DE
    GROUP BY DE.anlegg, DE.utype, DE.dag
  ),
  -- The units of each type at the facility, or summed over every facility.
  kapasitet AS (
    SELECT UB.UTYPE AS utype, CAST(UB.ANTENH AS BIGINT) AS antenh
    FROM UTYPER_BRUKER UB
    WHERE UB.BRUKERID = 0 AND UB.MODUL_ID = 1 AND UB.RETTIGHET > 1
      AND anlegget <> -1 AND UB.ANLEGG = anlegget
    UNION ALL
    SELECT UB.UTYPE, SUM(UB.ANTENH)
    FROM UTYPER_BRUKER UB
    WHERE UB.BRUKERID = 0 AND UB.MODUL_ID = 1 AND UB.RETTIGHET > 1 AND anlegget = -1
    GROUP BY UB.UTYPE
  ),
  tall AS (
    SELECT K.utype, forste + d AS dag,
           K.antenh - COALESCE(SUM(BE.ikke_ledig), 0) AS ledig,
           CASE WHEN agenten = -1 THEN 0 ELSE COALESCE(SUM(BE.holdt), 0) END AS holdt
    FROM kapasitet K
      CROSS JOIN generate_series(0, siste - forste) AS d
      LEFT JOIN belegg BE ON (BE.utype = K.utype AND BE.dag = forste + d
        AND CASE WHEN anlegget = -1 THEN BE.anlegg IN (SELECT AN.anlegg FROM anleggene AN)
                 ELSE BE.anlegg = anlegget END)
    GROUP BY K.utype, K.antenh, d
  )
  SELECT CAST(T.utype AS INTEGER), CAST(T.dag AS DATE), CAST(T.ledig AS INTEGER),
         CAST(T.holdt AS INTEGER), CAST(T.ledig + T.holdt AS INTEGER)
  FROM tall T
  ORDER BY T.utype, T.dag;
END
$$;

-- The same with the dates as text: 'yyyy-mm-dd' or 'dd.mm.yyyy'. The handlers' call, with its
-- dates bound as local text, comes here.
CREATE OR REPLACE FUNCTION HENT_LEDIG_MATRISE(FRA TEXT, TIL TEXT, AGENT NUMERIC, ANLEGG NUMERIC,
                                   ARG5 NUMERIC)
RETURNS TABLE (UTLEIETYPE INTEGER, DATO DATE, LEDIG INTEGER, ALLOTMENT INTEGER,
               TILBUD INTEGER)
LANGUAGE sql STABLE AS $$
  SELECT * FROM HENT_LEDIG_MATRISE(ARGUMENT_DATO($1, 'FRA'), ARGUMENT_DATO($2, 'TIL'), $3, $4,
                                   $5)
$$;

-- ---- KANAL_BOOKING --------------------------------------------------------------------------

-- The bookings that the calendars of the business's other sales channels brought in, one row per
-- event of a calendar: KANAL, the calendar's group in the channel file, and the event's UID;
-- REFNR, the booking made for it; ANKOMST and AVREISE as the calendar last gave them; SIST_SETT,
-- when it was last seen there (an event seen again as it was is written once a day); KONFLIKT,
-- while the booking shares nights on which its rental type is sold beyond its units, the reference
-- numbers of the other bookings on those nights (blank-separated), else NULL; BEHOLDT, when it was
-- kept although cancelled or gone from its calendar, else NULL. Only the import writes it, and an
-- import changes no booking that is not listed here.
CREATE TABLE IF NOT EXISTS KANAL_BOOKING (
  KANAL        VARCHAR(100) NOT NULL,
  UID          VARCHAR(255) NOT NULL,
  REFNR        INTEGER      NOT NULL,
  ANKOMST      DATE         NOT NULL,
  AVREISE      DATE         NOT NULL,
  SIST_SETT    TIMESTAMP    NOT NULL,
  KONFLIKT     TEXT,
  BEHOLDT      TIMESTAMP,
  PRIMARY KEY (KANAL, UID)
);

-- KANAL_BORTE: the events that a channel's calendar no longer holds, or holds as cancelled, while
-- their rows in KANAL_BOOKING stay (so that an event that comes back gets its own booking back):
-- KANAL and UID as there; BORTE_FRA, the first successful read that lacked it; AVLYST, when its
-- booking was cancelled for it, NULL while the import still waits for evidence that it is gone
-- (a calendar served empty for an hour is no cancellation). A row goes when its event is read
-- again or when its booking has ended.
CREATE TABLE IF NOT EXISTS KANAL_BORTE (
  KANAL        VARCHAR(100) NOT NULL,
  UID          VARCHAR(255) NOT NULL,
  BORTE_FRA    TIMESTAMP    NOT NULL,
  AVLYST       TIMESTAMP,
  PRIMARY KEY (KANAL, UID)
);

-- KANAL_STATUS: a channel whose calendar is held as suspect, because a read dropped most of its
-- future events at once: MISTENKT_FRA, since when the calendar has kept the same shape;
-- MISTENKT_FORM, a digest of that shape (its future events); MISTENKT_BORTE and MISTENKT_AV, how
-- many future events the read dropped, and of how many. A suspect calendar cancels nothing; the
-- row goes when the calendar holds its events again or has kept its shape long enough to be
-- trusted.
CREATE TABLE IF NOT EXISTS KANAL_STATUS (
  KANAL          VARCHAR(100) NOT NULL PRIMARY KEY,
  MISTENKT_FRA   TIMESTAMP    NOT NULL,
  MISTENKT_FORM  VARCHAR(64)  NOT NULL,
  MISTENKT_BORTE INTEGER      NOT NULL,
  MISTENKT_AV    INTEGER      NOT NULL
);

-- EPOST_UT: the outbox, one row per mail that a change calls for, written in the same
-- transaction as that change (a booking that commits has its mail, one that rolls back has
-- none): ID, the mail's own key; HENDELSE, what it is for (booking-confirmed, ...); REFNR, the
-- booking it is about; MOTTAKER and SPRAAK, to whom and in which language; TILSTAND, waiting,
-- sending (claimed by a server until KRAV_TIL), sent or failed; MELDING_ID, the Message-ID it
-- keeps on every attempt; INNHOLD, what the mail tells, kept when it was written (a booking's
-- mail: the booking as its change left it, the recipient, the language, the mail's own
-- values), from which each attempt renders and writes the message (NULL once erased after
-- sending); FORSOK, the attempts so far; NESTE_FORSOK, when it may be tried next; SVAR,
-- the mail server's last answer; OPPRETTET, when it was written, and FERDIG, when it was sent
-- or failed for good.
-- Times are seconds since 1970 (UTC), alike for every server.
CREATE TABLE IF NOT EXISTS EPOST_UT (
  ID            VARCHAR(40)  NOT NULL PRIMARY KEY,
  HENDELSE      VARCHAR(40)  NOT NULL,
  REFNR         INTEGER,
  MOTTAKER      VARCHAR(254) NOT NULL,
  SPRAAK        VARCHAR(8)   NOT NULL,
  TILSTAND      VARCHAR(10)  NOT NULL,
  MELDING_ID    VARCHAR(200) NOT NULL,
  INNHOLD       BYTEA,
  FORSOK        INTEGER      NOT NULL,
  NESTE_FORSOK  BIGINT       NOT NULL,
  KRAV_TIL      BIGINT,
  SVAR          TEXT,
  OPPRETTET     BIGINT       NOT NULL,
  FERDIG        BIGINT
);
CREATE INDEX IF NOT EXISTS EPOST_UT_BOOKING ON EPOST_UT (REFNR, MOTTAKER);
-- One index by state serves the courier's claim (the due mails' times are in it), the outbox's
-- counts, read after every round of delivery (from this index alone, never from the rows and
-- their messages), and the lists by state, newest first. One, not two: every index is a page
-- more that the booking's transaction writes with its mail. It replaces the first two.
DROP INDEX IF EXISTS EPOST_UT_NESTE;
DROP INDEX IF EXISTS EPOST_UT_TELLING;
CREATE INDEX IF NOT EXISTS EPOST_UT_TILSTAND
  ON EPOST_UT (TILSTAND, OPPRETTET, NESTE_FORSOK, FERDIG);
-- A booking's reminder is written once, also when two servers look for due reminders at once.
CREATE UNIQUE INDEX IF NOT EXISTS EPOST_UT_PAAMINNELSE ON EPOST_UT (REFNR)
  WHERE HENDELSE = 'reminder';

-- EPOST_NY: the outbox's intake, rows of EPOST_UT's form. A change writes its mails here, in
-- its own transaction; the courier moves them into EPOST_UT before each claim, so this table
-- holds only the mails of the last moments and is read whole. Why a table beside it: a row
-- here writes one page with the booking's commit, where one in EPOST_UT writes four (the
-- table, its key and its two indexes), and those pages are most of what a mail adds to the
-- booking's time. A booking's reminder, which the index above keeps to one, goes straight
-- into EPOST_UT.
CREATE TABLE IF NOT EXISTS EPOST_NY (
  ID            VARCHAR(40)  NOT NULL,
  HENDELSE      VARCHAR(40)  NOT NULL,
  REFNR         INTEGER,
  MOTTAKER      VARCHAR(254) NOT NULL,
  SPRAAK        VARCHAR(8)   NOT NULL,
  TILSTAND      VARCHAR(10)  NOT NULL,
  MELDING_ID    VARCHAR(200) NOT NULL,
  INNHOLD       BYTEA,
  FORSOK        INTEGER      NOT NULL,
  NESTE_FORSOK  BIGINT       NOT NULL,
  KRAV_TIL      BIGINT,
  SVAR          TEXT,
  OPPRETTET     BIGINT       NOT NULL,
  FERDIG        BIGINT
);

-- BEKREFT_VENTER: holds whose guest has given a booker but not yet confirmed the booking from
-- the mail it was sent (with GuestConfirmByMail on). REFNR, the hold; BESTNR, the booker written
-- for it, linked to the booking only when the guest confirms, so until then the booking stays
-- a hold to every program and runs out as one; AKODE, the agent to link with it; NOKKEL, the
-- digest (SHA-256, hex) of the single-use key the mail carries; SPRAAK, the language the guest
-- booked in; OPPRETTET, when (seconds since 1970). The row goes when the guest confirms.
CREATE TABLE IF NOT EXISTS BEKREFT_VENTER (
  REFNR         INTEGER      NOT NULL PRIMARY KEY,
  BESTNR        INTEGER      NOT NULL,
  AKODE         VARCHAR(20)  NOT NULL,
  NOKKEL        VARCHAR(64)  NOT NULL,
  SPRAAK        VARCHAR(8)   NOT NULL,
  OPPRETTET     BIGINT       NOT NULL
);
