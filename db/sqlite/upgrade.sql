-- What a booking database made by an earlier version lacks: run by taurelin-db init after the
-- schema and by taurelin-db upgrade on an existing database, in one transaction. Every
-- statement may run again on a database that has it already.
--
-- LEIE_PERIODE: an R*Tree over the object lines that occupy units (LEIETYPE 'O', not
-- cancelled), so that a stay reads only the lines that overlap it. Each line is a box of
-- days and facility numbers. A day is the integer yyyymmdd of the text's first ten
-- characters, which orders as the stored text does; the box spans both dates in either
-- order. A line whose date or facility is not stored as such (NULL, a number, a local date)
-- spans every day or every facility, so it is always looked at: the index only narrows what
-- is read, the statements still decide with the table's own columns. The triggers keep it in
-- step with every write to LEIE, whichever program makes it; a REPLACE that deletes a line
-- without its delete trigger leaves a box whose line no longer matches, which costs a read
-- and nothing else.
CREATE VIRTUAL TABLE IF NOT EXISTS LEIE_PERIODE USING rtree_i32(
  LINJENR, FRA, TIL, ANLEGG_FRA, ANLEGG_TIL
);

CREATE TRIGGER IF NOT EXISTS LEIE_PERIODE_NY AFTER INSERT ON LEIE
BEGIN
  DELETE FROM LEIE_PERIODE WHERE LINJENR = NEW.LINJENR;
  INSERT INTO LEIE_PERIODE (LINJENR, FRA, TIL, ANLEGG_FRA, ANLEGG_TIL)
  SELECT NEW.LINJENR,
         coalesce(min(D.ANKOMST, D.AVREISE), -2147483648),
         coalesce(max(D.ANKOMST, D.AVREISE), 2147483647),
         coalesce(D.ANLEGG, -2147483648),
         coalesce(D.ANLEGG, 2147483647)
  FROM (SELECT
          CASE WHEN typeof(NEW.ANKOMST) = 'text' AND NEW.ANKOMST GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.ANKOMST, 1, 4) || substr(NEW.ANKOMST, 6, 2) || substr(NEW.ANKOMST, 9, 2) AS INTEGER) END AS ANKOMST,
          CASE WHEN typeof(NEW.AVREISE) = 'text' AND NEW.AVREISE GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.AVREISE, 1, 4) || substr(NEW.AVREISE, 6, 2) || substr(NEW.AVREISE, 9, 2) AS INTEGER) END AS AVREISE,
          CASE WHEN typeof(NEW.ANLEGG) = 'integer' AND NEW.ANLEGG BETWEEN -2147483648 AND 2147483647
               THEN NEW.ANLEGG END AS ANLEGG) AS D
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL);
END;

CREATE TRIGGER IF NOT EXISTS LEIE_PERIODE_ENDRET AFTER UPDATE ON LEIE
BEGIN
  DELETE FROM LEIE_PERIODE WHERE LINJENR = OLD.LINJENR;
  INSERT INTO LEIE_PERIODE (LINJENR, FRA, TIL, ANLEGG_FRA, ANLEGG_TIL)
  SELECT NEW.LINJENR,
         coalesce(min(D.ANKOMST, D.AVREISE), -2147483648),
         coalesce(max(D.ANKOMST, D.AVREISE), 2147483647),
         coalesce(D.ANLEGG, -2147483648),
         coalesce(D.ANLEGG, 2147483647)
  FROM (SELECT
          CASE WHEN typeof(NEW.ANKOMST) = 'text' AND NEW.ANKOMST GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.ANKOMST, 1, 4) || substr(NEW.ANKOMST, 6, 2) || substr(NEW.ANKOMST, 9, 2) AS INTEGER) END AS ANKOMST,
          CASE WHEN typeof(NEW.AVREISE) = 'text' AND NEW.AVREISE GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.AVREISE, 1, 4) || substr(NEW.AVREISE, 6, 2) || substr(NEW.AVREISE, 9, 2) AS INTEGER) END AS AVREISE,
          CASE WHEN typeof(NEW.ANLEGG) = 'integer' AND NEW.ANLEGG BETWEEN -2147483648 AND 2147483647
               THEN NEW.ANLEGG END AS ANLEGG) AS D
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL);
END;

