-- Demo data: a small business with three facilities, installed by `taurelin-db init ALIAS
-- --demo` after the schema. Standard SQL, so that every backend loads it as it stands.
--
-- Dates are written as tokens that the installer turns into ISO date literals relative to
-- the day of installation: {DAY} is that day, {DAY+14} two weeks later, {DAY-3} three days
-- before. So the prices run from the installation day for two years and the bookings lie
-- around it, whatever day the demo is installed on.
--
-- Numbers the demo uses: reference numbers 1001-1004, rental lines 5001-5010, bookers
-- 501-503. The number series in TELLER are set to the last of them at the end.

-- Facilities: two of company 100, one of company 200.
INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES
  (1, 'Fjellheim Hyttegrend', 100),
  (2, 'Strandkanten Feriesenter', 100),
  (3, 'Bygdetunet Gjestehus', 200);

INSERT INTO FLOY (FLOYKODE, ANLEGG, BESKR) VALUES
  ('FH-N', 1, 'Nedre tun'),
  ('FH-O', 1, 'Øvre tun'),
  ('SK-H', 2, 'Hytterekka ved sjøen'),
  ('SK-L', 2, 'Leilighetsbygget'),
  ('BT-H', 3, 'Hovedhuset'),
  ('BT-S', 3, 'Stabburet');

-- Rental types. ANTENH is the number of objects of the type over all facilities.
INSERT INTO UTYPE (UTYPE, KODE, BESKR, ANTENH, ISTAT) VALUES
  (1, 'HY4', 'Hytte 4 senger', 16, 'H'),
  (2, 'HY6', 'Hytte 6 senger', 6, 'H'),
  (3, 'LEI2', 'Leilighet 2 soverom', 8, 'L'),
  (4, 'LEI3', 'Leilighet 3 soverom', 6, 'L'),
  (5, 'DBL', 'Dobbeltrom', 16, 'R'),
  (6, 'ENK', 'Enkeltrom', 8, 'R');

-- Sixty rental objects: Fjellheim 10 + 6 cabins; Strandkanten 6 cabins, 8 + 6 apartments;
-- Bygdetunet 16 double and 8 single rooms.
INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE, BESKR) VALUES
  ('FH-101', 1, 'FH-N', 'Hytte 101'),
  ('FH-102', 1, 'FH-N', 'Hytte 102'),
  ('FH-103', 1, 'FH-N', 'Hytte 103'),
  ('FH-104', 1, 'FH-N', 'Hytte 104'),
  ('FH-105', 1, 'FH-N', 'Hytte 105'),
  ('FH-106', 1, 'FH-N', 'Hytte 106'),
  ('FH-107', 1, 'FH-N', 'Hytte 107'),
  ('FH-108', 1, 'FH-N', 'Hytte 108'),
  ('FH-109', 1, 'FH-N', 'Hytte 109'),
  ('FH-110', 1, 'FH-N', 'Hytte 110'),
  ('FH-201', 2, 'FH-O', 'Hytte 201'),
  ('FH-202', 2, 'FH-O', 'Hytte 202'),
  ('FH-203', 2, 'FH-O', 'Hytte 203'),
  ('FH-204', 2, 'FH-O', 'Hytte 204'),
  ('FH-205', 2, 'FH-O', 'Hytte 205'),
  ('FH-206', 2, 'FH-O', 'Hytte 206'),
  ('SK-101', 1, 'SK-H', 'Sjøhytte 101'),
  ('SK-102', 1, 'SK-H', 'Sjøhytte 102'),
  ('SK-103', 1, 'SK-H', 'Sjøhytte 103'),
  ('SK-104', 1, 'SK-H', 'Sjøhytte 104'),
  ('SK-105', 1, 'SK-H', 'Sjøhytte 105'),
  ('SK-106', 1, 'SK-H', 'Sjøhytte 106'),
  ('SK-301', 3, 'SK-L', 'Leilighet 301'),
  ('SK-302', 3, 'SK-L', 'Leilighet 302'),
  ('SK-303', 3, 'SK-L', 'Leilighet 303'),
  ('SK-304', 3, 'SK-L', 'Leilighet 304'),
  ('SK-305', 3, 'SK-L', 'Leilighet 305'),
  ('SK-306', 3, 'SK-L', 'Leilighet 306'),
  ('SK-307', 3, 'SK-L', 'Leilighet 307'),
  ('SK-308', 3, 'SK-L', 'Leilighet 308'),
  ('SK-401', 4, 'SK-L', 'Leilighet 401'),
  ('SK-402', 4, 'SK-L', 'Leilighet 402'),
  ('SK-403', 4, 'SK-L', 'Leilighet 403'),
  ('SK-404', 4, 'SK-L', 'Leilighet 404'),
  ('SK-405', 4, 'SK-L', 'Leilighet 405'),
  ('SK-406', 4, 'SK-L', 'Leilighet 406'),
  ('BT-101', 5, 'BT-H', 'Rom 101'),
  ('BT-102', 5, 'BT-H', 'Rom 102'),
  ('BT-103', 5, 'BT-H', 'Rom 103'),
  ('BT-104', 5, 'BT-H', 'Rom 104'),
  ('BT-105', 5, 'BT-H', 'Rom 105'),
  ('BT-106', 5, 'BT-H', 'Rom 106'),
  ('BT-107', 5, 'BT-H', 'Rom 107'),
  ('BT-108', 5, 'BT-H', 'Rom 108'),
  ('BT-109', 5, 'BT-H', 'Rom 109'),
  ('BT-110', 5, 'BT-H', 'Rom 110'),
  ('BT-111', 5, 'BT-H', 'Rom 111'),
  ('BT-112', 5, 'BT-H', 'Rom 112'),
  ('BT-113', 6, 'BT-H', 'Rom 113'),
  ('BT-114', 6, 'BT-H', 'Rom 114'),
  ('BT-115', 6, 'BT-H', 'Rom 115'),
  ('BT-116', 6, 'BT-H', 'Rom 116'),
  ('BT-117', 6, 'BT-H', 'Rom 117'),
  ('BT-118', 6, 'BT-H', 'Rom 118'),
  ('BT-201', 5, 'BT-S', 'Stabburet rom 201'),
  ('BT-202', 5, 'BT-S', 'Stabburet rom 202'),
  ('BT-203', 5, 'BT-S', 'Stabburet rom 203'),
  ('BT-204', 5, 'BT-S', 'Stabburet rom 204'),
  ('BT-205', 6, 'BT-S', 'Stabburet rom 205'),
  ('BT-206', 6, 'BT-S', 'Stabburet rom 206');

