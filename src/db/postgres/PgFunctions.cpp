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
// These are the helpers (and the server's own forms of Jet's operators);
// Jet's functions are written overload by overload in PgOverloads.cpp.
// Overloads by type stand for Jet's loose typing: a function reads a text, a
// number or a date as Jet would. A lifted text arrives untyped, and
// PostgreSQL then chooses the text overload. The simple SQL functions are
// inlined into the statement by the planner, so a condition wrapped in
// jet_truth or jet_fold still uses the table's indexes. STRICT: a Null
// argument gives Null, as Jet's functions do; the planner inlines a STRICT
// function only when its body is strict too (no CASE, no function that is
// not STRICT), and an IMMUTABLE one only when its body calls nothing
// volatile (jet_fail is).
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
-- The first day is 1 (Sunday) to 7 (Saturday), 0 the system's (Sunday
-- here); another raises 5 and a Null one 94. A Null date gives Null first.
CREATE FUNCTION pg_temp.jet_weekday(v timestamp, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN NULL
    WHEN first IS NULL THEN pg_temp.jet_fail(94)
    WHEN round(first) NOT BETWEEN 0 AND 7 THEN pg_temp.jet_fail(5)
    ELSE ((extract(dow FROM v)::integer + 8 - greatest(round(first), 1)::integer) % 7) + 1 END$f$;
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
-- Minus of a value: a number keeps its type; a text that spells a number is
-- that number (any other raises 13), a date its serial.
CREATE FUNCTION pg_temp.jet_neg(v smallint) RETURNS smallint LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v integer) RETURNS integer LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v bigint) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v numeric) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v real) RETURNS real LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT -v';
CREATE FUNCTION pg_temp.jet_neg(v text) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT -pg_temp.jet_numeral(v)';
CREATE FUNCTION pg_temp.jet_neg(v timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT -pg_temp.jet_number(v)';
-- Not of a number: bitwise, after rounding to a whole number.
CREATE FUNCTION pg_temp.jet_not(v double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT ~(round(v)::bigint)';

-- Numbers: the runtime's conversions round half to even, which is what
-- round() does with a double precision.
-- A text that is no number (as IsNumeric reads one: commas may group the
-- whole part's digits) is a type mismatch; beyond the type's range an
-- overflow.
CREATE FUNCTION pg_temp.jet_numeral(v text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN pg_temp.jet_isnumeric(v) <> 0 THEN replace(v, ',', '')::double precision
                    ELSE pg_temp.jet_fail(13) END$f$;
-- A part of a date or time built from its parts (DateSerial): Null is an invalid use of
-- Null, beyond a billion an overflow, else rounded half to even.
CREATE FUNCTION pg_temp.jet_part(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN abs(v) > 1e9 THEN pg_temp.jet_fail(6) ELSE round(v) END';
-- x ^ y: 0 to a negative power is beyond every number, a negative number to
-- a fraction has none.
CREATE FUNCTION pg_temp.jet_pow(a double precision, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN a = 0 AND b < 0 THEN pg_temp.jet_fail(6) WHEN a < 0 AND b <> trunc(b) THEN pg_temp.jet_fail(5) ELSE power(a, b) END';
-- The whole number nearest x, a half going to the even neighbour.
CREATE FUNCTION pg_temp.jet_half_even(x numeric) RETURNS numeric LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN abs(x - trunc(x)) = 0.5 THEN 2 * round(x / 2) ELSE round(x) END';
-- A whole number as a 64-bit integer; beyond that range it is the runtime's
-- overflow.
CREATE FUNCTION pg_temp.jet_whole(v double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN v >= -9223372036854775808 AND v < 9223372036854775808 THEN v::bigint
                    ELSE pg_temp.jet_fail(6) END$f$;
-- \ and Mod round both operands to whole numbers (halves to even) first.
-- A divisor that rounds to 0 is a division by zero before either operand is
-- measured against the range.
CREATE FUNCTION pg_temp.jet_intdiv(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN round(b) = 0 THEN pg_temp.jet_fail(11) ELSE pg_temp.jet_whole(round(a)) / pg_temp.jet_whole(round(b)) END';
CREATE FUNCTION pg_temp.jet_mod(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT CASE WHEN round(b) = 0 THEN pg_temp.jet_fail(11) ELSE pg_temp.jet_whole(round(a)) % pg_temp.jet_whole(round(b)) END';

-- Whether Format's pattern is a number's: a named number format, or a
-- pattern with a digit placeholder (0 or #) outside quotes and escapes; any
-- other is a date's.
CREATE FUNCTION pg_temp.jet_isnumberformat(p text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT lower(p) IN ('general number', 'currency', 'fixed', 'standard', 'percent', 'scientific',
                           'yes/no', 'true/false', 'on/off')
               OR p ~ '^([^"\\0#]|"[^"]*"|\\.)*[0#]'$f$;

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
CREATE FUNCTION pg_temp.jet_pad(t text, width integer) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT repeat('' '', greatest(width - length(t), 0)) || t';

-- Any value as the number Jet computes with: a date is days since 1899-12-30.
CREATE FUNCTION pg_temp.jet_number(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_number(v text) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_numeral(v)';
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

-- Dates. An interval is Jet's: yyyy q m y d w ww h n s, in any letter case.
-- The first day of the week is 1 (Sunday) to 7 (Saturday).
CREATE FUNCTION pg_temp.jet_weekstart(v timestamp, first double precision) RETURNS date LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT v::date - ((extract(dow FROM v)::integer + 8 - first::integer) % 7)';
-- The interval takes no Null; any other Null gives Null.
CREATE FUNCTION pg_temp.jet_dateadd(unit text, n double precision, v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN unit IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94)) WHEN n IS NULL OR v IS NULL THEN NULL
    ELSE pg_temp.jet_made((v + CASE WHEN abs(trunc(n)) > CASE WHEN lower(unit) IN ('h', 'n', 's') THEN 1e9 ELSE 1e7 END
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
      ELSE make_interval(days => pg_temp.jet_fail(5)) END END)::timestamp(0), 5) END$f$;
-- DateDiff counts the boundaries of the interval between the two dates
-- (midnights for days, the first day of the week for ww); w counts whole
-- weeks.
CREATE FUNCTION pg_temp.jet_datediff(unit text, a timestamp, b timestamp, first double precision DEFAULT 1,
                                     week double precision DEFAULT 1) RETURNS bigint LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN unit IS NULL THEN pg_temp.jet_fail(94) WHEN num_nulls(a, b, first, week) > 0 THEN NULL
    ELSE CASE lower(unit)
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
      ELSE pg_temp.jet_fail(5) END::bigint END$f$;
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
  RETURNS integer LANGUAGE sql IMMUTABLE AS $f$SELECT CASE WHEN unit IS NULL THEN pg_temp.jet_fail(94)
    WHEN num_nulls(v, first, week) > 0 THEN NULL ELSE CASE lower(unit)
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
      ELSE pg_temp.jet_fail(5) END END$f$;
-- DateValue and TimeValue take no Null (94).
CREATE FUNCTION pg_temp.jet_datevalue(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS $f$SELECT CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94)) ELSE date_trunc('day', v) END$f$;
CREATE FUNCTION pg_temp.jet_datevalue(v text) RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT pg_temp.jet_datevalue(pg_temp.jet_cdate(v))';
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
CREATE FUNCTION pg_temp.jet_cdate(v double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94)) ELSE pg_temp.jet_serial(v) END';

)SQL";
}

// In one pass into a new text: replacing in place would move the rest of a
// text of several hundred kilobytes at each of its thousands of places.
void Replace(std::string& sql, std::string_view name, std::string_view text) {
  std::string out;
  out.reserve(sql.size());
  size_t from = 0;
  for (size_t at = sql.find(name); at != std::string::npos; at = sql.find(name, from)) {
    out.append(sql, from, at - from);
    out += text;
    from = at + name.size();
  }
  out.append(sql, from);
  sql = std::move(out);
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
    for (const char* type : {"integer", "bigint", "numeric", "double precision", "real"}) {
      const std::string head = std::string("CREATE FUNCTION pg_temp.jet_") + name + "(a ";
      const std::string tail = ") RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT ";
      // A Single counts as the number it shows, as beside any number.
      const bool single = std::string_view(type) == "real";
      sql += head + "text, b " + type + tail + "pg_temp.jet_numeral(a) " + op +
             (single ? " pg_temp.jet_single(b)';\n" : " b';\n");
      sql += head + type + ", b text" + tail + (single ? "pg_temp.jet_single(a) " : "a ") + op +
             " pg_temp.jet_numeral(b)';\n";
    }
  }
  // A date and a text that spells a number of days: the date that many days
  // on, or back.
  sql += R"SQL(
CREATE FUNCTION pg_temp.jet_add(a timestamp, b text) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_number(a) + pg_temp.jet_numeral(b))';
CREATE FUNCTION pg_temp.jet_add(a text, b timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_numeral(a) + pg_temp.jet_number(b))';
CREATE FUNCTION pg_temp.jet_sub(a timestamp, b text) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_number(a) - pg_temp.jet_numeral(b))';
)SQL";
  return sql;
}

// The server runs a statement on several processes only when every function
// it names may run there, and the functions are checked as named, before
// the planner inlines them: one function left unsafe (the default) keeps a
// whole listing on one process. Jet's own functions say so in their heads;
// of the rest every one is safe but jet_like, which keeps its last pattern
// in a setting of the session, which no statement may change while it runs
// in parallel. Made or replaced, a function is unsafe again until this runs.
std::string ParallelSafety() {
  return R"SQL(
DO $d$
DECLARE
  schema oid := (SELECT pronamespace FROM pg_proc WHERE oid = 'pg_temp.jet_fail'::regproc);
  f regprocedure;
BEGIN
  FOR f IN SELECT p.oid FROM pg_proc p WHERE p.pronamespace = schema AND p.prokind = 'f'
             AND p.proname NOT IN ('jet_like', 'jet_rnd') AND p.proparallel <> 's' LOOP
    EXECUTE 'ALTER FUNCTION ' || f::text || ' PARALLEL SAFE';
  END LOOP;
END $d$;
)SQL";
}

}  // namespace

const std::string& JetFunctionsSql() {
  // Never destroyed: a connection may still be opened while the program ends.
  static const std::string* const sql = [] {
    // The functions call each other in every order, so their bodies are
    // read when first called, not as each is made.
    std::string text =
        "SET LOCAL check_function_bodies = off;\n" + RegionalSettingsSql() +
        WithLetterCase(std::string(FunctionsSql()) + RegionalFunctionsSql() + TextBesideNumber()) +
        JetOverloadsSql() + ParallelSafety();
    Replace(text, "CREATE FUNCTION pg_temp.", "CREATE OR REPLACE FUNCTION pg_temp.");
    Replace(text, "CREATE AGGREGATE pg_temp.", "CREATE OR REPLACE AGGREGATE pg_temp.");
    Replace(text, "pg_temp.", std::string(kJetSchema) + '.');
    return new std::string(std::move(text));
  }();
  return *sql;
}

std::string JetFunctionsDigest() {
  // Worked out once, as the text is, and never destroyed with it: every
  // connection opened compares it with the database's.
  static const std::string* const digest = [] {
    // FNV-1a over the text: the same text, the same digest, on every machine.
    uint64_t hash = 14695981039346656037ull;
    for (const char c : JetFunctionsSql()) {
      hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return new std::string(text);
  }();
  return *digest;
}

}  // namespace tessaly::db::postgres
