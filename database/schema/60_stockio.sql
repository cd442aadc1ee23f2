-- The stock in/out note (21): goods received or issued for a business note
-- of another kind (NOTETYPE names that kind; NOTEKIND 2 sends goods back).
-- Purchase and sales notes turn its lines in. iostoreithPLACE splits a line
-- over storage places.

CREATE TABLE iostoreith (
  NOTEID          INTEGER NOT NULL PRIMARY KEY,
  NOTEKIND        INTEGER NOT NULL DEFAULT 1,
  NOTESTATE       INTEGER NOT NULL DEFAULT 0,
  NOTECODE        VARCHAR(32) COLLATE TSQL NOT NULL,
  NOTEDATE        DATE NOT NULL,
  BUILDINGID      INTEGER,
  SHOPERATEID     INTEGER DEFAULT 0,
  PARTNERID       INTEGER,
  EMPID           INTEGER,
  OPERATEID       INTEGER,
  CHKORID         INTEGER,
  DEPID           INTEGER,
  CREDID          INTEGER,
  PRINTTEMPLATEID INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  NOTETO          VARCHAR(64) COLLATE TSQL,
  USRDEF1         VARCHAR(64) COLLATE TSQL,
  USRDEF2         VARCHAR(64) COLLATE TSQL,
  USRDEF3         VARCHAR(64) COLLATE TSQL,
  USRDEF4         VARCHAR(64) COLLATE TSQL,
  USRDEF5         VARCHAR(64) COLLATE TSQL,
  UPDATETIME      TIMESTAMP,
  REMARK          VARCHAR(255) COLLATE TSQL,
  UPFLAG          INTEGER NOT NULL DEFAULT 0,
  NOTETYPE        INTEGER,
  ISAUTO          INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE iostoreithDetail (
  NOTEID          INTEGER NOT NULL,
  ITEMSNO         INTEGER NOT NULL,
  COMMODITYID     INTEGER,
  APRICE          NUMERIC(19,6) DEFAULT 0,
  PRICE           NUMERIC(19,6) DEFAULT 0,
  QUANTITY        NUMERIC(19,6) DEFAULT 0,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  BCODE           VARCHAR(32) COLLATE TSQL,
  PRODUCTDAY      DATE,
  VALIDDAY        DATE,
  BTURNNOTEID     INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  REFERNOTETYPE   INTEGER,
  REFERNOTEID     INTEGER,
  REFERITEMSNO    INTEGER,
  REFERQTY        NUMERIC(19,6) NOT NULL DEFAULT 0,
  IOQTY           NUMERIC(19,6) NOT NULL DEFAULT 0,
  USRDEF1         VARCHAR(64) COLLATE TSQL,
  USRDEF2         VARCHAR(64) COLLATE TSQL,
  USRDEF3         VARCHAR(64) COLLATE TSQL,
  REMARK          VARCHAR(255) COLLATE TSQL,
  DISC            NUMERIC(19,6) DEFAULT 100,
  TAXRATE         NUMERIC(19,6) DEFAULT 0,
  TAXAMT          NUMERIC(19,6) DEFAULT 0,
  COMMODITYAMT    NUMERIC(19,6) DEFAULT 0,
  PRIMARY KEY (NOTEID, ITEMSNO)
);

CREATE TABLE iostoreithPLACE (
  NOTEID          INTEGER NOT NULL,
  ITEMSNO         INTEGER NOT NULL,
  PLACEID         INTEGER NOT NULL,
  QUANTITY        NUMERIC(19,6) DEFAULT 0
);
CREATE INDEX ix_iostoreithplace_note ON iostoreithPLACE (NOTEID, ITEMSNO);
CREATE INDEX ix_iostoreith_date ON iostoreith (NOTEDATE);

-- The package deletes only the master row of a deleted note.
CREATE TRIGGER IF NOT EXISTS trg_iostoreith_lines AFTER DELETE ON iostoreith FOR EACH ROW WHEN NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='iostoreith') BEGIN DELETE FROM iostoreithDetail WHERE NOTEID = OLD.NOTEID; DELETE FROM iostoreithPLACE WHERE NOTEID = OLD.NOTEID; END;