-- Boards. Each board is its own price method (PRISMET), so the board type that the web
-- shop sees is the board's number.
INSERT INTO PENSJON (PENSJON, BESKR, PRISMET) VALUES
  (1, 'Kun overnatting', 1),
  (2, 'Overnatting med frokost', 2),
  (3, 'Halvpensjon', 3),
  (4, 'Helpensjon', 4);

-- Prices: the hundreds digit is the rental type. START_DAG/ANT_DAGER: 0/1 a night, 7/7 a
-- week from Sunday, 7/5 Sunday to Friday, 5/2 a weekend from Friday. The web prices of a
-- type and board share the board's description; the prices off the web (WEB 'N') are the
-- agreements that the front desk sells.
INSERT INTO PRIS (PRIS_ID, UTYPE, PENSJON, START_DAG, ANT_DAGER, WEB, BESKR) VALUES
  (101, 1, 1, 0, 1, 'J', 'Kun overnatting'),
  (102, 1, 1, 7, 7, 'J', 'Kun overnatting'),
  (103, 1, 1, 5, 2, 'J', 'Kun overnatting'),
  (104, 1, 1, 7, 5, 'J', 'Kun overnatting'),
  (105, 1, 1, 0, 1, 'N', 'Firmaavtale'),
  (201, 2, 1, 0, 1, 'J', 'Kun overnatting'),
  (202, 2, 1, 7, 7, 'J', 'Kun overnatting'),
  (203, 2, 1, 5, 2, 'J', 'Kun overnatting'),
  (204, 2, 1, 0, 1, 'N', 'Firmaavtale'),
  (301, 3, 1, 0, 1, 'J', 'Kun overnatting'),
  (302, 3, 1, 7, 7, 'J', 'Kun overnatting'),
  (303, 3, 1, 5, 2, 'J', 'Kun overnatting'),
  (304, 3, 2, 0, 1, 'J', 'Overnatting med frokost'),
  (401, 4, 1, 0, 1, 'J', 'Kun overnatting'),
  (402, 4, 1, 7, 7, 'J', 'Kun overnatting'),
  (403, 4, 1, 0, 1, 'N', 'Firmaavtale'),
  (501, 5, 2, 0, 1, 'J', 'Overnatting med frokost'),
  (502, 5, 3, 0, 1, 'J', 'Halvpensjon'),
  (503, 5, 2, 5, 2, 'J', 'Overnatting med frokost'),
  (504, 5, 4, 0, 1, 'N', 'Kurs og konferanse'),
  (601, 6, 2, 0, 1, 'J', 'Overnatting med frokost'),
  (602, 6, 3, 0, 1, 'J', 'Halvpensjon'),
  (603, 6, 4, 0, 1, 'N', 'Kurs og konferanse');