CREATE TRIGGER IF NOT EXISTS LEIE_PERIODE_SLETTET AFTER DELETE ON LEIE
BEGIN
  DELETE FROM LEIE_PERIODE WHERE LINJENR = OLD.LINJENR;
END;

-- The lines that were there before the index: the update trigger's work, done once for each.
UPDATE LEIE SET LINJENR = LINJENR
WHERE LEIETYPE = 'O' AND (STATUS <> 'A' OR STATUS IS NULL)
  AND LINJENR NOT IN (SELECT LINJENR FROM LEIE_PERIODE);

-- LEIE_DAG: the units that the object lines occupy (LEIETYPE 'O', not cancelled), summed per
-- facility, day and rental type, so that a stay reads one row per day and type it asks about
-- however many lines there are. DATO is the day's Julian day number. The triggers below keep
-- it in step with every write to LEIE, whichever program makes it:
-- LEIE_TALT holds what was counted for each line (its facility, type, days FRA up to TIL, as
--   Julian day numbers, and units), and a line's counts are taken off by that record, not by
--   the row's old values: so a REPLACE that removes a line without its delete trigger has the
--   removed line's counts taken off when its successor is counted.
-- LEIE_AVVIK lists the occupying lines that are not counted, because a value is not stored
--   as such (a date that is no 'yyyy-mm-dd' text of a real day, a number that is no integer)
--   or the line has no night (it departs on or before its arrival day) or more than 4000.
--   A stay reads these from LEIE itself, as it reads every line without the counts.
-- LEIE_DAG_NR holds the numbers 0 to 3999: the nights of a line, which a trigger cannot count
--   otherwise.
-- A line's counts are taken off the days its record names, each value of the record looked up
-- by itself: UPDATE ... FROM would gather the rows in a temporary table, whose pages the
-- writing program allocates and frees again on every write of a line (more than doubling the
-- cost of a booking that another program writes). The triggers of that first form were named
-- without the 2: they are dropped, and the new names tell check and upgrade that a database
-- which has only them is to be upgraded.
CREATE TABLE IF NOT EXISTS LEIE_DAG_NR (
  N            INTEGER      NOT NULL PRIMARY KEY
);
INSERT OR IGNORE INTO LEIE_DAG_NR (N)
WITH RECURSIVE R(N) AS (SELECT 0 UNION ALL SELECT N + 1 FROM R WHERE N < 3999)
SELECT N FROM R;

CREATE TABLE IF NOT EXISTS LEIE_DAG (
  ANLEGG       INTEGER      NOT NULL,
  DATO         INTEGER      NOT NULL,
  UTYPE        INTEGER      NOT NULL,
  ANTALL       INTEGER      NOT NULL,
  PRIMARY KEY (ANLEGG, DATO, UTYPE)
) WITHOUT ROWID;

CREATE TABLE IF NOT EXISTS LEIE_TALT (
  LINJENR      INTEGER      NOT NULL PRIMARY KEY,
  ANLEGG       INTEGER      NOT NULL,
  UTYPE        INTEGER      NOT NULL,
  FRA          INTEGER      NOT NULL,
  TIL          INTEGER      NOT NULL,
  ANTALL       INTEGER      NOT NULL
);

CREATE TABLE IF NOT EXISTS LEIE_AVVIK (
  LINJENR      INTEGER      NOT NULL PRIMARY KEY
);

