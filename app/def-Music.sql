-- Schema of the template catalog "def-Music.sqlite". The build turns this file into the
-- template that lies beside every executable; the conversion copies it and fills both tables.
--
-- Text columns declare the size of their source field, so no value of a well-formed catalog is
-- cut. VARCHAR keeps leading and trailing blanks; a column without a length (TEXT) takes up to
-- 32767 characters. Memo fields and the title table's texts, whose source sizes are not fixed,
-- are TEXT.

CREATE TABLE Alben (
  PNr           INTEGER NOT NULL PRIMARY KEY,
  Interpret     VARCHAR(50),
  Titel         VARCHAR(50),
  Komponist     VARCHAR(25),
  Anz           SMALLINT,
  Platte        VARCHAR(3),
  Gruppe        VARCHAR(2),
  Jahr          SMALLINT,
  Dauer         VARCHAR(6),
  "Preis (DM)"  REAL,
  "Preis (EUR)" REAL,
  Mp3Dir        TEXT
);

-- Titles keep the order in which the catalog delivers them (by PNr) as their rowid. There is
-- deliberately no foreign key to Alben: titles without an album are copied like all others.
CREATE TABLE Titel (
  PNr       INTEGER,
  Seite     SMALLINT,
  LNr       SMALLINT,
  Titel     TEXT,
  Werk      TEXT,
  Komponist TEXT,
  Text      TEXT,
  Interpret TEXT,
  Aufnahme  INTEGER,
  Dauer     TEXT,
  Mp3Name   TEXT
);

CREATE INDEX TitelPNr ON Titel (PNr);