-- Price lines: this year's and next year's web prices (the night price in PRIS_UKE, the
-- Friday and Saturday night in PRIS_WEEK; a package's price in PRIS_UKE), last year's
-- lines of two prices that have run out, and open-ended agreements.
INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, TIL_DATO, PRIS_UKE, PRIS_WEEK) VALUES
  (101, {DAY-365}, {DAY}, 1090, 1290),
  (101, {DAY}, {DAY+365}, 1150, 1350),
  (101, {DAY+365}, {DAY+730}, 1195, 1395),
  (102, {DAY}, {DAY+365}, 6900, 0),
  (102, {DAY+365}, {DAY+730}, 7200, 0),
  (103, {DAY}, {DAY+365}, 2400, 0),
  (103, {DAY+365}, {DAY+730}, 2500, 0),
  (104, {DAY}, {DAY+365}, 4200, 0),
  (104, {DAY+365}, {DAY+730}, 4400, 0),
  (105, {DAY}, NULL, 950, 0),
  (201, {DAY-365}, {DAY}, 1490, 1720),
  (201, {DAY}, {DAY+365}, 1550, 1800),
  (201, {DAY+365}, {DAY+730}, 1610, 1870),
  (202, {DAY}, {DAY+365}, 9500, 0),
  (202, {DAY+365}, {DAY+730}, 9900, 0),
  (203, {DAY}, {DAY+365}, 3300, 0),
  (203, {DAY+365}, {DAY+730}, 3450, 0),
  (204, {DAY}, NULL, 1300, 0),
  (301, {DAY}, {DAY+365}, 1250, 1450),
  (301, {DAY+365}, {DAY+730}, 1300, 1500),
  (302, {DAY}, {DAY+365}, 7600, 0),
  (302, {DAY+365}, {DAY+730}, 7900, 0),
  (303, {DAY}, {DAY+365}, 2600, 0),
  (303, {DAY+365}, {DAY+730}, 2700, 0),
  (304, {DAY}, {DAY+365}, 1550, 1750),
  (304, {DAY+365}, {DAY+730}, 1610, 1820),
  (401, {DAY}, {DAY+365}, 1650, 1900),
  (401, {DAY+365}, {DAY+730}, 1720, 1980),
  (402, {DAY}, {DAY+365}, 10200, 0),
  (402, {DAY+365}, {DAY+730}, 10600, 0),
  (403, {DAY}, NULL, 1400, 0),
  (501, {DAY}, {DAY+365}, 1390, 1590),
  (501, {DAY+365}, {DAY+730}, 1440, 1650),
  (502, {DAY}, {DAY+365}, 1990, 2190),
  (502, {DAY+365}, {DAY+730}, 2070, 2280),
  (503, {DAY}, {DAY+365}, 2900, 0),
  (503, {DAY+365}, {DAY+730}, 3000, 0),
  (504, {DAY}, NULL, 2450, 0),
  (601, {DAY}, {DAY+365}, 990, 1090),
  (601, {DAY+365}, {DAY+730}, 1030, 1130),
  (602, {DAY}, {DAY+365}, 1390, 1490),
  (602, {DAY+365}, {DAY+730}, 1450, 1550),
  (603, {DAY}, NULL, 1750, 0);

-- Payment types: GYLDIG 'J' or NULL is valid; invoices are for agreements only.
INSERT INTO BETFORM (BKODE, BESKR, GYLDIG) VALUES
  ('FAKT', 'Faktura', 'N'),
  ('GAVE', 'Gavekort', 'J'),
  ('KORT', 'Betalingskort', 'J'),
  ('KRED', 'Kredittkort', NULL),
  ('NETT', 'Nettbank', 'J');

