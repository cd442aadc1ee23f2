-- The host's own tables: operators, privileges, system parameters, the log,
-- code lists, numbering rules, print templates and register, note messages.
-- Flags are INTEGER 0/1; dates are DATE / TIMESTAMP (text on SQLite).

CREATE TABLE operatormth (
  OPERATEID    INTEGER NOT NULL PRIMARY KEY,
  LOGINNAME    VARCHAR(32) COLLATE TSQL NOT NULL UNIQUE,
  OPERATENAME  VARCHAR(40) COLLATE TSQL NOT NULL,
  OPERATEPWD   VARCHAR(128) COLLATE TSQL,           -- argon2id string (older books: hex SHA-256 of PWDSALT + password)
  PWDSALT      VARCHAR(32) COLLATE TSQL,
  ISADMIN      INTEGER NOT NULL DEFAULT 0,
  EMPID        INTEGER,
  SHOPERATEID  INTEGER DEFAULT 0,
  CLOSED       INTEGER NOT NULL DEFAULT 0,
  REMARK       VARCHAR(200) COLLATE TSQL
);

-- One row per operator, privilege item and action (1 browse, 2 edit, 3 print,
-- 4 export, 5 use, 6 audit, 7 void). Administrators pass every check anyway.
CREATE TABLE privilegemth (
  OPERATEID    INTEGER NOT NULL,
  PRIVILEGEID  INTEGER NOT NULL,
  ACTION       INTEGER NOT NULL,
  PRIMARY KEY (OPERATEID, PRIVILEGEID, ACTION)
);

CREATE TABLE sysparamamth (
  PARAMID      INTEGER NOT NULL PRIMARY KEY,
  PARAMNAME    VARCHAR(40) COLLATE TSQL NOT NULL UNIQUE,
  DATAVALUE    VARCHAR(200) COLLATE TSQL,
  REMARK       VARCHAR(100) COLLATE TSQL
);

-- WriteLog entries: category letter, code, letter, two texts, two numbers.
CREATE TABLE syslogmth (
  LOGTIME      TIMESTAMP NOT NULL,
  OPERATEID    INTEGER,
  CATEGORY     VARCHAR(1) COLLATE TSQL,
  LOGCODE      INTEGER,
  LOGKIND      VARCHAR(1) COLLATE TSQL,
  TEXT1        VARCHAR(200) COLLATE TSQL,
  TEXT2        VARCHAR(200) COLLATE TSQL,
  NUM1         INTEGER,
  NUM2         INTEGER
);
CREATE INDEX ix_syslogmth_time ON syslogmth (LOGTIME);

-- Small code lists grouped by KIND (note kinds, states, delivery methods...).
CREATE TABLE kindamth (
  KIND         INTEGER NOT NULL,
  ID           INTEGER NOT NULL,
  NAME         VARCHAR(40) COLLATE TSQL NOT NULL,
  PRIMARY KEY (KIND, ID)
);

-- Numbering rule per note type: prefix, separator, date part, digits.
CREATE TABLE notetypelth (
  ID           INTEGER NOT NULL PRIMARY KEY,
  NAME         VARCHAR(40) COLLATE TSQL NOT NULL,
  HEAD         VARCHAR(10) COLLATE TSQL,
  SEPA         VARCHAR(2) COLLATE TSQL,
  MODE         VARCHAR(10) COLLATE TSQL,
  CODE         VARCHAR(15) COLLATE TSQL
);

CREATE TABLE TableInfo (
  ID               INTEGER,
  TableName        VARCHAR(64) COLLATE TSQL NOT NULL,
  DisplayTableName VARCHAR(100) COLLATE TSQL,
  FieldName        VARCHAR(64) COLLATE TSQL NOT NULL,
  DisplayFieldName VARCHAR(100) COLLATE TSQL,
  FieldType        VARCHAR(20) COLLATE TSQL
);

CREATE TABLE printtemplatelth (
  PRINTTEMPLATEID INTEGER NOT NULL PRIMARY KEY,
  TYPESID      INTEGER NOT NULL,
  NAME         VARCHAR(60) COLLATE TSQL NOT NULL,
  DATA         TEXT,
  UPDATETIME   TIMESTAMP
);
CREATE INDEX ix_printtemplatelth_type ON printtemplatelth (TYPESID);

CREATE TABLE noteprintabth (
  NOTETYPE     INTEGER NOT NULL,
  NOTEID       INTEGER NOT NULL,
  NOTECODE     VARCHAR(30) COLLATE TSQL,
  NOTEDATE     DATE,
  OPERATEID    INTEGER,
  PRINTED      INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (NOTETYPE, NOTEID)
);

-- Inserted positionally: id, text, note type, note id, time, sender.
CREATE TABLE notemsginfth (
  MSGID        INTEGER NOT NULL PRIMARY KEY,
  MSG          VARCHAR(200) COLLATE TSQL,
  FROMNOTETYPE INTEGER,
  FROMNOTEID   INTEGER,
  SENDTIME     TIMESTAMP,
  FROMUSERID   INTEGER
);
CREATE INDEX ix_notemsginfth_note ON notemsginfth (FROMNOTETYPE, FROMNOTEID);

-- Inserted positionally: message id, recipient, read flag.
CREATE TABLE notemsginfthdetail (
  MSGID        INTEGER NOT NULL,
  TOUSERID     INTEGER NOT NULL,
  ISREAD       INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (MSGID, TOUSERID)
);
