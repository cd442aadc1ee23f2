-- The money notes that stand directly on the document framework: bank deposit
-- and withdrawal (51, no lines), expense (52) and other income (53), and the
-- expense and income items their lines name. NOTESTATE 0 entered, 1 audited,
-- 2 void. The triggers below queue every NOTESTATE change for the posting
-- engine (same form as Database::addStateTrigger), queue the reversal of an
-- audited note that is deleted, and delete the lines of a deleted note.

-- STYPE 0 expense item, 1 income item.
CREATE TABLE ietypelth (
  IETYPESID    INTEGER NOT NULL PRIMARY KEY,
  CODE         VARCHAR(20) NOT NULL,
  IENAME       VARCHAR(40) NOT NULL,
  STYPE        INTEGER NOT NULL DEFAULT 0,
  SUBJECTID    INTEGER,
  CLOSED       INTEGER NOT NULL DEFAULT 0,
  REMARK       VARCHAR(200)
);

-- Money moves from OUTACCOUNTID to INACCOUNTID; the *SHOPERATEID columns hold
-- the shop owning each account (0 or null: head office).
CREATE TABLE movebth (
  NOTEID          INTEGER NOT NULL PRIMARY KEY,
  NOTECODE        VARCHAR(30),
  NOTEDATE        DATE,
  NOTESTATE       INTEGER NOT NULL DEFAULT 0,
  NOTEKIND        INTEGER DEFAULT 1,
  OPERATEID       INTEGER,
  CHKORID         INTEGER,
  SHOPERATEID     INTEGER DEFAULT 0,
  EMPID           INTEGER,
  DEPID           INTEGER,
  CREDID          INTEGER,
  CREDCODE        VARCHAR(30),
  PRINTTEMPLATEID INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  OUTACCOUNTID    INTEGER,
  OUTSHOPERATEID  INTEGER DEFAULT 0,
  INACCOUNTID     INTEGER,
  INSHOPERATEID   INTEGER DEFAULT 0,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  PURPOSE         VARCHAR(100),
  CHECKNO         VARCHAR(30),
  USRDEF1         VARCHAR(60),
  USRDEF2         VARCHAR(60),
  USRDEF3         VARCHAR(60),
  USRDEF4         VARCHAR(60),
  USRDEF5         VARCHAR(60),
  UPDATETIME      TIMESTAMP,
  REMARK          VARCHAR(200),
  UPFLAG          INTEGER DEFAULT 0
);
CREATE INDEX ix_movebth_date ON movebth (NOTEDATE);

-- AMOUNT is the sum of the lines (the window stores it at every save); the
-- posting takes it from ACCOUNTID.
CREATE TABLE expenseath (
  NOTEID          INTEGER NOT NULL PRIMARY KEY,
  NOTECODE        VARCHAR(30),
  NOTEDATE        DATE,
  NOTESTATE       INTEGER NOT NULL DEFAULT 0,
  NOTEKIND        INTEGER DEFAULT 1,
  OPERATEID       INTEGER,
  CHKORID         INTEGER,
  EMPID           INTEGER,
  DEPID           INTEGER,
  SHOPERATEID     INTEGER DEFAULT 0,
  CREDID          INTEGER,
  PRINTTEMPLATEID INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  PARTNERID       INTEGER,
  PAYTYPESID      INTEGER,
  ACCOUNTID       INTEGER,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  CHECKNO         VARCHAR(30),
  USRDEF1         VARCHAR(60),
  USRDEF2         VARCHAR(60),
  USRDEF3         VARCHAR(60),
  USRDEF4         VARCHAR(60),
  USRDEF5         VARCHAR(60),
  UPDATETIME      TIMESTAMP,
  REMARK          VARCHAR(200),
  UPFLAG          INTEGER DEFAULT 0
);
CREATE INDEX ix_expenseath_date ON expenseath (NOTEDATE);

CREATE TABLE expenseathdetail (
  NOTEID          INTEGER NOT NULL,
  ITEMSNO         INTEGER NOT NULL,
  IETYPESID       INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  REFERNOTETYPE   INTEGER,
  REFERNOTEID     INTEGER,
  REFERITEMSNO    INTEGER,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  USRDEF1         VARCHAR(60),
  USRDEF2         VARCHAR(60),
  USRDEF3         VARCHAR(60),
  REMARK          VARCHAR(200),
  PRIMARY KEY (NOTEID, ITEMSNO)
);

