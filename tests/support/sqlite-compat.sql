-- The few SQLite functions the tests' own statements use to make rows, for
-- the test server's template database only (the program never calls them).

-- printf with one whole number: '%d', '%5d' and '%05d'.
CREATE FUNCTION printf(f text, i bigint) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE
  m text[] := regexp_match(f, '%(0?)([0-9]*)d');
  v text := i::text;
BEGIN
  IF m IS NULL THEN
    RETURN f;
  END IF;
  IF m[2] <> '' THEN
    v := lpad(v, m[2]::int, CASE WHEN m[1] = '0' THEN '0' ELSE ' ' END);
  END IF;
  RETURN regexp_replace(f, '%0?[0-9]*d', v);
END
$$;

-- A statement refused with the message the trigger names, for the tests'
-- failing steps (SQLite's raise(abort, ...)).
CREATE FUNCTION velmora_test_fail() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  RAISE EXCEPTION '%', TG_ARGV[0];
END
$$;

-- typeof: how a value is stored ('null', 'integer', 'real', 'text').
CREATE FUNCTION typeof(x double precision) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN x IS NULL THEN 'null' ELSE 'real' END $$;
CREATE FUNCTION typeof(x bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN x IS NULL THEN 'null' ELSE 'integer' END $$;
CREATE FUNCTION typeof(x text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN x IS NULL THEN 'null' ELSE 'text' END $$;
