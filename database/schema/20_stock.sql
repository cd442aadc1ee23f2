-- Running stock balances, kept by the postings of audited notes.

-- On hand per store and commodity: QUANTITY is the book stock, REALQTY the
-- physical stock, USEDQTY the reserved part; STATUS 1 while its cost awaits
-- calculation.
CREATE TABLE onhandaath (
  BUILDINGID   INTEGER NOT NULL,
  COMMODITYID  INTEGER NOT NULL,
  QUANTITY     NUMERIC(19,6) NOT NULL DEFAULT 0,
  PRICE        NUMERIC(19,6) NOT NULL DEFAULT 0,
  AMOUNT       NUMERIC(19,6) NOT NULL DEFAULT 0,
  REALQTY      NUMERIC(19,6) NOT NULL DEFAULT 0,
  USEDQTY      NUMERIC(19,6) NOT NULL DEFAULT 0,
  ONPRDQTY     NUMERIC(19,6) NOT NULL DEFAULT 0,
  STATUS       INTEGER,
  PRIMARY KEY (BUILDINGID, COMMODITYID)
);
-- The commodity picker asks for stock by commodity in any store.
CREATE INDEX ix_onhandaath_commodity ON onhandaath (COMMODITYID);

-- One row per stock movement line. A row with a batch number and no
-- BTURNNOTEID creates a batch; later rows drawing on it carry its ID in
-- BTURNNOTEID and raise its BREFERQTY. EQTY is the stock after the row.
CREATE TABLE noteflowaath (
  ID           INTEGER NOT NULL PRIMARY KEY,
  NOTETYPE     INTEGER NOT NULL,
  NOTEID       INTEGER NOT NULL,
  ITEMSNO      INTEGER,
  NOTECODE     VARCHAR(30) COLLATE TSQL,
  NOTEDATE     DATE NOT NULL,
  BUILDINGID   INTEGER,
  COMMODITYID  INTEGER NOT NULL,
  QUANTITY     NUMERIC(19,6) NOT NULL DEFAULT 0,
  PRICE        NUMERIC(19,6) DEFAULT 0,
  PPRICE       NUMERIC(19,6) DEFAULT 0,
  AMOUNT       NUMERIC(19,6) DEFAULT 0,
  BCODE        VARCHAR(30) COLLATE TSQL,
  VALIDDAY     DATE,
  PRODUCEDDATE DATE,
  IOFLAG       INTEGER NOT NULL DEFAULT 1,
  BTURNNOTEID  INTEGER,
  BREFERQTY    NUMERIC(19,6) NOT NULL DEFAULT 0,
  EQTY         NUMERIC(19,6) DEFAULT 0,
  STATUS       INTEGER
);
-- With ID: a removed flow moves the running balance of the goods' later flows
-- (ID > n). SQLite's index carries the row id anyway; a server's needs it named.
CREATE INDEX ix_noteflowaath_goods ON noteflowaath (COMMODITYID, BUILDINGID, ID);
CREATE INDEX ix_noteflowaath_note ON noteflowaath (NOTETYPE, NOTEID);
CREATE INDEX ix_noteflowaath_batch ON noteflowaath (BTURNNOTEID);
CREATE INDEX ix_noteflowaath_date ON noteflowaath (NOTEDATE);

-- Where the stock lines of a note type are, for the audit stock check
-- (NOTEBOOKZERO). One row per movement a note makes: a transfer declares one
-- row out of its source store and one into its target. STOREFIELD is a column
-- of the line table ("d.BUILDINGID") or of the master ("m.BUILDINGID");
-- DIRECTION 1 brings stock in, -1 takes it out; a note whose NOTEKIND equals
-- REVERSEKIND (returns) moves the other way.
CREATE TABLE notestocklinemth (
  NOTETYPE      INTEGER NOT NULL,
  MASTERTABLE   VARCHAR(64) NOT NULL,
  LINETABLE     VARCHAR(64) NOT NULL,
  STOREFIELD    VARCHAR(64) NOT NULL,
  QUANTITYFIELD VARCHAR(64) NOT NULL DEFAULT 'QUANTITY',
  DIRECTION     INTEGER NOT NULL,
  REVERSEKIND   INTEGER
);
CREATE INDEX ix_notestocklinemth_type ON notestocklinemth (NOTETYPE);
