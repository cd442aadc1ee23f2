-- Account flow: one row per account a posted note moved money on. Kept by the
-- postings of the money notes and removed again when a note is un-audited,
-- so the rows of an account always add up to its balance in accountacth.
-- BALANCE is the account's balance right after the row (rows in ID order).

CREATE TABLE accountflowaath (
  ID           INTEGER NOT NULL PRIMARY KEY,
  ACCOUNTID    INTEGER NOT NULL,
  NOTETYPE     INTEGER NOT NULL,
  NOTEID       INTEGER NOT NULL,
  NOTECODE     VARCHAR(30) COLLATE TSQL,
  NOTEDATE     DATE,
  INAMT        NUMERIC(19,6) NOT NULL DEFAULT 0,
  OUTAMT       NUMERIC(19,6) NOT NULL DEFAULT 0,
  BALANCE      NUMERIC(19,6) NOT NULL DEFAULT 0,
  CHKORID      INTEGER
);
CREATE INDEX ix_accountflowaath_note ON accountflowaath (NOTETYPE, NOTEID);
CREATE INDEX ix_accountflowaath_account ON accountflowaath (ACCOUNTID, ID);

-- Accounting vouchers a note was posted to (kept by the finance package; a
-- note's CREDID points here). The money notes show "type number" as CredCode.
CREATE TABLE kredtypealth (
  ID              INTEGER NOT NULL PRIMARY KEY,
  NAME            VARCHAR(20) COLLATE TSQL NOT NULL
);

CREATE TABLE kredaath (
  CREDID          INTEGER NOT NULL PRIMARY KEY,
  CREDTYPEID      INTEGER,
  CREDNO          VARCHAR(20) COLLATE TSQL,
  CREDDATE        DATE
);