-- Agents: the web shop itself, a tour operator and a tourist office.
INSERT INTO AGENT (AKODE, NAVN) VALUES
  (1, 'Nettbutikken'),
  (2, 'Fjordreiser AS'),
  (3, 'Dalen Turistkontor');

INSERT INTO NASJON (NKODE, NAVN) VALUES
  ('N', 'Norge'),
  ('S', 'Sverige'),
  ('DK', 'Danmark'),
  ('FI', 'Finland'),
  ('IS', 'Island'),
  ('D', 'Tyskland'),
  ('NL', 'Nederland'),
  ('GB', 'Storbritannia'),
  ('F', 'Frankrike'),
  ('PL', 'Polen');

INSERT INTO VARE (VKODE, BESKR) VALUES
  ('SENG', 'Sengetøy per person'),
  ('HAND', 'Håndklær per person'),
  ('VASK', 'Sluttvask'),
  ('BAAT', 'Båtleie per dag');

-- The booking interface works as user 0 in module 1 and may sell at every facility. The
-- front desk of Bygdetunet (user 12) may only look.
INSERT INTO BRUKERRETT (ANLEGGSNR, BRUKERID, MODUL_ID, RETTIGHET) VALUES
  (1, 0, 1, 2),
  (2, 0, 1, 2),
  (3, 0, 1, 2),
  (3, 12, 1, 1);

-- Allotments. Fjordreiser holds 4-bed cabins at Fjellheim, released day by day two weeks
-- ahead ('K'), and 6-bed cabins for a fortnight, released all at once a month before
-- ('P'). Dalen Turistkontor holds double rooms at Bygdetunet a week ahead; its single rooms
-- are only asked for (REQUEST 'F'), so they hold nothing.
INSERT INTO ALLOT (ALLOT_ID, AKODE, ANLEGGSNR) VALUES
  (1, 2, 1),
  (2, 3, 3);

INSERT INTO ALLOTLINJE
  (ALLOTLINJENR, ALLOT_ID, ALLOTTYPE, ANTALL, DAGER_FOER, FRA, TIL, UTYPE, REQUEST) VALUES
  (11, 1, 'K', 3, 14, {DAY}, {DAY+180}, 1, 'A'),
  (12, 1, 'P', 2, 30, {DAY+60}, {DAY+74}, 2, 'A'),
  (21, 2, 'K', 4, 7, {DAY}, {DAY+365}, 5, 'A'),
  (22, 2, 'P', 2, 21, {DAY+90}, {DAY+97}, 6, 'F');

-- Bookings, written as booking creation and the booker instruction write them:
--   1001  Fjellheim, a week in a 6-bed cabin, booker Kari Nordby
--   1002  Strandkanten, three nights in an apartment, booker Erik Lindqvist, cancelled
--   1003  Fjellheim, two 4-bed cabins for three nights, Fjordreiser's reservation out of
--         its allotment, no booker yet
--   1004  Bygdetunet, two double rooms and a single room, staying now, booker Mette Madsen
INSERT INTO BESTILL
  (BESTNR, ENAVN, FNAVN, ADR, POSTNR, POSTSTED, NKODE, TLF, FAX, MAIL, ANM) VALUES
  (501, 'Nordby', 'Kari', 'Storgata 12 ', '5003', 'Bergen', 'N', '+47 912 34 567', '',
   'kari.nordby@example.no', 'Kommer sent fredag kveld'),
  (502, 'Lindqvist', 'Erik', 'Kungsgatan 4 ', '41119', 'Göteborg', 'S', '+46 70 123 45 67',
   '', 'erik.lindqvist@example.se', ''),
  (503, 'Madsen', 'Mette', 'Vestergade 8 lejl. 2', '8000', 'Aarhus C', 'DK',
   '+45 20 12 34 56', '', 'mette.madsen@example.dk', 'Allergi mot nøtter');

INSERT INTO BOOKING
  (REFNR, ANLEGGSNR, FORETAKSNR, FORMAL, REG_DATO, AKODE, BESTNR, BEKREFT, BEKREFT_DATO,
   FAKTURER, RABATT, ANM, ANM_INT, FORSK_BET, OPPR_AV, UTSJEKKET, STATUS, KUPONG,
   AVBESTILT, AGENT_KONTAKT) VALUES
  (1001, 1, 100, 0, {DAY-12}, 1, 501, 'B', NULL, '', 0, '', '', '', 0, NULL, 0, '', 0, NULL),
  (1002, 2, 100, 0, {DAY-20}, 1, 502, 'B', NULL, '', 0, '', '', '', 0, NULL, 0, '', 1, NULL),
  (1003, 1, 100, 0, {DAY-5}, 2, NULL, 'B', NULL, '', 0, '', '', '', 0, NULL, 0, '', 0, NULL),
  (1004, 3, 200, 0, {DAY-3}, 1, 503, 'B', NULL, '', 0, '', '', '', 0, NULL, 0, '', 0, NULL);

