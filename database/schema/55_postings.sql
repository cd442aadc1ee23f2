-- What a stock posting changed outside the stock flow: quantities raised on
-- source lines, reference counts, a partner's payable. Un-audit and delete
-- reverse a note from these rows and from its noteflowaath rows alone, so the
-- reversal is exact even after the note's lines are gone.
-- KIND: 1 line quantity (TARGETTABLE.TARGETCOLUMN += QUANTITY, REFERCOUNT + 1
-- on the line), 2 note reference (REFERCOUNT + 1 on the master), 3 payable
-- (partnerlth.SCAMT += QUANTITY for TARGETID).
CREATE TABLE notepostlogaath (
  NOTETYPE      INTEGER NOT NULL,
  NOTEID        INTEGER NOT NULL,
  ITEMSNO       INTEGER,
  KIND          INTEGER NOT NULL,
  TARGETTYPE    INTEGER,
  TARGETTABLE   VARCHAR(64),
  TARGETCOLUMN  VARCHAR(64),
  TARGETID      INTEGER,
  TARGETITEMSNO INTEGER,
  QUANTITY      NUMERIC(19,6) NOT NULL DEFAULT 0
);
CREATE INDEX ix_notepostlogaath_note ON notepostlogaath (NOTETYPE, NOTEID);
