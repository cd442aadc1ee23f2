-- (Run again on books made before it, so everything here may already exist.)
-- What a stock posting changed outside the stock flow: quantities raised on
-- source lines, reference counts, a partner's payable. Un-audit and delete
-- reverse a note from these rows and from its noteflowaath rows alone, so the
-- reversal is exact even after the note's lines are gone.
-- KIND: 1 line quantity (TARGETTABLE.TARGETCOLUMN += QUANTITY, REFERCOUNT + 1
-- on the line), 2 note reference (REFERCOUNT + 1 on the master), 3 payable
-- (partnerlth.SCAMT += QUANTITY for TARGETID).
CREATE TABLE IF NOT EXISTS notepostlogaath (
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
CREATE INDEX IF NOT EXISTS ix_notepostlogaath_note ON notepostlogaath (NOTETYPE, NOTEID);

-- The system reversals a purchase receipt of kind 3 made go with it when the
-- receipt is deleted; deleting an audited reversal queues its own reversal.
CREATE INDEX IF NOT EXISTS ix_valuepth_purchase ON valuepth (PURCHASENOTEID);
CREATE TRIGGER IF NOT EXISTS trg_purchasepth_values AFTER DELETE ON purchasepth FOR EACH ROW WHEN NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='purchasepth') BEGIN DELETE FROM valuepth WHERE NOTEKIND = 3 AND PURCHASENOTEID = OLD.NOTEID; END;
-- Lines taken from an order or drawing on a batch are looked up by their source.
CREATE INDEX IF NOT EXISTS ix_orderpthdetail_refer ON orderpthDetail (REFERNOTETYPE, REFERNOTEID, REFERITEMSNO);
CREATE INDEX IF NOT EXISTS ix_pcsplit_note ON PcSplit (NOTETYPE, NOTEID);

-- The stock check before an audit reads the same stock lines the postings move.
INSERT INTO notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, QUANTITYFIELD, DIRECTION, REVERSEKIND)
SELECT 3, 'valuepth', 'valuepthDetail', 'd.BUILDINGID', 'QUANTITY', 1, 2
WHERE NOT EXISTS (SELECT 1 FROM notestocklinemth WHERE NOTETYPE = 3);
INSERT INTO notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, QUANTITYFIELD, DIRECTION, REVERSEKIND)
SELECT 4, 'purchasepth', 'purchasepthDetail', 'd.BUILDINGID', 'QUANTITY', 1, 2
WHERE NOT EXISTS (SELECT 1 FROM notestocklinemth WHERE NOTETYPE = 4);
-- A receipt saved again as another kind no longer settles estimated receipts:
-- the reversals it made go (and are reversed) as on its delete.
CREATE TRIGGER IF NOT EXISTS trg_purchasepth_kind AFTER UPDATE OF NOTEKIND ON purchasepth FOR EACH ROW WHEN OLD.NOTEKIND = 3 AND coalesce(NEW.NOTEKIND, 0) <> 3 AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='purchasepth') BEGIN DELETE FROM valuepth WHERE NOTEKIND = 3 AND PURCHASENOTEID = OLD.NOTEID; END;