-- Audit posts the note (StockPostings), un-audit and the delete of an audited note reverse it.
CREATE TRIGGER IF NOT EXISTS trg_iostoreith_state AFTER UPDATE OF NOTESTATE ON iostoreith FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0) AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='iostoreith') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('iostoreith', NEW.NOTEID, OLD.NOTESTATE, NEW.NOTESTATE); END;
CREATE TRIGGER IF NOT EXISTS trg_iostoreith_ins AFTER INSERT ON iostoreith FOR EACH ROW WHEN coalesce(NEW.NOTESTATE,0)<>0 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='iostoreith') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('iostoreith', NEW.NOTEID, 0, NEW.NOTESTATE); END;
CREATE TRIGGER IF NOT EXISTS trg_iostoreith_del AFTER DELETE ON iostoreith FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)=1 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='iostoreith') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('iostoreith', OLD.NOTEID, 1, -1); END;

-- The stock check before an audit: the lines that take goods in and those
-- that take them out, as the postings move them (kInOutDirection); lines
-- that only record a receipt's or a sale's goods move nothing.
CREATE VIEW iostoreithInLines AS SELECT d.* FROM iostoreithDetail d JOIN iostoreith m ON m.NOTEID = d.NOTEID
WHERE (case when m.NOTETYPE in (13,14,23,25,29,47,73,80) then -1 else 1 end) * (case when m.NOTEKIND = 2 then -1 else 1 end) = 1
  AND coalesce(d.REFERNOTETYPE, 0) NOT IN (3, 4, 13, 14);
CREATE VIEW iostoreithOutLines AS SELECT d.* FROM iostoreithDetail d JOIN iostoreith m ON m.NOTEID = d.NOTEID
WHERE (case when m.NOTETYPE in (13,14,23,25,29,47,73,80) then -1 else 1 end) * (case when m.NOTEKIND = 2 then -1 else 1 end) = -1
  AND coalesce(d.REFERNOTETYPE, 0) NOT IN (3, 4, 13, 14);
INSERT INTO notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, QUANTITYFIELD, DIRECTION, REVERSEKIND)
VALUES (21, 'iostoreith', 'iostoreithInLines', 'm.BUILDINGID', 'QUANTITY', 1, NULL);
INSERT INTO notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, QUANTITYFIELD, DIRECTION, REVERSEKIND)
VALUES (21, 'iostoreith', 'iostoreithOutLines', 'm.BUILDINGID', 'QUANTITY', -1, NULL);

-- Storage places of a store: LCODE is hierarchical (a child's code begins
-- with its parent's); only leaf places hold stock.
CREATE TABLE placelth (
  PLACEID      INTEGER NOT NULL PRIMARY KEY,
  CODE         VARCHAR(20) COLLATE TSQL NOT NULL,
  NAME         VARCHAR(60) COLLATE TSQL NOT NULL,
  LCODE        VARCHAR(40) COLLATE TSQL NOT NULL,
  BUILDINGID   INTEGER NOT NULL
);
CREATE INDEX ix_placelth_store ON placelth (BUILDINGID);

-- On-hand stock per place, moved by the place rows of audited notes (the
-- posting log keeps them as KIND 4: TARGETTYPE the store, TARGETID the place,
-- TARGETITEMSNO the commodity).
CREATE TABLE onhandaathPlace (
  BUILDINGID   INTEGER NOT NULL,
  PLACEID      INTEGER NOT NULL,
  COMMODITYID  INTEGER NOT NULL,
  QUANTITY     NUMERIC(19,6) NOT NULL DEFAULT 0,
  PRIMARY KEY (BUILDINGID, PLACEID, COMMODITYID)
);