-- Rental-type lines ('U'). A cancellation marks every line of the booking with STATUS 'A'.
INSERT INTO LEIE
  (LINJENR, REFNR, A_PRIS, ANKOMST, ANLEGG, ANT_BARN, ANT_GRATIS, ANT_VOKSEN, ANTALL,
   AVREISE, FRITEKST, LEIETYPE, LINJE_EIER, PENSJON, PRISKODE, PRISTYPE, STATKODE, UTYPE,
   STATUS) VALUES
  (5001, 1001, 9500, {DAY+14}, 1, 0, 0, 5, 1, {DAY+21}, '', 'U', 0, 1, 202, 'U', 'H', 2,
   NULL),
  (5003, 1002, 3950, {DAY+20}, 2, 0, 0, 3, 1, {DAY+23}, '', 'U', 0, 1, 301, 'D', 'L', 3, 'A'),
  (5005, 1003, 3650, {DAY+30}, 1, 0, 0, 8, 2, {DAY+33}, '', 'U', 0, 1, 101, 'D', 'H', 1,
   NULL),
  (5007, 1004, 4170, {DAY-1}, 3, 0, 0, 4, 2, {DAY+2}, '', 'U', 0, 2, 501, 'D', 'R', 5, NULL),
  (5009, 1004, 4170, {DAY-1}, 3, 0, 0, 1, 1, {DAY+2}, '', 'U', 0, 3, 602, 'D', 'R', 6, NULL);

-- Object lines ('O'), each owned by the rental-type line before it; these occupy units.
INSERT INTO LEIE
  (LINJENR, REFNR, UTYPE, ANLEGG, A_PRIS, RABATT, PENSJON, PRISKODE, ANKOMST, AVREISE,
   ANTALL, STATKODE, OBJNR, TIL, ETTER, ANT_VOKSEN, ANT_BARN, ANT_GRATIS, PRISTYPE, FLOYKODE,
   LEIETYPE, LINJE_EIER, FAKT_STAT, STATUS) VALUES
  (5002, 1001, 2, 1, 9500, 0, 1, 202, {DAY+14}, {DAY+21}, 1, 'H', '0', 'M', 'F', 5, 0, 0,
   'U', NULL, 'O', 5001, '', NULL),
  (5004, 1002, 3, 2, 3950, 0, 1, 301, {DAY+20}, {DAY+23}, 1, 'L', '0', 'M', 'F', 3, 0, 0,
   'D', NULL, 'O', 5003, '', 'A'),
  (5006, 1003, 1, 1, 3650, 0, 1, 101, {DAY+30}, {DAY+33}, 2, 'H', '0', 'M', 'F', 8, 0, 0,
   'D', NULL, 'O', 5005, '', NULL),
  (5008, 1004, 5, 3, 4170, 0, 2, 501, {DAY-1}, {DAY+2}, 2, 'R', '0', 'M', 'F', 4, 0, 0,
   'D', NULL, 'O', 5007, '', NULL),
  (5010, 1004, 6, 3, 4170, 0, 3, 602, {DAY-1}, {DAY+2}, 1, 'R', '0', 'M', 'F', 1, 0, 0,
   'D', NULL, 'O', 5009, '', NULL);

-- Fjordreiser's reservation takes its three nights out of its cabin allotment.
INSERT INTO LEIE_ALLOT (LINJENR, ALLOTLINJENR, DATO) VALUES
  (5006, 11, {DAY+30}),
  (5006, 11, {DAY+31}),
  (5006, 11, {DAY+32});

-- The last numbers handed out, so that new ones never meet the demo's.
UPDATE TELLER SET VERDI = 1004 WHERE NAVN = 'REFNR';
UPDATE TELLER SET VERDI = 5010 WHERE NAVN = 'LINJENR';
UPDATE TELLER SET VERDI = 503 WHERE NAVN = 'BESTNR';
