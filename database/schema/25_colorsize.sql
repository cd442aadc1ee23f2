-- Colours and sizes of commodities sold by colour and size, and the quantity
-- breakdown of a note line per colour and size. Every breakdown table has the
-- columns of TempDetail2 in the same order, because a saved note copies its
-- rows over with "insert into <table> Select * from TempDetail2".

CREATE TABLE Color (
  ColorID      INTEGER NOT NULL PRIMARY KEY,
  CODE         VARCHAR(20) COLLATE TSQL NOT NULL,
  NAME         VARCHAR(40) COLLATE TSQL NOT NULL,
  ColorValue   INTEGER,                 -- cell background, 0xRRGGBB
  FontColor    INTEGER                  -- cell text colour, 0xRRGGBB
);

CREATE TABLE Size (
  SizeID       INTEGER NOT NULL PRIMARY KEY,
  CODE         VARCHAR(20) COLLATE TSQL NOT NULL,
  NAME         VARCHAR(40) COLLATE TSQL NOT NULL,
  SORTNO       INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE commoditycolor (
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  PRIMARY KEY (CommodityID, ColorID)
);

CREATE TABLE CommoditySize (
  CommodityID  INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  PRIMARY KEY (CommodityID, SizeID)
);

-- Rows of a note not yet saved carry noteID -9999.
CREATE TABLE TempDetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_tempdetail2_note ON TempDetail2 (noteType, noteID, noteKind);

-- Opening stock per store, commodity, colour and size.
CREATE TABLE CommodityDetail (
  BuildingID   INTEGER NOT NULL,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0,
  StartQty     NUMERIC(19,6) NOT NULL DEFAULT 0,
  PRIMARY KEY (BuildingID, CommodityID, ColorID, SizeID)
);

CREATE TABLE orderpthdetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_orderpthdetail2_note ON orderpthdetail2 (noteType, noteID, noteKind);

CREATE TABLE purchasepthdetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_purchasepthdetail2_note ON purchasepthdetail2 (noteType, noteID, noteKind);

CREATE TABLE salesthplandetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_salesthplandetail2_note ON salesthplandetail2 (noteType, noteID, noteKind);

CREATE TABLE ordersthdetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_ordersthdetail2_note ON ordersthdetail2 (noteType, noteID, noteKind);

CREATE TABLE DeputeMarketsthdetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_DeputeMarketsthdetail2_note ON DeputeMarketsthdetail2 (noteType, noteID, noteKind);

CREATE TABLE salesthdetail2 (
  noteID       INTEGER NOT NULL,
  noteType     INTEGER NOT NULL,
  noteKind     INTEGER NOT NULL DEFAULT 1,
  Item         INTEGER NOT NULL,
  BuildingID   INTEGER,
  CommodityID  INTEGER NOT NULL,
  ColorID      INTEGER NOT NULL,
  SizeID       INTEGER NOT NULL,
  Quantity     NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_salesthdetail2_note ON salesthdetail2 (noteType, noteID, noteKind);