-- AMOUNT is the sum of the lines (the window stores it at every save); the
-- posting takes it from ACCOUNTID.
CREATE TABLE InComebth (
  NOTEID          INTEGER NOT NULL PRIMARY KEY,
  NOTECODE        VARCHAR(30),
  NOTEDATE        DATE,
  NOTESTATE       INTEGER NOT NULL DEFAULT 0,
  NOTEKIND        INTEGER DEFAULT 1,
  OPERATEID       INTEGER,
  CHKORID         INTEGER,
  EMPID           INTEGER,
  DEPID           INTEGER,
  SHOPERATEID     INTEGER DEFAULT 0,
  CREDID          INTEGER,
  PRINTTEMPLATEID INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  PAYTYPESID      INTEGER,
  ACCOUNTID       INTEGER,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  CHECKNO         VARCHAR(30),
  USRDEF1         VARCHAR(60),
  USRDEF2         VARCHAR(60),
  USRDEF3         VARCHAR(60),
  USRDEF4         VARCHAR(60),
  USRDEF5         VARCHAR(60),
  UPDATETIME      TIMESTAMP,
  REMARK          VARCHAR(200),
  UPFLAG          INTEGER DEFAULT 0
);
CREATE INDEX ix_incomebth_date ON InComebth (NOTEDATE);

CREATE TABLE InComebthdetail (
  NOTEID          INTEGER NOT NULL,
  ITEMSNO         INTEGER NOT NULL,
  IETYPESID       INTEGER,
  REFERCOUNT      INTEGER DEFAULT 0,
  REFERNOTETYPE   INTEGER,
  REFERNOTEID     INTEGER,
  REFERITEMSNO    INTEGER,
  AMOUNT          NUMERIC(19,6) DEFAULT 0,
  USRDEF1         VARCHAR(60),
  USRDEF2         VARCHAR(60),
  USRDEF3         VARCHAR(60),
  REMARK          VARCHAR(200),
  PRIMARY KEY (NOTEID, ITEMSNO)
);

CREATE TRIGGER IF NOT EXISTS trg_movebth_state AFTER UPDATE OF NOTESTATE ON movebth FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0) AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='movebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('movebth', NEW.NOTEID, OLD.NOTESTATE, NEW.NOTESTATE); END;
CREATE TRIGGER IF NOT EXISTS trg_movebth_ins AFTER INSERT ON movebth FOR EACH ROW WHEN coalesce(NEW.NOTESTATE,0)<>0 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='movebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('movebth', NEW.NOTEID, 0, NEW.NOTESTATE); END;
-- New state -1: the audited note is gone, its posting is reversed.
CREATE TRIGGER IF NOT EXISTS trg_movebth_del AFTER DELETE ON movebth FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)=1 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='movebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('movebth', OLD.NOTEID, 1, -1); END;

CREATE TRIGGER IF NOT EXISTS trg_expenseath_state AFTER UPDATE OF NOTESTATE ON expenseath FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0) AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='expenseath') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('expenseath', NEW.NOTEID, OLD.NOTESTATE, NEW.NOTESTATE); END;
CREATE TRIGGER IF NOT EXISTS trg_expenseath_ins AFTER INSERT ON expenseath FOR EACH ROW WHEN coalesce(NEW.NOTESTATE,0)<>0 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='expenseath') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('expenseath', NEW.NOTEID, 0, NEW.NOTESTATE); END;
-- New state -1: the audited note is gone, its posting is reversed.
CREATE TRIGGER IF NOT EXISTS trg_expenseath_del AFTER DELETE ON expenseath FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)=1 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='expenseath') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('expenseath', OLD.NOTEID, 1, -1); END;
-- The package deletes only the master row of a deleted note.
CREATE TRIGGER IF NOT EXISTS trg_expenseath_lines AFTER DELETE ON expenseath FOR EACH ROW WHEN NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='expenseath') BEGIN DELETE FROM expenseathdetail WHERE NOTEID = OLD.NOTEID; END;

CREATE TRIGGER IF NOT EXISTS trg_incomebth_state AFTER UPDATE OF NOTESTATE ON incomebth FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0) AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='incomebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('incomebth', NEW.NOTEID, OLD.NOTESTATE, NEW.NOTESTATE); END;
CREATE TRIGGER IF NOT EXISTS trg_incomebth_ins AFTER INSERT ON incomebth FOR EACH ROW WHEN coalesce(NEW.NOTESTATE,0)<>0 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='incomebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('incomebth', NEW.NOTEID, 0, NEW.NOTESTATE); END;
-- New state -1: the audited note is gone, its posting is reversed.
CREATE TRIGGER IF NOT EXISTS trg_incomebth_del AFTER DELETE ON incomebth FOR EACH ROW WHEN coalesce(OLD.NOTESTATE,0)=1 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='incomebth') BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) VALUES ('incomebth', OLD.NOTEID, 1, -1); END;
-- The package deletes only the master row of a deleted note.
CREATE TRIGGER IF NOT EXISTS trg_incomebth_lines AFTER DELETE ON incomebth FOR EACH ROW WHEN NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='incomebth') BEGIN DELETE FROM incomebthdetail WHERE NOTEID = OLD.NOTEID; END;