DROP TRIGGER IF EXISTS LEIE_DAG_NY;
CREATE TRIGGER IF NOT EXISTS LEIE_DAG_NY2 AFTER INSERT ON LEIE
BEGIN
  UPDATE LEIE_DAG
  SET ANTALL = ANTALL - (SELECT T.ANTALL FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
  WHERE ANLEGG = (SELECT T.ANLEGG FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND UTYPE = (SELECT T.UTYPE FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND DATO >= (SELECT T.FRA FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND DATO < (SELECT T.TIL FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR);
  DELETE FROM LEIE_TALT WHERE LINJENR = NEW.LINJENR;
  DELETE FROM LEIE_AVVIK WHERE LINJENR = NEW.LINJENR;
  INSERT INTO LEIE_TALT (LINJENR, ANLEGG, UTYPE, FRA, TIL, ANTALL)
  SELECT NEW.LINJENR, NEW.ANLEGG, NEW.UTYPE, CAST(julianday(NEW.ANKOMST) + 0.5 AS INTEGER),
         CAST(julianday(NEW.AVREISE) + 0.5 AS INTEGER), NEW.ANTALL
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL)
    AND typeof(NEW.ANLEGG) = 'integer' AND NEW.ANLEGG BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.UTYPE) = 'integer' AND NEW.UTYPE BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.ANTALL) = 'integer' AND NEW.ANTALL BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.ANKOMST) = 'text' AND date(NEW.ANKOMST) IS NEW.ANKOMST
    AND typeof(NEW.AVREISE) = 'text' AND date(NEW.AVREISE) IS NEW.AVREISE
    AND NEW.AVREISE > NEW.ANKOMST AND julianday(NEW.AVREISE) - julianday(NEW.ANKOMST) <= 4000;
  INSERT INTO LEIE_DAG (ANLEGG, DATO, UTYPE, ANTALL)
  SELECT T.ANLEGG, T.FRA + D.N, T.UTYPE, T.ANTALL
  FROM LEIE_TALT T JOIN LEIE_DAG_NR D ON D.N < T.TIL - T.FRA
  WHERE T.LINJENR = NEW.LINJENR
  ON CONFLICT (ANLEGG, DATO, UTYPE) DO UPDATE SET ANTALL = LEIE_DAG.ANTALL + excluded.ANTALL;
  INSERT INTO LEIE_AVVIK (LINJENR)
  SELECT NEW.LINJENR
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL)
    AND NOT EXISTS (SELECT 1 FROM LEIE_TALT WHERE LINJENR = NEW.LINJENR);
END;

