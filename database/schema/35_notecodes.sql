-- Note numbers handed out to new notes that are not saved yet. A row keeps a
-- number from being given to a second window or client until the note is
-- saved (its number then lives in the master table) or abandoned. CLIENTID
-- names the reserving client (db::Database::clientId), so the reservations of
-- a client that is gone can be released.

CREATE TABLE notecodereserveth (
  NOTETYPE     INTEGER NOT NULL,
  NOTECODE     VARCHAR(40) COLLATE TSQL NOT NULL,
  OPERATEID    INTEGER,
  RESERVETIME  TIMESTAMP,
  CLIENTID     VARCHAR(40),
  PRIMARY KEY (NOTETYPE, NOTECODE)
);
