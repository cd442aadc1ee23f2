-- The SQL functions statements call, made on the server so that they give
-- what the SQLite ones (registered by the layer in C++) give. Run as one script
-- by notectl init on PostgreSQL, inside the transaction that makes the books.

-- The serial number at the end of a note number: its last `digits` characters
-- when they are all digits, else NULL.
CREATE OR REPLACE FUNCTION funcdefCodeToSerialNo(code text, digits text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  n integer;
  tail text;
BEGIN
  IF code IS NULL OR digits IS NULL OR btrim(digits) !~ '^[+-]?[0-9]{1,9}$' THEN
    RETURN NULL;
  END IF;
  n := btrim(digits)::integer;
  IF n <= 0 OR n > 18 THEN
    RETURN NULL;
  END IF;
  tail := right(code, n);
  IF tail = '' OR tail !~ '^[0-9]+$' THEN
    RETURN NULL;
  END IF;
  RETURN tail::bigint;
END $f$;

CREATE OR REPLACE FUNCTION funcdefCodeToSerialNo(code text, digits bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$ SELECT funcdefCodeToSerialNo(code, digits::text) $f$;

-- A stored date: yyyy-MM-dd (the first ten characters) or MM/dd/yyyy.
CREATE OR REPLACE FUNCTION pk_stored_date(v text) RETURNS date
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  t text := left(btrim(v), 10);
BEGIN
  IF t ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN
    RETURN make_date(left(t, 4)::int, substr(t, 6, 2)::int, substr(t, 9, 2)::int);
  ELSIF t ~ '^[0-9]{2}/[0-9]{2}/[0-9]{4}$' THEN
    RETURN make_date(right(t, 4)::int, left(t, 2)::int, substr(t, 4, 2)::int);
  END IF;
  RETURN NULL;
EXCEPTION WHEN others THEN
  RETURN NULL;
END $f$;

-- The caller's date: m/d/yyyy as the numbering statement writes it (leading
-- zeros optional), else a stored date.
CREATE OR REPLACE FUNCTION pk_caller_date(v text) RETURNS date
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  p text[];
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  END IF;
  p := string_to_array(left(btrim(v), 10), '/');
  IF array_length(p, 1) = 3 THEN
    IF p[1] ~ '^[0-9]+$' AND p[2] ~ '^[0-9]+$' AND left(p[3], 4) ~ '^[0-9]+$' THEN
      RETURN make_date(left(p[3], 4)::int, p[1]::int, p[2]::int);
    END IF;
    RETURN NULL;
  END IF;
  RETURN pk_stored_date(v);
EXCEPTION WHEN others THEN
  RETURN NULL;
END $f$;

-- 1 when the note's date falls in the same year, month or day (by the period
-- format) as the given date, else 0; 1 for an empty format.
CREATE OR REPLACE FUNCTION funcdefDateComp(fmt text, notedate text, d text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  f text := lower(btrim(coalesce(fmt, '')));
  len integer;
  given date;
  stored date;
BEGIN
  IF f = '' THEN
    RETURN 1;
  END IF;
  len := CASE f WHEN 'yyyy' THEN 4 WHEN 'yyyymm' THEN 6 WHEN 'yyyymmdd' THEN 8 END;
  IF len IS NULL THEN
    RAISE EXCEPTION 'funcdefDateComp: unknown period format ''%''', fmt;
  END IF;
  given := pk_caller_date(d);
  IF d IS NOT NULL AND given IS NULL THEN
    RAISE EXCEPTION 'funcdefDateComp: bad date ''%''', d;
  END IF;
  stored := pk_stored_date(notedate);
  IF given IS NULL OR stored IS NULL THEN
    RETURN 0;
  END IF;
  RETURN CASE WHEN left(to_char(stored, 'YYYYMMDD'), len) = left(to_char(given, 'YYYYMMDD'), len) THEN 1 ELSE 0 END;
END $f$;

CREATE OR REPLACE FUNCTION funcdefDateComp(fmt text, notedate date, d text) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$ SELECT funcdefDateComp(fmt, to_char(notedate, 'YYYY-MM-DD'), d) $f$;

CREATE OR REPLACE FUNCTION funcdefDateComp(fmt text, notedate timestamp, d text) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$ SELECT funcdefDateComp(fmt, to_char(notedate, 'YYYY-MM-DD'), d) $f$;

-- The number of a note by its type and key; NULL for an unknown note or a
-- note type without a table in these books.
CREATE OR REPLACE FUNCTION sevengetnotecode(notetype bigint, noteid bigint) RETURNS citext
LANGUAGE plpgsql STABLE AS $f$
DECLARE
  t text;
  r citext;
BEGIN
  IF notetype IS NULL OR noteid IS NULL THEN
    RETURN NULL;
  END IF;
  t := CASE notetype
    WHEN 1 THEN 'purchasepthplan' WHEN 2 THEN 'orderpth' WHEN 3 THEN 'valuepth' WHEN 4 THEN 'purchasepth'
    WHEN 5 THEN 'repurchase' WHEN 11 THEN 'salesthplan' WHEN 12 THEN 'ordersth' WHEN 13 THEN 'deputemarketsth'
    WHEN 14 THEN 'salesth' WHEN 15 THEN 's_price' WHEN 21 THEN 'iostoreith' WHEN 22 THEN 'otherinith'
    WHEN 23 THEN 'otheroutith' WHEN 25 THEN 'drawith' WHEN 26 THEN 'badsthith' WHEN 27 THEN 'togetherith'
    WHEN 28 THEN 'distogetherith' WHEN 29 THEN 'attaintith' WHEN 30 THEN 'balitemith' WHEN 31 THEN 'chgpriceith'
    WHEN 32 THEN 'placeadjustith' WHEN 41 THEN 'prdcheckth' WHEN 42 THEN 'manuordermnfth' WHEN 43 THEN 'manuplanmnfth'
    WHEN 45 THEN 'outmoneymnfth' WHEN 46 THEN 'outmanuorderth' WHEN 47 THEN 'outdrawith' WHEN 48 THEN 'prdinstoreth'
    WHEN 49 THEN 'outprdinstoreth' WHEN 50 THEN 'prdtocheckth' WHEN 51 THEN 'movebth' WHEN 52 THEN 'expenseath'
    WHEN 53 THEN 'incomebth' WHEN 61 THEN 'payath' WHEN 62 THEN 'chargeath' WHEN 63 THEN 'counteractath'
    WHEN 64 THEN 'fillath' WHEN 71 THEN 'saleposth' WHEN 72 THEN 'inoutcashposth' WHEN 73 THEN 'closeposth'
    WHEN 74 THEN 'savingcardposth' WHEN 75 THEN 'adjpriceposth' WHEN 80 THEN 'bfprdth' WHEN 81 THEN 'backprdth'
    WHEN 88 THEN 'repairprdth'
  END;
  IF t IS NULL OR to_regclass(t) IS NULL THEN
    RETURN NULL;
  END IF;
  EXECUTE format('SELECT NOTECODE FROM %I WHERE NOTEID = $1', t) INTO r USING noteid;
  RETURN r;
END $f$;