DROP TRIGGER IF EXISTS LEIE_DAG_ENDRET;
CREATE TRIGGER IF NOT EXISTS LEIE_DAG_ENDRET2
AFTER UPDATE OF LINJENR, LEIETYPE, STATUS, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL ON LEIE
BEGIN
  UPDATE LEIE_DAG
  SET ANTALL = ANTALL - (SELECT T.ANTALL FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
  WHERE ANLEGG = (SELECT T.ANLEGG FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND UTYPE = (SELECT T.UTYPE FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND DATO >= (SELECT T.FRA FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND DATO < (SELECT T.TIL FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR);
  DELETE FROM LEIE_TALT WHERE LINJENR = OLD.LINJENR;
  DELETE FROM LEIE_AVVIK WHERE LINJENR = OLD.LINJENR;
  -- A new number that another line had: an UPDATE OR REPLACE removed that line.
  UPDATE LEIE_DAG
  SET ANTALL = ANTALL - (SELECT T.ANTALL FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
  WHERE NEW.LINJENR <> OLD.LINJENR
    AND ANLEGG = (SELECT T.ANLEGG FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND UTYPE = (SELECT T.UTYPE FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND DATO >= (SELECT T.FRA FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR)
    AND DATO < (SELECT T.TIL FROM LEIE_TALT T WHERE T.LINJENR = NEW.LINJENR);
  DELETE FROM LEIE_TALT WHERE NEW.LINJENR <> OLD.LINJENR AND LINJENR = NEW.LINJENR;
  DELETE FROM LEIE_AVVIK WHERE NEW.LINJENR <> OLD.LINJENR AND LINJENR = NEW.LINJENR;
  INSERT INTO LEIE_TALT (LINJENR, ANLEGG, UTYPE, FRA, TIL, ANTALL)
  SELECT NEW.LINJENR, NEW.ANLEGG, NEW.UTYPE, CAST(julianday(NEW.ANKOMST) + 0.5 AS INTEGER),
         CAST(julianday(NEW.AVREISE) + 0.5 AS INTEGER), NEW.ANTALL
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL)
    AND typeof(NEW.ANLEGG) = 'integer' AND NEW.ANLEGG BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.UTYPE) = 'integer' AND NEW.UTYPE BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.ANTALL) = 'integer' AND NEW.ANTALL BETWEEN -2147483648 AND 2147483647
    AND typeof(NEW.ANKOMST) = 'text' AND date(NEW.ANKOMST) IS NEW.ANKOMST
    AND typeof(NEW.AVREISE) = 'text' AND date(NEW.AVREISE) IS NEW.AVREISE
    AND NEW.AVREISE > NEW.ANKOMST AND julianday(NEW.AVREISE) - julianday(NEW.ANKOMST) <= 4000;
  INSERT INTO LEIE_DAG (ANLEGG, DATO, UTYPE, ANTALL)
  SELECT T.ANLEGG, T.FRA + D.N, T.UTYPE, T.ANTALL
  FROM LEIE_TALT T JOIN LEIE_DAG_NR D ON D.N < T.TIL - T.FRA
  WHERE T.LINJENR = NEW.LINJENR
  ON CONFLICT (ANLEGG, DATO, UTYPE) DO UPDATE SET ANTALL = LEIE_DAG.ANTALL + excluded.ANTALL;
  INSERT INTO LEIE_AVVIK (LINJENR)
  SELECT NEW.LINJENR
  WHERE NEW.LEIETYPE = 'O' AND (NEW.STATUS <> 'A' OR NEW.STATUS IS NULL)
    AND NOT EXISTS (SELECT 1 FROM LEIE_TALT WHERE LINJENR = NEW.LINJENR);
END;

DROP TRIGGER IF EXISTS LEIE_DAG_SLETTET;
CREATE TRIGGER IF NOT EXISTS LEIE_DAG_SLETTET2 AFTER DELETE ON LEIE
BEGIN
  UPDATE LEIE_DAG
  SET ANTALL = ANTALL - (SELECT T.ANTALL FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
  WHERE ANLEGG = (SELECT T.ANLEGG FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND UTYPE = (SELECT T.UTYPE FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND DATO >= (SELECT T.FRA FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR)
    AND DATO < (SELECT T.TIL FROM LEIE_TALT T WHERE T.LINJENR = OLD.LINJENR);
  DELETE FROM LEIE_TALT WHERE LINJENR = OLD.LINJENR;
  DELETE FROM LEIE_AVVIK WHERE LINJENR = OLD.LINJENR;
END;

-- The lines that were there before the counts: the update trigger's work, done once for each.
UPDATE LEIE SET LINJENR = LINJENR
WHERE LEIETYPE = 'O' AND (STATUS <> 'A' OR STATUS IS NULL)
  AND LINJENR NOT IN (SELECT LINJENR FROM LEIE_TALT)
  AND LINJENR NOT IN (SELECT LINJENR FROM LEIE_AVVIK);

-- ALLOT_PERIODE: an R*Tree over the allotment lines that hold units (REQUEST 'A'), as
-- LEIE_PERIODE is over the rental lines, so that a stay reads only the allotment lines that
-- overlap it, however many lie ahead. The same day keys; a date not stored as such spans
-- every day.
CREATE VIRTUAL TABLE IF NOT EXISTS ALLOT_PERIODE USING rtree_i32(ALLOTLINJENR, FRA, TIL);

CREATE TRIGGER IF NOT EXISTS ALLOT_PERIODE_NY AFTER INSERT ON ALLOTLINJE
BEGIN
  DELETE FROM ALLOT_PERIODE WHERE ALLOTLINJENR = NEW.ALLOTLINJENR;
  INSERT INTO ALLOT_PERIODE (ALLOTLINJENR, FRA, TIL)
  SELECT NEW.ALLOTLINJENR,
         coalesce(min(D.FRA, D.TIL), -2147483648),
         coalesce(max(D.FRA, D.TIL), 2147483647)
  FROM (SELECT
          CASE WHEN typeof(NEW.FRA) = 'text' AND NEW.FRA GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.FRA, 1, 4) || substr(NEW.FRA, 6, 2) || substr(NEW.FRA, 9, 2) AS INTEGER) END AS FRA,
          CASE WHEN typeof(NEW.TIL) = 'text' AND NEW.TIL GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.TIL, 1, 4) || substr(NEW.TIL, 6, 2) || substr(NEW.TIL, 9, 2) AS INTEGER) END AS TIL) AS D
  WHERE NEW.REQUEST = 'A';
END;

CREATE TRIGGER IF NOT EXISTS ALLOT_PERIODE_ENDRET AFTER UPDATE ON ALLOTLINJE
BEGIN
  DELETE FROM ALLOT_PERIODE WHERE ALLOTLINJENR = OLD.ALLOTLINJENR;
  DELETE FROM ALLOT_PERIODE WHERE ALLOTLINJENR = NEW.ALLOTLINJENR;
  INSERT INTO ALLOT_PERIODE (ALLOTLINJENR, FRA, TIL)
  SELECT NEW.ALLOTLINJENR,
         coalesce(min(D.FRA, D.TIL), -2147483648),
         coalesce(max(D.FRA, D.TIL), 2147483647)
  FROM (SELECT
          CASE WHEN typeof(NEW.FRA) = 'text' AND NEW.FRA GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.FRA, 1, 4) || substr(NEW.FRA, 6, 2) || substr(NEW.FRA, 9, 2) AS INTEGER) END AS FRA,
          CASE WHEN typeof(NEW.TIL) = 'text' AND NEW.TIL GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'
           THEN CAST(substr(NEW.TIL, 1, 4) || substr(NEW.TIL, 6, 2) || substr(NEW.TIL, 9, 2) AS INTEGER) END AS TIL) AS D
  WHERE NEW.REQUEST = 'A';
END;

CREATE TRIGGER IF NOT EXISTS ALLOT_PERIODE_SLETTET AFTER DELETE ON ALLOTLINJE
BEGIN
  DELETE FROM ALLOT_PERIODE WHERE ALLOTLINJENR = OLD.ALLOTLINJENR;
END;

-- The allotment lines that were there before the index.
UPDATE ALLOTLINJE SET ALLOTLINJENR = ALLOTLINJENR
WHERE REQUEST = 'A' AND ALLOTLINJENR NOT IN (SELECT ALLOTLINJENR FROM ALLOT_PERIODE);

-- LEIE_ALLOT_TALT: the used allotments (LEIE_ALLOT) with the facility, rental type and units
-- of their rental line, ordered by facility and day, so that a stay reads the used allotments
-- of the facility and days it asks about without a lookup of each line in LEIE. A used
-- allotment whose rental line is not there has no row: it takes no units. The triggers keep
-- it in step with every write to LEIE_ALLOT and to LEIE, whichever program makes it; each run
-- of this script builds it afresh.
CREATE TABLE IF NOT EXISTS LEIE_ALLOT_TALT (
  LINJENR      INTEGER      NOT NULL,
  ALLOTLINJENR INTEGER      NOT NULL,
  DATO         DATE         NOT NULL,
  ANLEGG       INTEGER,
  UTYPE        INTEGER,
  ANTALL       INTEGER,
  PRIMARY KEY (LINJENR, ALLOTLINJENR, DATO)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS LEIE_ALLOT_TALT_DAG ON LEIE_ALLOT_TALT (ANLEGG, DATO, UTYPE, ANTALL);

CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_NY AFTER INSERT ON LEIE_ALLOT
BEGIN
  INSERT OR REPLACE INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
  SELECT NEW.LINJENR, NEW.ALLOTLINJENR, NEW.DATO, L.ANLEGG, L.UTYPE, L.ANTALL
  FROM LEIE L WHERE L.LINJENR = NEW.LINJENR;
END;

CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_ENDRET AFTER UPDATE ON LEIE_ALLOT
BEGIN
  DELETE FROM LEIE_ALLOT_TALT
  WHERE LINJENR = OLD.LINJENR AND ALLOTLINJENR = OLD.ALLOTLINJENR AND DATO = OLD.DATO;
  INSERT OR REPLACE INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
  SELECT NEW.LINJENR, NEW.ALLOTLINJENR, NEW.DATO, L.ANLEGG, L.UTYPE, L.ANTALL
  FROM LEIE L WHERE L.LINJENR = NEW.LINJENR;
END;

CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_SLETTET AFTER DELETE ON LEIE_ALLOT
BEGIN
  DELETE FROM LEIE_ALLOT_TALT
  WHERE LINJENR = OLD.LINJENR AND ALLOTLINJENR = OLD.ALLOTLINJENR AND DATO = OLD.DATO;
END;

-- A rental line that comes (or comes again, by a REPLACE that removed it without its delete
-- trigger) gives its used allotments its values.
CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_LEIE_NY AFTER INSERT ON LEIE
BEGIN
  INSERT OR REPLACE INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
  SELECT LA.LINJENR, LA.ALLOTLINJENR, LA.DATO, NEW.ANLEGG, NEW.UTYPE, NEW.ANTALL
  FROM LEIE_ALLOT LA WHERE LA.LINJENR = NEW.LINJENR;
END;

CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_LEIE_ENDRET
AFTER UPDATE OF LINJENR, ANLEGG, UTYPE, ANTALL ON LEIE
BEGIN
  DELETE FROM LEIE_ALLOT_TALT WHERE LINJENR = OLD.LINJENR;
  INSERT OR REPLACE INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
  SELECT LA.LINJENR, LA.ALLOTLINJENR, LA.DATO, NEW.ANLEGG, NEW.UTYPE, NEW.ANTALL
  FROM LEIE_ALLOT LA WHERE LA.LINJENR = NEW.LINJENR;
END;

CREATE TRIGGER IF NOT EXISTS LEIE_ALLOT_TALT_LEIE_SLETTET AFTER DELETE ON LEIE
BEGIN
  DELETE FROM LEIE_ALLOT_TALT WHERE LINJENR = OLD.LINJENR;
END;

DELETE FROM LEIE_ALLOT_TALT;
INSERT INTO LEIE_ALLOT_TALT (LINJENR, ALLOTLINJENR, DATO, ANLEGG, UTYPE, ANTALL)
SELECT LA.LINJENR, LA.ALLOTLINJENR, LA.DATO, L.ANLEGG, L.UTYPE, L.ANTALL
FROM LEIE_ALLOT LA JOIN LEIE L ON L.LINJENR = LA.LINJENR;

-- OPPSETT_VERSJON: a number that every write to the tables of the sold layout (facilities,
-- wings, rental types, objects and the server's rights) raises, so that a server may keep
-- that layout for as long as the number stays.
CREATE TABLE IF NOT EXISTS OPPSETT_VERSJON (
  VERDI        INTEGER      NOT NULL
);
INSERT INTO OPPSETT_VERSJON (VERDI) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM OPPSETT_VERSJON);

CREATE TRIGGER IF NOT EXISTS OPPSETT_ANLEGG_NY AFTER INSERT ON ANLEGG
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_ANLEGG_ENDRET AFTER UPDATE ON ANLEGG
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_ANLEGG_SLETTET AFTER DELETE ON ANLEGG
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_FLOY_NY AFTER INSERT ON FLOY
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_FLOY_ENDRET AFTER UPDATE ON FLOY
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_FLOY_SLETTET AFTER DELETE ON FLOY
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTYPE_NY AFTER INSERT ON UTYPE
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTYPE_ENDRET AFTER UPDATE ON UTYPE
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTYPE_SLETTET AFTER DELETE ON UTYPE
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTLEIEOB_NY AFTER INSERT ON UTLEIEOB
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTLEIEOB_ENDRET AFTER UPDATE ON UTLEIEOB
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_UTLEIEOB_SLETTET AFTER DELETE ON UTLEIEOB
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_BRUKERRETT_NY AFTER INSERT ON BRUKERRETT
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_BRUKERRETT_ENDRET AFTER UPDATE ON BRUKERRETT
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;
CREATE TRIGGER IF NOT EXISTS OPPSETT_BRUKERRETT_SLETTET AFTER DELETE ON BRUKERRETT
BEGIN UPDATE OPPSETT_VERSJON SET VERDI = VERDI + 1; END;

-- KANAL_BOOKING: the bookings that the calendars of the business's other sales channels brought
-- in, one row per event of a calendar: KANAL, the calendar's group in the channel file, and the
-- event's UID; REFNR, the booking made for it; ANKOMST and AVREISE as the calendar last gave them;
-- SIST_SETT, when it was last seen there (an event seen again as it was is written once a day);
-- KONFLIKT, while the booking shares nights on which its rental type is sold beyond its units, the
-- reference numbers of the other bookings on those nights (blank-separated), else NULL; BEHOLDT,
-- when it was kept although cancelled or gone from its calendar, else NULL. Only the import writes
-- it, and an import changes no booking that is not listed here.
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
  INNHOLD       BLOB,
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
  INNHOLD       BLOB,
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
