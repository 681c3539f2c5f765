#include "db/postgres/PgFunctions.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "db/Letters.h"
#include "db/Rules.h"

namespace tessaly::db::postgres {

// The functions are written as a session's own (pg_temp.jet_...) and
// installed as the database's: JetFunctionsSql() puts them in the library's
// schema, each made or replaced, the type and cast behind IIf made when
// missing, so that running the text again brings an older installation up to
// this one without dropping what saved queries use.
//
// Overloads by type stand for Jet's loose typing: a function reads a text, a
// number or a date as Jet would. A lifted text arrives untyped, and
// PostgreSQL then chooses the text overload. The simple SQL functions are
// inlined into the statement by the planner, so a condition wrapped in
// jet_truth or jet_fold still uses the table's indexes. STRICT: a Null
// argument gives Null, as Jet's functions do.
namespace {

const char* FunctionsSql() {
  return R"SQL(
-- A Jet runtime error: "jet-error N", which the backend raises as error N.
-- Volatile, so the planner never calls it ahead of the CASE that guards it.
CREATE FUNCTION pg_temp.jet_fail(n integer) RETURNS integer LANGUAGE plpgsql VOLATILE
  AS $f$BEGIN RAISE EXCEPTION 'jet-error %', n USING ERRCODE = '22023'; END$f$;

CREATE FUNCTION pg_temp.jet_truth(v boolean) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_truth(v double precision) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v <> 0';
CREATE FUNCTION pg_temp.jet_truth(v text) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v::double precision <> 0';
CREATE FUNCTION pg_temp.jet_fold(v text) RETURNS citext LANGUAGE sql IMMUTABLE AS 'SELECT v::citext';
CREATE FUNCTION pg_temp.jet_fold(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fold(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fold(v boolean) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v';

-- An expression compared with a column: a text as citext, so that it
-- compares as the column's texts do, without regard to case; any other
-- value as it is.
CREATE FUNCTION pg_temp.jet_beside(v anyelement) RETURNS anyelement LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_beside(v text) RETURNS citext LANGUAGE sql IMMUTABLE AS 'SELECT v::citext';

-- A text compared with a column, read as the column's type. Not STRICT, so
-- the planner inlines them though the column goes unused.
CREATE FUNCTION pg_temp.jet_match(c citext, t text) RETURNS citext LANGUAGE sql IMMUTABLE AS 'SELECT t::citext';
CREATE FUNCTION pg_temp.jet_match(c text, t text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT t';
CREATE FUNCTION pg_temp.jet_match(c timestamp, t text) RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT t::timestamp';
CREATE FUNCTION pg_temp.jet_match(c double precision, t text) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN t ~ '^ *[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)? *$' THEN t::double precision END$f$;
CREATE FUNCTION pg_temp.jet_year(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT extract(year FROM v)::integer';
CREATE FUNCTION pg_temp.jet_year(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT extract(year FROM v::timestamp)::integer';
CREATE FUNCTION pg_temp.jet_month(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT extract(month FROM v)::integer';
CREATE FUNCTION pg_temp.jet_month(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT extract(month FROM v::timestamp)::integer';
CREATE FUNCTION pg_temp.jet_day(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT extract(day FROM v)::integer';
CREATE FUNCTION pg_temp.jet_day(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT extract(day FROM v::timestamp)::integer';
CREATE FUNCTION pg_temp.jet_hour(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT extract(hour FROM v)::integer';
CREATE FUNCTION pg_temp.jet_hour(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT extract(hour FROM v::timestamp)::integer';
CREATE FUNCTION pg_temp.jet_minute(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT extract(minute FROM v)::integer';
CREATE FUNCTION pg_temp.jet_minute(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT extract(minute FROM v::timestamp)::integer';
CREATE FUNCTION pg_temp.jet_second(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT floor(extract(second FROM v))::integer';
CREATE FUNCTION pg_temp.jet_second(v text) RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT floor(extract(second FROM v::timestamp))::integer';
-- The first day is 1 (Sunday) to 7 (Saturday), 0 the system's (Sunday
-- here); another raises 5 and a Null one 94. A Null date gives Null first.
CREATE FUNCTION pg_temp.jet_weekday(v timestamp, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN NULL
    WHEN first IS NULL THEN pg_temp.jet_fail(94)
    WHEN round(first) NOT BETWEEN 0 AND 7 THEN pg_temp.jet_fail(5)
    ELSE ((extract(dow FROM v)::integer + 8 - greatest(round(first), 1)::integer) % 7) + 1 END$f$;
CREATE FUNCTION pg_temp.jet_weekday(v text, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_weekday(v::timestamp, first)';
CREATE FUNCTION pg_temp.jet_date() RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT date_trunc(''day'', localtimestamp)::timestamp(0)';
CREATE FUNCTION pg_temp.jet_now() RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT localtimestamp(0)';
CREATE FUNCTION pg_temp.jet_time() RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT (TIMESTAMP ''1899-12-30'' + (localtimestamp(0) - date_trunc(''day'', localtimestamp)))::timestamp(0)';
CREATE FUNCTION pg_temp.jet_cdate(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
-- CDate: a text as the runtime reads dates (two-digit years 30-99 are
-- 1930-1999, 0-29 2000-2029), a number as days since 1899-12-30; a text
-- that is no date is a type mismatch, Null an invalid use of Null.
CREATE FUNCTION pg_temp.jet_cdate(v text) RETURNS timestamp LANGUAGE plpgsql STABLE AS $f$
DECLARE
  d timestamp;
  y text;
BEGIN
  IF v IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  d := v::timestamp(0);
  y := substring(v FROM '(?:^|[^0-9:])([0-9]{1,2})(?:\s+[0-9]{1,2}:[0-9].*)?\s*$');
  IF y IS NOT NULL AND v !~ '[0-9]{3}' THEN
    d := make_timestamp(CASE WHEN y::integer < 30 THEN 2000 ELSE 1900 END + y::integer,
                        extract(month FROM d)::integer, extract(day FROM d)::integer,
                        extract(hour FROM d)::integer, extract(minute FROM d)::integer, extract(second FROM d));
  END IF;
  IF d < TIMESTAMP '0100-01-01' OR d >= TIMESTAMP '10000-01-01' THEN PERFORM pg_temp.jet_fail(13); END IF;
  RETURN d;
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
  PERFORM pg_temp.jet_fail(13);
END $f$;

-- CDate(setting, value): a year-first setting reads three short numbers
-- ("05/3/4") as year, month and day when they make a day, and its long date
-- ("2005年3月4日") as its numbers; otherwise as CDate(value), where a first
-- number that is no month is the day ("13/4/2005" is April 13).
CREATE FUNCTION pg_temp.jet_cdate(r integer, v text) RETURNS timestamp LANGUAGE plpgsql STABLE AS $f$
DECLARE
  parts text[];
  y integer;
BEGIN
  IF v IS NOT NULL AND r = 2 THEN
    v := replace(replace(replace(v, '年', '-'), '月', '-'), '日', '');
    parts := regexp_match(v, '^\s*([0-9]{1,2})([-/])([0-9]{1,2})\2([0-9]{1,2})(\s.*)?$');
    IF parts IS NOT NULL THEN
      y := parts[1]::integer + CASE WHEN parts[1]::integer < 30 THEN 2000 ELSE 1900 END;
      IF parts[3]::integer BETWEEN 1 AND 12 AND parts[4]::integer >= 1
         AND parts[4]::integer <= extract(day FROM make_date(y, parts[3]::integer, 1) + interval '1 month' - interval '1 day') THEN
        v := y::text || '-' || parts[3] || '-' || parts[4] || coalesce(parts[5], '');
      END IF;
    END IF;
  END IF;
  parts := regexp_match(v, '^\s*([0-9]{1,2})([-/])([0-9]{1,2})\2([0-9]{1,4})(\s.*)?$');
  IF parts IS NOT NULL AND parts[1]::integer > 12 AND parts[3]::integer BETWEEN 1 AND 12 THEN
    v := parts[3] || '/' || parts[1] || '/' || parts[4] || coalesce(parts[5], '');
  END IF;
  RETURN pg_temp.jet_cdate(v);
END $f$;
CREATE FUNCTION pg_temp.jet_cdate(r integer, v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN TIMESTAMP '1899-12-30' + make_interval(days => pg_temp.jet_fail(94)) ELSE v END$f$;
-- CVDate: CDate, but Null stays Null.
CREATE FUNCTION pg_temp.jet_cvdate(r integer, v text) RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT CASE WHEN v IS NULL THEN NULL ELSE pg_temp.jet_cdate(r, v) END';
CREATE FUNCTION pg_temp.jet_cvdate(r integer, v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT v';

-- A character count or position, rounded as CLng rounds: Null raises 94,
-- beyond a Long 6.
CREATE FUNCTION pg_temp.jet_count(n double precision) RETURNS integer LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)
                    WHEN round(n) BETWEEN -2147483648 AND 2147483647 THEN round(n)::integer
                    ELSE pg_temp.jet_fail(6) END$f$;
-- Left, Right: a length below 0 raises 5, a Null length 94; Null text gives
-- Null. Mid: a start below 1 raises 5 as well.
CREATE FUNCTION pg_temp.jet_left(s text, n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text ELSE left(s::text, pg_temp.jet_count(n)) END';
CREATE FUNCTION pg_temp.jet_left(s double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_left(s::text, n)';
CREATE FUNCTION pg_temp.jet_right(s text, n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text ELSE right(s::text, pg_temp.jet_count(n)) END';
CREATE FUNCTION pg_temp.jet_right(s double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_right(s::text, n)';
CREATE FUNCTION pg_temp.jet_mid(s text, start double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN pg_temp.jet_count(start) < 1 THEN pg_temp.jet_fail(5)::text ELSE substr(s::text, pg_temp.jet_count(start)) END';
CREATE FUNCTION pg_temp.jet_mid(s double precision, start double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_mid(s::text, start)';
CREATE FUNCTION pg_temp.jet_mid(s text, start double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN pg_temp.jet_count(start) < 1 OR pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text
                  ELSE substr(s::text, pg_temp.jet_count(start), pg_temp.jet_count(n)) END';
CREATE FUNCTION pg_temp.jet_mid(s double precision, start double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_mid(s::text, start, n)';
CREATE FUNCTION pg_temp.jet_len(s text) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT length(s::text)';
CREATE FUNCTION pg_temp.jet_len(s double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_len(s::text)';
CREATE FUNCTION pg_temp.jet_trim(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT btrim(s::text, '' '')';
CREATE FUNCTION pg_temp.jet_trim(s double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_trim(s::text)';
CREATE FUNCTION pg_temp.jet_ltrim(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT ltrim(s::text, '' '')';
CREATE FUNCTION pg_temp.jet_ltrim(s double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_ltrim(s::text)';
CREATE FUNCTION pg_temp.jet_rtrim(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT rtrim(s::text, '' '')';
CREATE FUNCTION pg_temp.jet_rtrim(s double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_rtrim(s::text)';
CREATE FUNCTION pg_temp.jet_ucase(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT upper(s::text)';
CREATE FUNCTION pg_temp.jet_ucase(s double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_ucase(s::text)';
CREATE FUNCTION pg_temp.jet_lcase(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT lower(s::text)';
CREATE FUNCTION pg_temp.jet_lcase(s double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_lcase(s::text)';
-- CStr of Null is an invalid use of Null.
CREATE FUNCTION pg_temp.jet_cstr(v text) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::text ELSE v::text END';
-- A date as its text form: the time alone on day 0 (day 0 at midnight too),
-- the date alone at midnight, both otherwise.
CREATE FUNCTION pg_temp.jet_datetext(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT to_char(v, CASE WHEN date_trunc(''day'', v) = TIMESTAMP ''1899-12-30'' THEN ''HH24:MI:SS''
                             WHEN v = date_trunc(''day'', v) THEN ''YYYY-MM-DD''
                             ELSE ''YYYY-MM-DD HH24:MI:SS'' END)';
CREATE FUNCTION pg_temp.jet_cstr(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::text ELSE pg_temp.jet_datetext(v) END';
-- The text functions read a date as its text, as CStr writes it.
CREATE FUNCTION pg_temp.jet_len(s timestamp) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT length(pg_temp.jet_datetext(s))';
CREATE FUNCTION pg_temp.jet_left(s timestamp, n double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_left(pg_temp.jet_datetext(s), n)';
CREATE FUNCTION pg_temp.jet_right(s timestamp, n double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_right(pg_temp.jet_datetext(s), n)';
CREATE FUNCTION pg_temp.jet_mid(s timestamp, start double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_mid(pg_temp.jet_datetext(s), start)';
CREATE FUNCTION pg_temp.jet_mid(s timestamp, start double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_mid(pg_temp.jet_datetext(s), start, n)';
-- a & b & ...: a Null part is empty text; all of them Null give Null.
CREATE FUNCTION pg_temp.jet_concat(VARIADIC parts text[]) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN num_nonnulls(VARIADIC parts) = 0 THEN NULL ELSE array_to_string(parts, '''') END';
-- Any value as the text Jet's & and a text beside a number in Iif make of it.
CREATE FUNCTION pg_temp.jet_text(v text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_text(v real) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v::text';
-- A Double at 15 significant digits (0.333333333333333, 1E+300), as the
-- runtime writes it.
CREATE FUNCTION pg_temp.jet_text(v double precision) RETURNS text LANGUAGE sql IMMUTABLE
  SET extra_float_digits = 0 AS 'SELECT upper(v::text)';
CREATE FUNCTION pg_temp.jet_text(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_datetext(v)';
CREATE FUNCTION pg_temp.jet_text(v boolean) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT CASE WHEN v THEN ''-1'' ELSE ''0'' END';
CREATE FUNCTION pg_temp.jet_cstr(v double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::text ELSE pg_temp.jet_text(v) END';
-- IIf of a text beside a number (iif(F_X = 0, '', F_X)) gives the Variant
-- of the branch taken, a text or a number. A CASE has one type: each branch
-- becomes this row, which the backend reads back as the value it holds, and
-- which reads as its text wherever a text is wanted. Null stays Null by the
-- body's CASE, not by STRICT: the planner inlines a function into the
-- statement only when its body gives Null as STRICT would, which a ROW does
-- not, and a call per cell costs far more than the row.
DO $d$ BEGIN CREATE TYPE pg_temp.jet_variant AS (number double precision, text text, whole boolean);
EXCEPTION WHEN duplicate_object THEN NULL; END $d$;
CREATE FUNCTION pg_temp.jet_variant(v text) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(NULL, v, NULL)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v double precision) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v, NULL, false)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v real) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v::text::double precision, NULL, false)::pg_temp.jet_variant END';  -- as the number it shows
CREATE FUNCTION pg_temp.jet_variant(v numeric) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v, NULL, false)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v smallint) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v, NULL, true)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v integer) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v, NULL, true)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v bigint) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(v, NULL, true)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant(v timestamp) RETURNS pg_temp.jet_variant LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NOT NULL THEN ROW(NULL, pg_temp.jet_datetext(v), NULL)::pg_temp.jet_variant END';
CREATE FUNCTION pg_temp.jet_variant_text(v pg_temp.jet_variant) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT coalesce(v.text, pg_temp.jet_text(v.number))';
DO $d$ BEGIN CREATE CAST (pg_temp.jet_variant AS text) WITH FUNCTION pg_temp.jet_variant_text(pg_temp.jet_variant) AS IMPLICIT;
EXCEPTION WHEN duplicate_object THEN NULL; END $d$;

-- One character of a regular expression: a backslash before what is not a
-- letter or digit keeps it literal.
CREATE FUNCTION pg_temp.jet_like_char(c text) RETURNS text LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN c ~ '^[a-zA-Z0-9]$' OR ascii(c) >= 128 THEN c ELSE '\' || c END$f$;
-- A text with its letters folded to lower case as Jet folds them.
CREATE FUNCTION pg_temp.jet_letters(s text) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT translate(s, '@UPPER@', '@LOWER@')$f$;
-- The other case of every letter from low to high: a letter is in a set
-- when either of its cases is. The alphabet holds at each character's place
-- its other case, or chr(1) where it has none.
CREATE FUNCTION pg_temp.jet_like_cases(low text, high text) RETURNS text LANGUAGE sql IMMUTABLE
  AS $f$SELECT replace(substr('@OTHER_CASE@', ascii(low) + 1, ascii(high) - ascii(low) + 1), chr(1), '')$f$;
-- a Like p without regard to letter case, for a pattern not written in the
-- statement: read as CompileLike reads one (the provider's wildcards % _
-- [a-c] [^a-c], or with ansi89 Access's own * ? # [a-c] [!a-c]; inside
-- brackets every character is itself, "[]" stands for nothing, a range's
-- ends may come in either order, a bracket left open raises 93) and written
-- as the regular expression LikeRegex makes of a written one: both cases of
-- every letter as Jet pairs them, matched with regard to case, so the
-- server's locale has no say.
CREATE FUNCTION pg_temp.jet_like(s text, p text, ansi89 boolean) RETURNS boolean
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  q text := pg_temp.jet_letters(p);
  re text := '^';
  i integer := 1;
  n integer := length(q);
  c text;
  stop integer;
  j integer;
  item text;
  low text;
  high text;
  cases text;
  many text := CASE WHEN ansi89 THEN '*' ELSE '%' END;
  one text := CASE WHEN ansi89 THEN '?' ELSE '_' END;
  negation text := CASE WHEN ansi89 THEN '!' ELSE '^' END;
  key text := CASE WHEN ansi89 THEN '*' ELSE '%' END || p;
BEGIN
  IF s IS NULL OR p IS NULL THEN RETURN NULL; END IF;
  -- The pattern of a column or parameter is mostly the same from row to
  -- row: the expression of the last one read is kept for the session.
  IF current_setting('tessaly.like_pattern', true) = key THEN
    RETURN s ~ current_setting('tessaly.like_regex');
  END IF;
  WHILE i <= n LOOP
    c := substr(q, i, 1);
    IF c = many THEN
      re := re || '.*';
    ELSIF c = one THEN
      re := re || '.';
    ELSIF ansi89 AND c = '#' THEN
      re := re || '[0-9]';
    ELSIF c = '[' THEN
      stop := strpos(substr(q, i + 1), ']');
      IF stop = 0 THEN RAISE EXCEPTION 'jet-error 93' USING ERRCODE = '22023'; END IF;
      stop := stop + i;
      j := i + 1;
      item := '';
      IF j < stop AND substr(q, j, 1) = negation THEN
        item := '^';
        j := j + 1;
      END IF;
      IF j = stop THEN
        re := re || CASE WHEN item = '^' THEN '.' ELSE '' END;
      ELSE
        cases := '';
        WHILE j < stop LOOP
          low := substr(q, j, 1);
          high := low;
          IF j + 2 < stop AND substr(q, j + 1, 1) = '-' THEN
            high := substr(q, j + 2, 1);
            IF ascii(high) < ascii(low) THEN
              c := low; low := high; high := c;
            END IF;
            j := j + 2;
          END IF;
          item := item || pg_temp.jet_like_char(low)
                  || CASE WHEN high <> low THEN '-' || pg_temp.jet_like_char(high) ELSE '' END;
          cases := cases || pg_temp.jet_like_cases(low, high);
          j := j + 1;
        END LOOP;
        re := re || '[' || item || cases || ']';
      END IF;
      i := stop;
    ELSIF pg_temp.jet_like_cases(c, c) <> '' THEN
      re := re || '[' || c || pg_temp.jet_like_cases(c, c) || ']';
    ELSE
      re := re || pg_temp.jet_like_char(c);
    END IF;
    i := i + 1;
  END LOOP;
  re := re || '$';
  PERFORM set_config('tessaly.like_regex', re, false);
  PERFORM set_config('tessaly.like_pattern', key, false);
  RETURN s ~ re;
END $f$;
-- Not of a number: bitwise, after rounding to a whole number.
CREATE FUNCTION pg_temp.jet_not(v double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT ~(round(v)::bigint)';
CREATE FUNCTION pg_temp.jet_not(v text) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT ~(round(v::double precision)::bigint)';

-- InStr([start,] text, sought[, compare]): compare 0 regards letter case, 1
-- and 2 (and none given: the database's textual order) do not. An empty
-- text or a start past its end finds nothing; an empty sought text is found
-- at start.
CREATE FUNCTION pg_temp.jet_instr(start double precision, s text, sought text, compare double precision) RETURNS integer
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  at integer;
BEGIN
  IF start IS NULL OR start < 1 OR compare < 0 OR compare > 2 THEN
    RAISE EXCEPTION 'jet-error 5' USING ERRCODE = '22023';
  END IF;
  IF s IS NULL OR sought IS NULL THEN RETURN NULL; END IF;
  IF s = '' OR start > length(s) THEN RETURN 0; END IF;
  IF sought = '' THEN RETURN start::integer; END IF;
  IF compare = 0 THEN
    at := strpos(substr(s, start::integer), sought);
  ELSE
    at := strpos(lower(substr(s, start::integer)), lower(sought));
  END IF;
  RETURN CASE WHEN at = 0 THEN 0 ELSE at + start::integer - 1 END;
END $f$;
CREATE FUNCTION pg_temp.jet_instr(s text, sought text) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_instr(1, s, sought, 1)';
CREATE FUNCTION pg_temp.jet_instr(start double precision, s text, sought text) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_instr(start, s, sought, 1)';

-- Numbers: the runtime's conversions round half to even, which is what
-- round() does with a double precision.
-- A text that is no number is a type mismatch; beyond the type's range an
-- overflow.
CREATE FUNCTION pg_temp.jet_numeral(v text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN v ~ '^\s*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?\s*$' THEN v::double precision
                    ELSE pg_temp.jet_fail(13) END$f$;
-- A part of a date or time built from its parts (DateSerial): Null is an invalid use of
-- Null, beyond a billion an overflow, else rounded half to even.
CREATE FUNCTION pg_temp.jet_part(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN abs(v) > 1e9 THEN pg_temp.jet_fail(6) ELSE round(v) END';
-- x ^ y: 0 to a negative power is beyond every number, a negative number to
-- a fraction has none.
CREATE FUNCTION pg_temp.jet_pow(a double precision, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN a = 0 AND b < 0 THEN pg_temp.jet_fail(6) WHEN a < 0 AND b <> trunc(b) THEN pg_temp.jet_fail(5) ELSE power(a, b) END';
CREATE FUNCTION pg_temp.jet_pow(a text, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_pow(pg_temp.jet_numeral(a), b)';
CREATE FUNCTION pg_temp.jet_pow(a double precision, b text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_pow(a, pg_temp.jet_numeral(b))';
-- The conversions to a number take no Null: an invalid use of Null.
CREATE FUNCTION pg_temp.jet_clng(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_count(v) END';
CREATE FUNCTION pg_temp.jet_clng(v text) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_count(pg_temp.jet_numeral(v)) END';
CREATE FUNCTION pg_temp.jet_cint(v double precision) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint
                  WHEN round(v) BETWEEN -32768 AND 32767 THEN round(v)::smallint ELSE pg_temp.jet_fail(6)::smallint END';
CREATE FUNCTION pg_temp.jet_cint(v text) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint ELSE pg_temp.jet_cint(pg_temp.jet_numeral(v)) END';
CREATE FUNCTION pg_temp.jet_cdbl(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE v END';
CREATE FUNCTION pg_temp.jet_cdbl(v text) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE replace(v, '','', '''')::double precision END';
-- CSng: the Single value as the Double that prints like it (CSng(0.1) reads
-- back as 0.1); a real's text is its shortest exact form.
CREATE FUNCTION pg_temp.jet_csng(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE v::real::text::double precision END';
CREATE FUNCTION pg_temp.jet_csng(v text) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_csng(pg_temp.jet_numeral(v)) END';
CREATE FUNCTION pg_temp.jet_val(v text) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE COALESCE(substring(replace(v::text, ' ', '') FROM '^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?')::double precision, 0) END$f$;
CREATE FUNCTION pg_temp.jet_int(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT floor(v)';
CREATE FUNCTION pg_temp.jet_fix(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT trunc(v)';
-- A whole number is its own Int and Fix, of its own type.
CREATE FUNCTION pg_temp.jet_int(v smallint) RETURNS smallint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_int(v integer) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_int(v bigint) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fix(v smallint) RETURNS smallint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fix(v integer) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fix(v bigint) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_sgn(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT sign(v)::integer';
-- The whole number nearest x, a half going to the even neighbour.
CREATE FUNCTION pg_temp.jet_half_even(x numeric) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN abs(x - trunc(x)) = 0.5 THEN 2 * round(x / 2) ELSE round(x) END';
-- A whole number as a 64-bit integer; beyond that range it is the runtime's
-- overflow.
CREATE FUNCTION pg_temp.jet_whole(v double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN v >= -9223372036854775808 AND v < 9223372036854775808 THEN v::bigint
                    ELSE pg_temp.jet_fail(6) END$f$;
-- Round(value[, places]): places 0 to 22; a value too large to scale has no
-- fractional digits and stays as it is. A whole number is rounded as a
-- Double, and past 64 bits it overflows. The scaled value is read at 15
-- digits first (a numeric made of a double has them), so 2.345 * 100 counts
-- as the 234.5 it is written as, and its half goes to the even neighbour.
CREATE FUNCTION pg_temp.jet_round(v double precision, places double precision DEFAULT 0) RETURNS double precision
  LANGUAGE sql IMMUTABLE STRICT AS $f$
SELECT CASE WHEN pg_temp.jet_count(places) NOT BETWEEN 0 AND 22 THEN pg_temp.jet_fail(5)
            WHEN abs(v) >= 1e307 / 10 ^ places::integer THEN v
            ELSE pg_temp.jet_half_even((v * 10 ^ places::integer)::numeric)::double precision
                 / 10 ^ places::integer END$f$;
CREATE FUNCTION pg_temp.jet_round(v bigint) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_whole(v::double precision)';
-- \ and Mod round both operands to whole numbers (halves to even) first.
-- A divisor that rounds to 0 is a division by zero before either operand is
-- measured against the range.
CREATE FUNCTION pg_temp.jet_intdiv(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN round(b) = 0 THEN pg_temp.jet_fail(11) ELSE pg_temp.jet_whole(round(a)) / pg_temp.jet_whole(round(b)) END';
CREATE FUNCTION pg_temp.jet_mod(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN round(b) = 0 THEN pg_temp.jet_fail(11) ELSE pg_temp.jet_whole(round(a)) % pg_temp.jet_whole(round(b)) END';

-- Format(value[, pattern]) of a date: the named formats, and the pattern
-- letters y, m, d, h, n (minutes; m right after h too), s, q, AM/PM (the
-- hour then counts to 12), ddddd (the short date) and dddddd (the long one),
-- repeated for width; text in double quotes stands as it is.
CREATE FUNCTION pg_temp.jet_format(r integer, v timestamp, p text) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE
  out text := '';
  i integer := 1;
  n integer;
  c text;
  k integer;
  after_hour boolean := false;
  twelve boolean;
  stop integer;
BEGIN
  IF lower(p) = 'general date' THEN RETURN pg_temp.jet_generaldate(r, v); END IF;
  IF lower(p) IN ('short date', 'medium date', 'long date', 'long time', 'medium time', 'short time') THEN
    p := pg_temp.jet_setting(r, lower(p));
  END IF;
  p := replace(replace(p, 'dddddd', pg_temp.jet_setting(r, 'long date')), 'ddddd', pg_temp.jet_setting(r, 'short date'));
  p := regexp_replace(p, 'ttttt', pg_temp.jet_setting(r, 'long time'), 'gi');
  n := length(p);
  twelve := p ~* '(am/pm|a/p|ampm)';
  WHILE i <= n LOOP
    c := lower(substr(p, i, 1));
    k := 1;
    -- am/pm and a/p keep the letter case of their first letter.
    IF lower(substr(p, i, 5)) = 'am/pm' THEN
      out := out || to_char(v, CASE WHEN substr(p, i, 1) = 'a' THEN 'am' ELSE 'AM' END);
      k := 5;
    ELSIF lower(substr(p, i, 3)) = 'a/p' THEN
      out := out || CASE WHEN substr(p, i, 1) = 'a' THEN CASE WHEN extract(hour FROM v) < 12 THEN 'a' ELSE 'p' END
                         ELSE CASE WHEN extract(hour FROM v) < 12 THEN 'A' ELSE 'P' END END;
      k := 3;
    ELSIF lower(substr(p, i, 4)) = 'ampm' THEN
      out := out || pg_temp.jet_setting(r, CASE WHEN extract(hour FROM v) < 12 THEN 'am' ELSE 'pm' END);
      k := 4;
    ELSIF c = 'c' THEN
      out := out || pg_temp.jet_generaldate(r, v);
    ELSIF c = 'w' THEN
      -- w: the weekday from Sunday; ww: the week of the year, the first
      -- holding January 1.
      IF lower(substr(p, i + 1, 1)) = 'w' THEN
        out := out || ((extract(doy FROM v)::integer - 1 + pg_temp.jet_weekday(date_trunc('year', v)) - 1) / 7 + 1)::text;
        k := 2;
      ELSE
        out := out || pg_temp.jet_weekday(v)::text;
      END IF;
    ELSIF c = '"' THEN
      stop := strpos(substr(p, i + 1), '"');
      IF stop = 0 THEN stop := n - i + 1; END IF;
      out := out || substr(p, i + 1, stop - 1);
      k := stop + 1;
    ELSIF c = 'q' THEN
      out := out || extract(quarter FROM v)::text;
    ELSIF c IN ('y', 'm', 'd', 'h', 'n', 's') THEN
      WHILE i + k <= n AND lower(substr(p, i + k, 1)) = c LOOP k := k + 1; END LOOP;
      IF c = 'm' AND after_hour THEN c := 'n'; END IF;
      -- The names of months and days are the setting's.
      IF c = 'm' AND k >= 3 THEN
        out := out || pg_temp.jet_name(r, CASE WHEN k >= 4 THEN 'month' ELSE 'short month' END, extract(month FROM v)::integer);
      ELSIF c = 'd' AND k >= 3 THEN
        out := out || pg_temp.jet_name(r, CASE WHEN k >= 4 THEN 'day' ELSE 'short day' END, extract(dow FROM v)::integer + 1);
      ELSE out := out || to_char(v, CASE c
        WHEN 'y' THEN CASE WHEN k >= 3 THEN 'YYYY' WHEN k = 2 THEN 'YY' ELSE 'FMDDD' END
        WHEN 'm' THEN CASE WHEN k >= 4 THEN 'FMMonth' WHEN k = 3 THEN 'Mon' WHEN k = 2 THEN 'MM' ELSE 'FMMM' END
        WHEN 'd' THEN CASE WHEN k >= 4 THEN 'FMDay' WHEN k = 3 THEN 'Dy' WHEN k = 2 THEN 'DD' ELSE 'FMDD' END
        WHEN 'h' THEN CASE WHEN twelve THEN CASE WHEN k >= 2 THEN 'HH12' ELSE 'FMHH12' END
                           WHEN k >= 2 THEN 'HH24' ELSE 'FMHH24' END
        WHEN 'n' THEN CASE WHEN k >= 2 THEN 'MI' ELSE 'FMMI' END
        ELSE CASE WHEN k >= 2 THEN 'SS' ELSE 'FMSS' END
      END);
      END IF;
      after_hour := c = 'h';
    ELSE
      out := out || substr(p, i, 1);
    END IF;
    i := i + k;
  END LOOP;
  RETURN out;
END $f$;
-- Format of a number: the named formats, and patterns of 0 # , . % with
-- up to three sections (positive;negative;zero), quoted text kept.
CREATE FUNCTION pg_temp.jet_format(r integer, v double precision, p text) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE
  negative boolean;
  sections text[];
  pattern text;
  x double precision := v;
  out text;
  lit text;
  mask text;
  whole text;
  digits text;
  places integer;
BEGIN
  CASE lower(p)
    WHEN 'general number' THEN RETURN v::numeric::text;  -- 15 significant digits, as the runtime prints
    WHEN 'fixed' THEN RETURN to_char(v, 'FM999999999999990.00');
    WHEN 'standard' THEN RETURN to_char(v, 'FM999,999,999,999,990.00');
    WHEN 'percent' THEN RETURN to_char(v * 100, 'FM999999999999990.00') || '%';
    WHEN 'scientific' THEN RETURN upper(btrim(to_char(v, '0.00EEEE')));
    WHEN 'currency' THEN p := pg_temp.jet_numberpattern(r, -1, -2, -2, -2, false, true);
    WHEN 'yes/no' THEN RETURN CASE WHEN v <> 0 THEN 'Yes' ELSE 'No' END;
    WHEN 'true/false' THEN RETURN CASE WHEN v <> 0 THEN 'True' ELSE 'False' END;
    WHEN 'on/off' THEN RETURN CASE WHEN v <> 0 THEN 'On' ELSE 'Off' END;
    ELSE NULL;
  END CASE;
  IF p !~ '[0#]' AND p !~ ';' THEN RETURN v::text; END IF;
  sections := string_to_array(p, ';');
  pattern := sections[1];
  IF v < 0 AND array_length(sections, 1) >= 2 AND sections[2] <> '' THEN
    pattern := sections[2];
    x := abs(v);
  END IF;
  IF v = 0 AND array_length(sections, 1) >= 3 AND sections[3] <> '' THEN pattern := sections[3]; END IF;
  IF pattern !~ '[0#]' THEN RETURN replace(pattern, '"', ''); END IF;
  -- The minus of a section that shows none of its own goes before its text.
  negative := x < 0;
  x := abs(x);
  -- The runtime has no infinite Double: a percentage beyond its range
  -- overflows.
  IF pattern ~ '%' THEN
    IF abs(x) > 1.7976931348623157e306 THEN PERFORM pg_temp.jet_fail(6); END IF;
    x := x * 100;
  END IF;
  lit := substring(pattern FROM '^[^0#,.]*');
  mask := substring(pattern FROM '[0#,.]+');
  whole := split_part(mask, '.', 1);
  digits := repeat('9', 15 - length(replace(replace(whole, '#', ''), ',', ''))) || replace(replace(whole, '#', ''), ',', '');
  IF whole ~ ',' THEN digits := regexp_replace(digits, '([09])(?=([09]{3})+$)', '\1,', 'g'); END IF;
  IF mask ~ '\.' THEN digits := digits || '.' || translate(split_part(mask, '.', 2), '#,', '9'); END IF;
  -- As a numeric, at 15 significant digits, rounded half away from zero;
  -- a value that rounds to zero has no sign.
  places := length(substring(split_part(mask, '.', 2) FROM '^[0#]*'));
  out := to_char(round(x::numeric, places) + 0, 'FM' || digits);
  RETURN CASE WHEN negative AND out ~ '[1-9]' THEN '-' ELSE '' END
         || replace(lit, '"', '') || out || replace(substring(pattern FROM '[0#,.]+(.*)$'), '"', '');
END $f$;
-- A text that reads as a date is formatted as one; any other as it stands.
CREATE FUNCTION pg_temp.jet_format(r integer, v text, p text) RETURNS text LANGUAGE plpgsql STABLE STRICT AS $f$
BEGIN
  -- A text that is a number is formatted as one.
  IF v ~ '^\s*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?\s*$' THEN
    RETURN pg_temp.jet_format(r, v::double precision, p);
  END IF;
  RETURN pg_temp.jet_format(r, pg_temp.jet_cdate(r, v), p);
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow OR invalid_parameter_value THEN
  -- Any other text as it is.
  RETURN v;
END $f$;
CREATE FUNCTION pg_temp.jet_format(r integer, v text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_format(r integer, v double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::text';
CREATE FUNCTION pg_temp.jet_format(r integer, v timestamp) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_datetext(v)';
-- Format(value, pattern) with the pattern also as to_char writes it (the
-- dialect gives it for a pattern written in the statement): a date is
-- to_char's, inlined into the statement; STABLE as to_char is, or the
-- planner would not inline it.
CREATE FUNCTION pg_temp.jet_format(r integer, v timestamp, p text, native text) RETURNS text LANGUAGE sql STABLE
  AS 'SELECT to_char(v, native)';
CREATE FUNCTION pg_temp.jet_format(r integer, v double precision, p text, native text) RETURNS text LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_format(r, v, p)';
CREATE FUNCTION pg_temp.jet_format(r integer, v text, p text, native text) RETURNS text LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_format(r, v, p)';
-- General Date: the short date, the long time, or both (a date alone at
-- midnight, a time alone on day 0).
CREATE FUNCTION pg_temp.jet_generaldate(r integer, v timestamp) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
BEGIN
  IF r = 0 THEN RETURN pg_temp.jet_datetext(v); END IF;
  IF v::date = DATE '1899-12-30' THEN RETURN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long time')); END IF;
  IF v = date_trunc('day', v) THEN RETURN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short date')); END IF;
  RETURN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short date')) || ' '
         || pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long time'));
END $f$;
-- The pattern of FormatNumber, FormatPercent and FormatCurrency: places
-- decimals (-1: 2), a 0 before the point of a fraction, a negative in
-- parentheses, digits grouped by thousands (each -2: the setting's).
CREATE FUNCTION pg_temp.jet_numberpattern(r integer, places integer, lead integer, parens integer, grp integer,
                                          percent boolean, currency boolean) RETURNS text LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  number text := CASE WHEN grp = 0 THEN CASE WHEN lead = 0 THEN '#' ELSE '0' END
                      ELSE CASE WHEN lead = 0 THEN '#,###' ELSE '#,##0' END END;
  sign text := CASE WHEN currency THEN '"' || pg_temp.jet_setting(r, 'currency sign') || '"' ELSE '' END;
BEGIN
  IF places < -1 OR places > 255 THEN PERFORM pg_temp.jet_fail(5); END IF;
  IF places = -1 THEN places := 2; END IF;
  IF places > 0 THEN number := number || '.' || repeat('0', places); END IF;
  IF percent THEN number := number || '%'; END IF;
  IF parens = -1 OR (parens <> 0 AND currency AND pg_temp.jet_setting(r, 'parentheses') = 'yes') THEN
    RETURN sign || number || ';(' || sign || number || ')';
  ELSIF currency AND pg_temp.jet_setting(r, 'sign before minus') = 'yes' THEN
    RETURN sign || number || ';' || sign || '-' || number;
  END IF;
  RETURN sign || number;
END $f$;
-- A whole-number argument of the Format... functions: Null raises 94.
CREATE FUNCTION pg_temp.jet_whole_argument(n double precision) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN n IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_count(n) END';
CREATE FUNCTION pg_temp.jet_formatamount(r integer, v double precision, places double precision, lead double precision,
                                         parens double precision, grp double precision, percent boolean, currency boolean)
  RETURNS text LANGUAGE sql IMMUTABLE
  AS $f$SELECT pg_temp.jet_format(r, CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE v END,
                                  pg_temp.jet_numberpattern(r, pg_temp.jet_whole_argument(places), pg_temp.jet_whole_argument(lead),
                                                            pg_temp.jet_whole_argument(parens), pg_temp.jet_whole_argument(grp),
                                                            percent, currency))$f$;
CREATE FUNCTION pg_temp.jet_formatnumber(r integer, v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                         parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, v, places, lead, parens, grp, false, false)';
CREATE FUNCTION pg_temp.jet_formatpercent(r integer, v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                          parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, v, places, lead, parens, grp, true, false)';
CREATE FUNCTION pg_temp.jet_formatcurrency(r integer, v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                           parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, v, places, lead, parens, grp, false, true)';
-- A text is the number it spells (else 13).
CREATE FUNCTION pg_temp.jet_formatnumber(r integer, v text, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                         parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, false, false)';
CREATE FUNCTION pg_temp.jet_formatpercent(r integer, v text, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                          parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, true, false)';
CREATE FUNCTION pg_temp.jet_formatcurrency(r integer, v text, places double precision DEFAULT -1, lead double precision DEFAULT -2,
                                           parens double precision DEFAULT -2, grp double precision DEFAULT -2) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, false, true)';
-- FormatDateTime(date[, form]): 0 General Date, 1 Long Date, 2 Short Date,
-- 3 Long Time, 4 Short Time; any other form raises 5, a Null date 94.
CREATE FUNCTION pg_temp.jet_formatdatetime(r integer, v timestamp, form double precision DEFAULT 0) RETURNS text
  LANGUAGE plpgsql IMMUTABLE AS $f$
BEGIN
  IF v IS NULL OR form IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  RETURN CASE pg_temp.jet_count(form)
    WHEN 0 THEN pg_temp.jet_generaldate(r, v)
    WHEN 1 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long date'))
    WHEN 2 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short date'))
    WHEN 3 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long time'))
    WHEN 4 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short time'))
    ELSE pg_temp.jet_fail(5)::text END;
END $f$;
CREATE FUNCTION pg_temp.jet_formatdatetime(r integer, v text, form double precision DEFAULT 0) RETURNS text
  LANGUAGE plpgsql STABLE AS 'BEGIN RETURN pg_temp.jet_formatdatetime(r, pg_temp.jet_cdate(r, v), form); END';
CREATE FUNCTION pg_temp.jet_formatdatetime(r integer, v double precision, form double precision DEFAULT 0) RETURNS text
  LANGUAGE plpgsql IMMUTABLE AS 'BEGIN RETURN pg_temp.jet_formatdatetime(r, pg_temp.jet_cdate(v), form); END';
CREATE FUNCTION pg_temp.jet_pad(t text, width integer) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT repeat('' '', greatest(width - length(t), 0)) || t';
-- Partition(number, start, stop, interval): "lower:upper", each side padded
-- with blanks to the width of stop + 1; before start no lower end, after
-- stop no upper. Null gives Null; start below 0, stop not above start or an
-- interval below 1 raise 5.
CREATE FUNCTION pg_temp.jet_partition(n double precision, start double precision, stop double precision, step double precision)
  RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE
  x bigint := pg_temp.jet_count(n);
  a bigint := pg_temp.jet_count(start);
  b bigint := pg_temp.jet_count(stop);
  d bigint := pg_temp.jet_count(step);
  width integer := length((b + 1)::text);
  low bigint;
BEGIN
  IF a < 0 OR b <= a OR d < 1 THEN PERFORM pg_temp.jet_fail(5); END IF;
  IF x < a THEN RETURN repeat(' ', width) || ':' || pg_temp.jet_pad((a - 1)::text, width); END IF;
  IF x > b THEN RETURN pg_temp.jet_pad((b + 1)::text, width) || ':' || repeat(' ', width); END IF;
  low := a + (x - a) / d * d;
  RETURN pg_temp.jet_pad(low::text, width) || ':' || pg_temp.jet_pad(least(low + d - 1, b)::text, width);
END $f$;

-- Any value as the number Jet computes with: a date is days since 1899-12-30.
CREATE FUNCTION pg_temp.jet_number(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_number(v text) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT replace(v, '','', '''')::double precision';
-- Before day 0 the whole part counts back but the time still counts
-- forward from midnight: 1899-12-29 06:00 is -1.25.
CREATE FUNCTION pg_temp.jet_number(v timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN day < 0 THEN day - time ELSE day + time END
        FROM (SELECT (v::date - DATE '1899-12-30')::double precision AS day,
                     extract(epoch FROM v - date_trunc('day', v))::double precision / 86400 AS time) AS parts$f$;
-- Days since 1899-12-30 as a date, the fraction the time of day whatever the
-- sign (-1.25 is 1899-12-29 06:00); beyond the years 100 to 9999 an overflow.
CREATE FUNCTION pg_temp.jet_serial(v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT (TIMESTAMP '1899-12-30' + CASE WHEN trunc(v) < -657434 OR trunc(v) > 2958465 THEN make_interval(days => pg_temp.jet_fail(6))
                                              ELSE make_interval(days => trunc(v)::integer, secs => round(abs(v - trunc(v)) * 86400)) END)::timestamp(0)$f$;

-- A date a function made (DateSerial, DateAdd, CDate of a text), kept only
-- within the years 100 to 9999 as the runtime's dates are; beyond them error
-- n, the function's own.
CREATE FUNCTION pg_temp.jet_made(v timestamp, n integer) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v >= TIMESTAMP '0100-01-01' AND v < TIMESTAMP '10000-01-01' THEN v
                    ELSE TIMESTAMP '1899-12-30' + make_interval(days => pg_temp.jet_fail(n)) END$f$;

-- First and Last: the first and last rows' values as the rows come, Null
-- included (the state is a one-element array, so a Null value is kept).
CREATE FUNCTION pg_temp.jet_first_step(state anyarray, v anyelement) RETURNS anyarray LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN state IS NULL THEN ARRAY[v] ELSE state END';
CREATE FUNCTION pg_temp.jet_last_step(state anyarray, v anyelement) RETURNS anyarray LANGUAGE sql IMMUTABLE
  AS 'SELECT ARRAY[v]';
CREATE FUNCTION pg_temp.jet_only(state anyarray) RETURNS anyelement LANGUAGE sql IMMUTABLE AS 'SELECT state[1]';
CREATE AGGREGATE pg_temp.jet_first(anyelement) (SFUNC = pg_temp.jet_first_step, STYPE = anyarray, FINALFUNC = pg_temp.jet_only);
CREATE AGGREGATE pg_temp.jet_last(anyelement) (SFUNC = pg_temp.jet_last_step, STYPE = anyarray, FINALFUNC = pg_temp.jet_only);

-- Conversions. Null is an invalid use of Null.
CREATE FUNCTION pg_temp.jet_cbyte(v double precision) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint
                  WHEN round(v) BETWEEN 0 AND 255 THEN round(v)::smallint ELSE pg_temp.jet_fail(6)::smallint END';
CREATE FUNCTION pg_temp.jet_cbyte(v text) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint ELSE pg_temp.jet_cbyte(pg_temp.jet_number(v)) END';
-- IsNumeric: a number, or a text that reads as one (thousands separators allowed).
CREATE FUNCTION pg_temp.jet_isnumeric(v text) RETURNS integer LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NOT NULL AND btrim(v) ~ '^[+-]?([0-9][0-9,]*\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$' THEN -1 ELSE 0 END$f$;
CREATE FUNCTION pg_temp.jet_isnumeric(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN 0 ELSE -1 END';
CREATE FUNCTION pg_temp.jet_isnumeric(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT 0';
CREATE FUNCTION pg_temp.jet_cbool(v double precision) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN v <> 0 THEN -1 ELSE 0 END::smallint';
CREATE FUNCTION pg_temp.jet_cbool(v text) RETURNS smallint LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN lower(v) = 'true' THEN -1 WHEN lower(v) = 'false' THEN 0
                    WHEN pg_temp.jet_isnumeric(v) <> 0 THEN pg_temp.jet_cbool(pg_temp.jet_number(v))
                    ELSE pg_temp.jet_fail(13) END::smallint$f$;
CREATE FUNCTION pg_temp.jet_ccur(v double precision) RETURNS numeric LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE round(v::numeric, 4) END';
CREATE FUNCTION pg_temp.jet_ccur(v text) RETURNS numeric LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE round(replace(v, '','', '''')::numeric, 4) END';
CREATE FUNCTION pg_temp.jet_cdec(v double precision) RETURNS numeric LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE v::numeric END';
CREATE FUNCTION pg_temp.jet_cdec(v text) RETURNS numeric LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE replace(v, '','', '''')::numeric END';
-- A date converts to its serial, days since 1899-12-30; Int and Fix of a
-- date keep a date, its day without the time.
CREATE FUNCTION pg_temp.jet_cdbl(v timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cdbl(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_clng(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_clng(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_cint(v timestamp) RETURNS smallint LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cint(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_csng(v timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_csng(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_cbyte(v timestamp) RETURNS smallint LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cbyte(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_ccur(v timestamp) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_ccur(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_cdec(v timestamp) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cdec(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_int(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_serial(floor(pg_temp.jet_number(v)))';
CREATE FUNCTION pg_temp.jet_fix(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_serial(trunc(pg_temp.jet_number(v)))';
-- A text (or a Null written in the statement, whose type the server would
-- otherwise have to choose between a number and a date) reads as a number.
CREATE FUNCTION pg_temp.jet_int(v text) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_int(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_fix(v text) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_fix(pg_temp.jet_number(v))';
CREATE FUNCTION pg_temp.jet_cvar(v text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_cvar(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_cvar(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT v';
-- Null is not Empty: no value in a table is Empty.
CREATE FUNCTION pg_temp.jet_isempty(v text) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT 0';
CREATE FUNCTION pg_temp.jet_isempty(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT 0';
CREATE FUNCTION pg_temp.jet_isempty(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT 0';
CREATE FUNCTION pg_temp.jet_str(v double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN v >= 0 THEN ' ' ELSE '' END || pg_temp.jet_text(v)$f$;
CREATE FUNCTION pg_temp.jet_str(v text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_str(pg_temp.jet_number(v))';
-- Hex and Oct of a Long are of its 32 bits (Hex(-1) is FFFFFFFF).
CREATE FUNCTION pg_temp.jet_hex(v double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT upper(CASE WHEN round(v) BETWEEN -2147483648 AND 2147483647 THEN to_hex(round(v)::integer) ELSE to_hex(round(v)::bigint) END)';
CREATE FUNCTION pg_temp.jet_oct(v double precision) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE
  n bigint := round(v)::bigint;
  out text := '';
BEGIN
  IF n < 0 AND n >= -2147483648 THEN n := n + 4294967296; END IF;
  LOOP
    out := (n % 8)::text || out;
    n := n / 8;
    EXIT WHEN n = 0;
  END LOOP;
  RETURN out;
END $f$;

-- Mathematics: outside a function's domain the runtime raises 5.
CREATE FUNCTION pg_temp.jet_sqr(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN v >= 0 THEN sqrt(v) ELSE pg_temp.jet_fail(5) END';
CREATE FUNCTION pg_temp.jet_log(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN v > 0 THEN ln(v) ELSE pg_temp.jet_fail(5) END';
CREATE FUNCTION pg_temp.jet_exp(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT exp(v)';
CREATE FUNCTION pg_temp.jet_sin(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT sin(v)';
CREATE FUNCTION pg_temp.jet_cos(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT cos(v)';
CREATE FUNCTION pg_temp.jet_tan(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT tan(v)';
CREATE FUNCTION pg_temp.jet_atn(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT atan(v)';
CREATE FUNCTION pg_temp.jet_rnd(v double precision DEFAULT 1) RETURNS double precision LANGUAGE sql VOLATILE AS 'SELECT random()';
CREATE FUNCTION pg_temp.jet_timer() RETURNS double precision LANGUAGE sql STABLE
  AS $f$SELECT extract(epoch FROM localtimestamp - date_trunc('day', localtimestamp))::double precision$f$;

-- Text.
-- Asc, Chr and their wide forms take no Null (94).
CREATE FUNCTION pg_temp.jet_ascw(s text) RETURNS integer LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN s IS NULL THEN pg_temp.jet_fail(94) WHEN s = '' THEN pg_temp.jet_fail(5) ELSE ascii(s) END$f$;
-- Asc knows no code page beyond Latin-1: any other character is "?".
CREATE FUNCTION pg_temp.jet_asc(s text) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN pg_temp.jet_ascw(s) > 255 THEN 63 ELSE ascii(s) END';
CREATE FUNCTION pg_temp.jet_asc(s double precision) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_asc(s::text)';
CREATE FUNCTION pg_temp.jet_chrw(n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN round(n) NOT BETWEEN -2147483648 AND 2147483647 THEN pg_temp.jet_fail(6)::text
                  WHEN round(n) BETWEEN 0 AND 65535 AND round(n) <> 0 THEN chr(round(n)::integer) ELSE pg_temp.jet_fail(5)::text END';
CREATE FUNCTION pg_temp.jet_chr(n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN round(n) NOT BETWEEN -2147483648 AND 2147483647 THEN pg_temp.jet_fail(6)::text
                  WHEN round(n) BETWEEN 1 AND 255 THEN chr(round(n)::integer) ELSE pg_temp.jet_fail(5)::text END';
CREATE FUNCTION pg_temp.jet_space(n double precision) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN n >= 0 THEN repeat('' '', round(n)::integer) ELSE pg_temp.jet_fail(5)::text END';
CREATE FUNCTION pg_temp.jet_string(n double precision, c text) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN n >= 0 AND c <> '' THEN repeat(left(c, 1), round(n)::integer) ELSE pg_temp.jet_fail(5)::text END$f$;
CREATE FUNCTION pg_temp.jet_string(n double precision, c double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_string(n, pg_temp.jet_chrw(c))';
CREATE FUNCTION pg_temp.jet_strreverse(s text) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN s IS NULL THEN pg_temp.jet_fail(94)::text ELSE reverse(s) END';
CREATE FUNCTION pg_temp.jet_strconv(s text, mode double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE mode WHEN 1 THEN upper(s) WHEN 2 THEN lower(s) WHEN 3 THEN initcap(s) ELSE pg_temp.jet_fail(5)::text END';
-- StrComp: compare 0 by the characters' codes, 1 (the default) without
-- regard to letter case.
CREATE FUNCTION pg_temp.jet_strcomp(a text, b text, compare double precision DEFAULT 1) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $f$
SELECT CASE WHEN compare = 0 THEN
              CASE WHEN a COLLATE "C" < b COLLATE "C" THEN -1 WHEN a COLLATE "C" > b COLLATE "C" THEN 1 ELSE 0 END
            ELSE
              CASE WHEN lower(a) COLLATE "C" < lower(b) COLLATE "C" THEN -1
                   WHEN lower(a) COLLATE "C" > lower(b) COLLATE "C" THEN 1 ELSE 0 END END$f$;
-- InStrRev(text, sought[, start[, compare]]): the last place sought ends at
-- or before start (-1: the end).
CREATE FUNCTION pg_temp.jet_instrrev(s text, sought text, start double precision DEFAULT -1, compare double precision DEFAULT 1)
  RETURNS integer LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  last integer;
  t text;
  at integer;
BEGIN
  IF start IS NULL OR start = 0 OR start < -1 THEN PERFORM pg_temp.jet_fail(5); END IF;
  IF s IS NULL OR sought IS NULL THEN RETURN NULL; END IF;
  last := CASE WHEN start = -1 THEN length(s) ELSE start::integer END;
  IF last > length(s) THEN RETURN 0; END IF;
  IF sought = '' THEN RETURN last; END IF;
  t := left(s, last);
  IF compare <> 0 THEN t := lower(t); sought := lower(sought); END IF;
  at := strpos(reverse(t), reverse(sought));
  RETURN CASE WHEN at = 0 THEN 0 ELSE length(t) - at - length(sought) + 2 END;
END $f$;
-- Replace(text, find, with[, start[, count[, compare]]]): the text from
-- start on, with at most count (-1: every) finds replaced. The three texts
-- take no Null (94).
CREATE FUNCTION pg_temp.jet_replace(s text, find text, repl text, start double precision DEFAULT 1,
                                    count double precision DEFAULT -1, compare double precision DEFAULT 1)
  RETURNS text LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  rest text;
  out text := '';
  at integer;
  done integer := 0;
BEGIN
  IF start IS NULL OR start < 1 OR count IS NULL OR count < -1 THEN PERFORM pg_temp.jet_fail(5); END IF;
  IF s IS NULL OR find IS NULL OR repl IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  rest := substr(s, start::integer);
  IF find = '' OR count = 0 THEN RETURN rest; END IF;
  LOOP
    EXIT WHEN count <> -1 AND done >= count;
    at := CASE WHEN compare = 0 THEN strpos(rest, find) ELSE strpos(lower(rest), lower(find)) END;
    EXIT WHEN at = 0;
    out := out || left(rest, at - 1) || coalesce(repl, '');
    rest := substr(rest, at + length(find));
    done := done + 1;
  END LOOP;
  RETURN out || rest;
END $f$;

-- Dates. An interval is Jet's: yyyy q m y d w ww h n s, in any letter case.
-- The first day of the week is 1 (Sunday) to 7 (Saturday).
CREATE FUNCTION pg_temp.jet_weekstart(v timestamp, first double precision) RETURNS date LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT v::date - ((extract(dow FROM v)::integer + 8 - first::integer) % 7)';
CREATE FUNCTION pg_temp.jet_dateadd(unit text, n double precision, v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT pg_temp.jet_made((v + CASE WHEN abs(trunc(n)) > CASE WHEN lower(unit) IN ('h', 'n', 's') THEN 1e9 ELSE 1e7 END
      THEN make_interval(days => pg_temp.jet_fail(5)) ELSE CASE lower(unit)
      WHEN 'yyyy' THEN make_interval(months => 12 * trunc(n)::integer)
      WHEN 'q' THEN make_interval(months => 3 * trunc(n)::integer)
      WHEN 'm' THEN make_interval(months => trunc(n)::integer)
      WHEN 'y' THEN make_interval(days => trunc(n)::integer)
      WHEN 'd' THEN make_interval(days => trunc(n)::integer)
      WHEN 'w' THEN make_interval(days => trunc(n)::integer)
      WHEN 'ww' THEN make_interval(days => 7 * trunc(n)::integer)
      WHEN 'h' THEN make_interval(hours => trunc(n)::integer)
      WHEN 'n' THEN make_interval(mins => trunc(n)::integer)
      WHEN 's' THEN make_interval(secs => trunc(n))
      ELSE make_interval(days => pg_temp.jet_fail(5)) END END)::timestamp(0), 5)$f$;
CREATE FUNCTION pg_temp.jet_dateadd(unit text, n double precision, v text) RETURNS timestamp LANGUAGE sql STABLE STRICT
  AS 'SELECT pg_temp.jet_dateadd(unit, n, pg_temp.jet_cdate(v))';
CREATE FUNCTION pg_temp.jet_dateadd(unit text, n double precision, v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_dateadd(unit, n, pg_temp.jet_serial(v))';
-- DateDiff counts the boundaries of the interval between the two dates
-- (midnights for days, the first day of the week for ww); w counts whole
-- weeks.
CREATE FUNCTION pg_temp.jet_datediff(unit text, a timestamp, b timestamp, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE lower(unit)
      WHEN 'yyyy' THEN extract(year FROM b) - extract(year FROM a)
      WHEN 'q' THEN (extract(year FROM b) * 4 + extract(quarter FROM b)) - (extract(year FROM a) * 4 + extract(quarter FROM a))
      WHEN 'm' THEN (extract(year FROM b) * 12 + extract(month FROM b)) - (extract(year FROM a) * 12 + extract(month FROM a))
      WHEN 'y' THEN b::date - a::date
      WHEN 'd' THEN b::date - a::date
      WHEN 'w' THEN trunc((b::date - a::date) / 7.0)
      WHEN 'ww' THEN (pg_temp.jet_weekstart(b, first) - pg_temp.jet_weekstart(a, first)) / 7
      WHEN 'h' THEN extract(epoch FROM date_trunc('hour', b) - date_trunc('hour', a)) / 3600
      WHEN 'n' THEN extract(epoch FROM date_trunc('minute', b) - date_trunc('minute', a)) / 60
      WHEN 's' THEN extract(epoch FROM b - a)
      ELSE pg_temp.jet_fail(5) END::bigint$f$;
CREATE FUNCTION pg_temp.jet_datediff(unit text, a text, b text, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql STABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, pg_temp.jet_cdate(a), pg_temp.jet_cdate(b), first, week)';
CREATE FUNCTION pg_temp.jet_datediff(unit text, a text, b timestamp, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql STABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, pg_temp.jet_cdate(a), b, first, week)';
-- A number for either date is the date of that serial.
CREATE FUNCTION pg_temp.jet_datediff(unit text, a double precision, b double precision, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, pg_temp.jet_serial(a), pg_temp.jet_serial(b), first, week)';
CREATE FUNCTION pg_temp.jet_datediff(unit text, a double precision, b timestamp, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, pg_temp.jet_serial(a), b, first, week)';
CREATE FUNCTION pg_temp.jet_datediff(unit text, a timestamp, b double precision, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, a, pg_temp.jet_serial(b), first, week)';
CREATE FUNCTION pg_temp.jet_datediff(unit text, a timestamp, b text, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql STABLE STRICT
  AS 'SELECT pg_temp.jet_datediff(unit, a, pg_temp.jet_cdate(b), first, week)';
-- The week of the year: week 1 holds January 1 (week 1), January 4 (2: the
-- first week of four days) or January 7 (3: the first whole week).
CREATE FUNCTION pg_temp.jet_weekofyear(v timestamp, first double precision, week double precision) RETURNS integer
  LANGUAGE sql IMMUTABLE STRICT AS $f$
SELECT CASE
  WHEN week <> 1 AND v::date >= pg_temp.jet_weekstart(make_date(extract(year FROM v)::integer + 1, 1, anchor), first) THEN 1
  WHEN v::date < pg_temp.jet_weekstart(make_date(extract(year FROM v)::integer, 1, anchor), first) THEN
    (pg_temp.jet_weekstart(v, first) - pg_temp.jet_weekstart(make_date(extract(year FROM v)::integer - 1, 1, anchor), first)) / 7 + 1
  ELSE (pg_temp.jet_weekstart(v, first) - pg_temp.jet_weekstart(make_date(extract(year FROM v)::integer, 1, anchor), first)) / 7 + 1 END
FROM (SELECT CASE week WHEN 2 THEN 4 WHEN 3 THEN 7 ELSE 1 END AS anchor) AS a$f$;
CREATE FUNCTION pg_temp.jet_datepart(unit text, v timestamp, first double precision DEFAULT 1, week double precision DEFAULT 1)
  RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS $f$SELECT CASE lower(unit)
      WHEN 'yyyy' THEN extract(year FROM v)::integer
      WHEN 'q' THEN extract(quarter FROM v)::integer
      WHEN 'm' THEN extract(month FROM v)::integer
      WHEN 'y' THEN extract(doy FROM v)::integer
      WHEN 'd' THEN extract(day FROM v)::integer
      WHEN 'w' THEN pg_temp.jet_weekday(v, first)
      WHEN 'ww' THEN pg_temp.jet_weekofyear(v, first, week)
      WHEN 'h' THEN extract(hour FROM v)::integer
      WHEN 'n' THEN extract(minute FROM v)::integer
      WHEN 's' THEN extract(second FROM v)::integer
      ELSE pg_temp.jet_fail(5) END$f$;
CREATE FUNCTION pg_temp.jet_datepart(unit text, v text, first double precision DEFAULT 1, week double precision DEFAULT 1)
  RETURNS integer LANGUAGE sql STABLE STRICT AS 'SELECT pg_temp.jet_datepart(unit, pg_temp.jet_cdate(v), first, week)';
CREATE FUNCTION pg_temp.jet_datepart(unit text, v double precision, first double precision DEFAULT 1, week double precision DEFAULT 1)
  RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_datepart(unit, pg_temp.jet_serial(v), first, week)';
-- DateSerial carries months and days over; years 0-29 are 2000-2029, 30-99
-- 1930-1999.
CREATE FUNCTION pg_temp.jet_dateserial(y double precision, m double precision, d double precision) RETURNS timestamp
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  ry double precision;
  rm double precision;
  rd double precision;
BEGIN
  IF y IS NULL OR m IS NULL OR d IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  ry := pg_temp.jet_part(y);
  rm := pg_temp.jet_part(m);
  rd := pg_temp.jet_part(d);
  IF ry BETWEEN 0 AND 99 THEN ry := ry + CASE WHEN ry < 30 THEN 2000 ELSE 1900 END; END IF;
  -- Far beyond the years 100 to 9999 before the server's own dates end.
  IF abs(ry) > 20000 OR abs(rm) > 240000 OR abs(rd) > 7300000 THEN PERFORM pg_temp.jet_fail(5); END IF;
  RETURN pg_temp.jet_made((make_date(ry::integer, 1, 1) + make_interval(months => rm::integer - 1)
                           + make_interval(days => rd::integer - 1))::timestamp(0), 5);
END $f$;
-- TimeSerial: the time of day 0; values out of range carry, a time before
-- midnight falls on the day before.
CREATE FUNCTION pg_temp.jet_timeserial(h double precision, m double precision, s double precision) RETURNS timestamp
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  seconds double precision;
BEGIN
  IF h IS NULL OR m IS NULL OR s IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  seconds := pg_temp.jet_part(h) * 3600 + pg_temp.jet_part(m) * 60 + pg_temp.jet_part(s);
  IF abs(seconds) > 4e11 THEN PERFORM pg_temp.jet_fail(5); END IF;
  RETURN pg_temp.jet_made((TIMESTAMP '1899-12-30' + make_interval(secs => seconds))::timestamp(0), 5);
END $f$;
-- DateValue and TimeValue take no Null (94).
CREATE FUNCTION pg_temp.jet_datevalue(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94)) ELSE date_trunc('day', v) END$f$;
CREATE FUNCTION pg_temp.jet_datevalue(v text) RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT pg_temp.jet_datevalue(pg_temp.jet_cdate(v))';
CREATE FUNCTION pg_temp.jet_datevalue(r integer, v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_datevalue(v)';
CREATE FUNCTION pg_temp.jet_datevalue(r integer, v text) RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_datevalue(pg_temp.jet_cdate(r, v))';
CREATE FUNCTION pg_temp.jet_timevalue(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94))
                    ELSE TIMESTAMP '1899-12-30' + (v - date_trunc('day', v)) END$f$;
CREATE FUNCTION pg_temp.jet_timevalue(v text) RETURNS timestamp LANGUAGE plpgsql STABLE AS $f$
BEGIN
  IF v IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  RETURN TIMESTAMP '1899-12-30' + v::time(0);
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
  RETURN pg_temp.jet_timevalue(pg_temp.jet_cdate(v));
END $f$;
-- Both take a text: a number is read as its text ('38000.5', which is no
-- date), not as a serial.
CREATE FUNCTION pg_temp.jet_datevalue(r integer, v double precision) RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_datevalue(r, pg_temp.jet_text(v))';
CREATE FUNCTION pg_temp.jet_timevalue(v double precision) RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT pg_temp.jet_timevalue(pg_temp.jet_text(v))';
CREATE FUNCTION pg_temp.jet_isdate(v text) RETURNS integer LANGUAGE plpgsql STABLE AS $f$
BEGIN
  IF v IS NULL THEN RETURN 0; END IF;
  PERFORM v::timestamp;
  RETURN -1;
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
  RETURN 0;
END $f$;
CREATE FUNCTION pg_temp.jet_isdate(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT 0';
CREATE FUNCTION pg_temp.jet_isdate(v timestamp) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN 0 ELSE -1 END';
-- MonthName and WeekdayName: the setting's names; a Null argument raises 94.
CREATE FUNCTION pg_temp.jet_monthname(r integer, m double precision, short double precision DEFAULT 0) RETURNS text
  LANGUAGE sql IMMUTABLE AS $f$
SELECT CASE WHEN m IS NULL OR short IS NULL THEN pg_temp.jet_fail(94)::text
            WHEN round(m) BETWEEN 1 AND 12
            THEN pg_temp.jet_name(r, CASE WHEN short <> 0 THEN 'short month' ELSE 'month' END, round(m)::integer)
            ELSE pg_temp.jet_fail(5)::text END$f$;
CREATE FUNCTION pg_temp.jet_weekdayname(r integer, n double precision, short double precision DEFAULT 0, first double precision DEFAULT 1)
  RETURNS text LANGUAGE sql IMMUTABLE AS $f$
SELECT CASE WHEN n IS NULL OR short IS NULL THEN pg_temp.jet_fail(94)::text
            WHEN round(n) BETWEEN 1 AND 7 AND round(coalesce(first, 1)) BETWEEN 0 AND 7
            THEN pg_temp.jet_name(r, CASE WHEN short <> 0 THEN 'short day' ELSE 'day' END,
                                  (round(n)::integer + greatest(round(coalesce(first, 1))::integer, 1) - 2) % 7 + 1)
            ELSE pg_temp.jet_fail(5)::text END$f$;
CREATE FUNCTION pg_temp.jet_cdate(v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94)) ELSE pg_temp.jet_serial(v) END';
CREATE FUNCTION pg_temp.jet_cdate(r integer, v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cdate(v)';
CREATE FUNCTION pg_temp.jet_cvdate(r integer, v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN NULL ELSE pg_temp.jet_cdate(v) END';
-- A number where a date is read is the date of that serial (Month(100) is 4).
CREATE FUNCTION pg_temp.jet_year(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_year(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_month(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_month(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_day(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_day(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_hour(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_hour(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_minute(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_minute(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_second(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_second(pg_temp.jet_serial(v))';
CREATE FUNCTION pg_temp.jet_weekday(v double precision, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_weekday(pg_temp.jet_serial(v), first)';

)SQL";
}

void Replace(std::string& sql, std::string_view name, const std::string& text) {
  for (size_t at = sql.find(name); at != std::string::npos; at = sql.find(name, at + text.size())) {
    sql.replace(at, name.size(), text);
  }
}

// Jet's letter case (LowerOf, UpperOf), as the alphabets translate() maps
// between (every capital, and its small letter beside it) and as the other
// case at each character's place.
std::string WithLetterCase(std::string sql) {
  std::string upper, lower, other(1, '\x01');
  for (char32_t c = 1; c < kLetterCaseEnd; ++c) {
    if (LowerOf(c) != c) {
      Encode(c, upper);
      Encode(LowerOf(c), lower);
    }
    Encode(LowerOf(c) != c ? LowerOf(c) : UpperOf(c) != c ? UpperOf(c) : 1, other);
  }
  Replace(sql, "@UPPER@", upper);
  Replace(sql, "@LOWER@", lower);
  Replace(sql, "@OTHER_CASE@", other);
  return sql;
}

// + - * of a text beside a number of each type (the server would read the
// text as the number's type, failing with its own error): the text read as a
// number, else the runtime's type mismatch. Null beside a text is Null
// before the text is read.
std::string TextBesideNumber() {
  std::string sql;
  const std::pair<const char*, const char*> ops[] = {{"add", "+"}, {"sub", "-"}, {"mul", "*"}};
  for (const auto& [name, op] : ops) {
    for (const char* type : {"integer", "bigint", "numeric", "double precision"}) {
      const std::string head = std::string("CREATE FUNCTION pg_temp.jet_") + name + "(a ";
      const std::string tail = ") RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT ";
      sql += head + "text, b " + type + tail + "pg_temp.jet_numeral(a) " + op + " b';\n";
      sql += head + type + ", b text" + tail + "a " + op + " pg_temp.jet_numeral(b)';\n";
    }
  }
  return sql;
}

// The server runs a statement on several processes only when every function
// it names may run there, and the functions are checked as named, before
// the planner inlines them: one function left unsafe (the default) keeps a
// whole listing on one process. Every function is safe but two: jet_like
// keeps its last pattern in a setting of the session, which no statement
// may change while it runs in parallel, and jet_rnd draws from the
// session's own sequence, as random() does, so only the leading process
// may call it. Made or replaced, a function is unsafe again until this runs.
std::string ParallelSafety() {
  return R"SQL(
DO $d$
DECLARE
  schema oid := (SELECT pronamespace FROM pg_proc WHERE oid = 'pg_temp.jet_fail'::regproc);
  f regprocedure;
BEGIN
  FOR f IN SELECT p.oid FROM pg_proc p WHERE p.pronamespace = schema AND p.prokind = 'f'
             AND p.proname NOT IN ('jet_like', 'jet_rnd') LOOP
    EXECUTE 'ALTER FUNCTION ' || f::text || ' PARALLEL SAFE';
  END LOOP;
  FOR f IN SELECT p.oid FROM pg_proc p WHERE p.pronamespace = schema AND p.proname = 'jet_rnd' LOOP
    EXECUTE 'ALTER FUNCTION ' || f::text || ' PARALLEL RESTRICTED';
  END LOOP;
END $d$;
)SQL";
}

}  // namespace

const std::string& JetFunctionsSql() {
  // Never destroyed: a connection may still be opened while the program ends.
  static const std::string* const sql = [] {
    std::string text =
        RegionalSettingsSql() +
        WithLetterCase(std::string(FunctionsSql()) + RegionalFunctionsSql() + TextBesideNumber()) + ParallelSafety();
    Replace(text, "CREATE FUNCTION pg_temp.", "CREATE OR REPLACE FUNCTION pg_temp.");
    Replace(text, "CREATE AGGREGATE pg_temp.", "CREATE OR REPLACE AGGREGATE pg_temp.");
    Replace(text, "pg_temp.", std::string(kJetSchema) + '.');
    return new std::string(std::move(text));
  }();
  return *sql;
}

std::string JetFunctionsDigest() {
  // FNV-1a over the text: the same text, the same digest, on every machine.
  uint64_t hash = 14695981039346656037ull;
  for (const char c : JetFunctionsSql()) {
    hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace tessaly::db::postgres
