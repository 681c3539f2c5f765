#include "db/postgres/PgFunctions.h"

namespace tessaly::db::postgres {

// Overloads by type stand for Jet's loose typing: a function reads a text, a
// number or a date as Jet would. A lifted text arrives untyped, and
// PostgreSQL then chooses the text overload. The simple SQL functions are
// inlined into the statement by the planner, so a condition wrapped in
// jet_truth or jet_fold still uses the table's indexes. STRICT: a Null
// argument gives Null, as Jet's functions do.
const char* JetFunctionsSql() {
  return R"SQL(
CREATE FUNCTION pg_temp.jet_truth(v boolean) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_truth(v double precision) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v <> 0';
CREATE FUNCTION pg_temp.jet_truth(v text) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v::double precision <> 0';
CREATE FUNCTION pg_temp.jet_fold(v text) RETURNS citext LANGUAGE sql IMMUTABLE AS 'SELECT v::citext';
CREATE FUNCTION pg_temp.jet_fold(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fold(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_fold(v boolean) RETURNS boolean LANGUAGE sql IMMUTABLE AS 'SELECT v';

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
CREATE FUNCTION pg_temp.jet_weekday(v timestamp, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT ((extract(dow FROM v)::integer + 8 - first::integer) % 7) + 1';
CREATE FUNCTION pg_temp.jet_weekday(v text, first double precision DEFAULT 1) RETURNS integer LANGUAGE sql STABLE STRICT
  AS 'SELECT pg_temp.jet_weekday(v::timestamp, first)';
CREATE FUNCTION pg_temp.jet_date() RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT date_trunc(''day'', localtimestamp)::timestamp(0)';
CREATE FUNCTION pg_temp.jet_now() RETURNS timestamp LANGUAGE sql STABLE AS 'SELECT localtimestamp(0)';
CREATE FUNCTION pg_temp.jet_time() RETURNS timestamp LANGUAGE sql STABLE
  AS 'SELECT (TIMESTAMP ''1899-12-30'' + (localtimestamp(0) - date_trunc(''day'', localtimestamp)))::timestamp(0)';
CREATE FUNCTION pg_temp.jet_cdate(v timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_cdate(v text) RETURNS timestamp LANGUAGE sql STABLE STRICT AS 'SELECT v::timestamp(0)';

CREATE FUNCTION pg_temp.jet_left(s text, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT left(s::text, n::integer)';
CREATE FUNCTION pg_temp.jet_left(s double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_left(s::text, n)';
CREATE FUNCTION pg_temp.jet_right(s text, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT right(s::text, n::integer)';
CREATE FUNCTION pg_temp.jet_right(s double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_right(s::text, n)';
CREATE FUNCTION pg_temp.jet_mid(s text, start double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT substr(s::text, start::integer)';
CREATE FUNCTION pg_temp.jet_mid(s double precision, start double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_mid(s::text, start)';
CREATE FUNCTION pg_temp.jet_mid(s text, start double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT substr(s, start::integer, n::integer)';
CREATE FUNCTION pg_temp.jet_mid(s double precision, start double precision, n double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT substr(s::text, start::integer, n::integer)';
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
CREATE FUNCTION pg_temp.jet_cstr(v text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::text';
CREATE FUNCTION pg_temp.jet_cstr(v double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_cstr(v::text)';
-- A date as its text form: the date alone at midnight, the time alone on
-- day 0, both otherwise.
CREATE FUNCTION pg_temp.jet_cstr(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT to_char(v, CASE WHEN v = date_trunc(''day'', v) THEN ''YYYY-MM-DD''
                             WHEN date_trunc(''day'', v) = TIMESTAMP ''1899-12-30'' THEN ''HH24:MI:SS''
                             ELSE ''YYYY-MM-DD HH24:MI:SS'' END)';
-- a & b & ...: a Null part is empty text; all of them Null give Null.
CREATE FUNCTION pg_temp.jet_concat(VARIADIC parts text[]) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN num_nonnulls(VARIADIC parts) = 0 THEN NULL ELSE array_to_string(parts, '''') END';
-- Any value as the text Jet's & and a text beside a number in Iif make of it.
CREATE FUNCTION pg_temp.jet_text(v text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_text(v real) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v::text';
CREATE FUNCTION pg_temp.jet_text(v double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v::text';
CREATE FUNCTION pg_temp.jet_text(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_cstr(v)';
CREATE FUNCTION pg_temp.jet_text(v boolean) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT CASE WHEN v THEN ''-1'' ELSE ''0'' END';

-- a Like p without regard to letter case, as a regular expression: the
-- provider's wildcards % _ [a-c] [^a-c], or with ansi89 Access's own
-- * ? # [a-c] [!a-c]. Inside brackets every character is itself; "[]"
-- stands for nothing, a bracket left open raises 93.
CREATE FUNCTION pg_temp.jet_like(s text, p text, ansi89 boolean) RETURNS boolean
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  re text := '^';
  i integer := 1;
  n integer := length(p);
  c text;
  stop integer;
  j integer;
  item text;
  many text := CASE WHEN ansi89 THEN '*' ELSE '%' END;
  one text := CASE WHEN ansi89 THEN '?' ELSE '_' END;
  negation text := CASE WHEN ansi89 THEN '!' ELSE '^' END;
BEGIN
  IF s IS NULL OR p IS NULL THEN RETURN NULL; END IF;
  WHILE i <= n LOOP
    c := substr(p, i, 1);
    IF c = many THEN
      re := re || '.*';
    ELSIF c = one THEN
      re := re || '.';
    ELSIF ansi89 AND c = '#' THEN
      re := re || '[0-9]';
    ELSIF c = '[' THEN
      stop := strpos(substr(p, i + 1), ']');
      IF stop = 0 THEN RAISE EXCEPTION 'jet-error 93' USING ERRCODE = '22023'; END IF;
      stop := stop + i;
      j := i + 1;
      item := '';
      IF j < stop AND substr(p, j, 1) = negation THEN
        item := '^';
        j := j + 1;
      END IF;
      IF j = stop THEN
        re := re || CASE WHEN item = '^' THEN '.' ELSE '' END;
      ELSE
        WHILE j < stop LOOP
          c := substr(p, j, 1);
          item := item || CASE WHEN c ~ '[[:alnum:]]' THEN c ELSE '\' || c END;
          IF j + 2 < stop AND substr(p, j + 1, 1) = '-' THEN
            c := substr(p, j + 2, 1);
            item := item || '-' || CASE WHEN c ~ '[[:alnum:]]' THEN c ELSE '\' || c END;
            j := j + 2;
          END IF;
          j := j + 1;
        END LOOP;
        re := re || '[' || item || ']';
      END IF;
      i := stop;
    ELSE
      re := re || CASE WHEN c ~ '[[:alnum:]]' THEN c ELSE '\' || c END;
    END IF;
    i := i + 1;
  END LOOP;
  RETURN s ~* (re || '$');
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
CREATE FUNCTION pg_temp.jet_clng(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT round(v)::integer';
CREATE FUNCTION pg_temp.jet_clng(v text) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT round(v::double precision)::integer';
CREATE FUNCTION pg_temp.jet_cint(v double precision) RETURNS smallint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT round(v)::smallint';
CREATE FUNCTION pg_temp.jet_cint(v text) RETURNS smallint LANGUAGE sql IMMUTABLE STRICT AS 'SELECT round(v::double precision)::smallint';
CREATE FUNCTION pg_temp.jet_cdbl(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_cdbl(v text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::double precision';
CREATE FUNCTION pg_temp.jet_csng(v double precision) RETURNS real LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::real';
CREATE FUNCTION pg_temp.jet_csng(v text) RETURNS real LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::real';
CREATE FUNCTION pg_temp.jet_val(v text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT COALESCE(substring(replace(v::text, ' ', '') FROM '^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?')::double precision, 0)$f$;
CREATE FUNCTION pg_temp.jet_int(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT floor(v)';
CREATE FUNCTION pg_temp.jet_fix(v double precision) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT trunc(v)';
CREATE FUNCTION pg_temp.jet_sgn(v double precision) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS 'SELECT sign(v)::integer';
CREATE FUNCTION pg_temp.jet_round(v double precision, places double precision DEFAULT 0) RETURNS double precision
  LANGUAGE sql IMMUTABLE STRICT AS 'SELECT round(v * 10 ^ places::integer) / 10 ^ places::integer';
CREATE FUNCTION pg_temp.jet_intdiv(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT round(a)::bigint / round(b)::bigint';
CREATE FUNCTION pg_temp.jet_mod(a double precision, b double precision) RETURNS bigint LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT round(a)::bigint % round(b)::bigint';

-- Format(value[, pattern]) with the date pattern letters: y, m, d, h, n
-- (minutes; m right after h too), s, repeated for width.
CREATE FUNCTION pg_temp.jet_format(v timestamp, p text) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE
  out text := '';
  i integer := 1;
  n integer := length(p);
  c text;
  k integer;
  after_hour boolean := false;
BEGIN
  WHILE i <= n LOOP
    c := lower(substr(p, i, 1));
    k := 1;
    IF c IN ('y', 'm', 'd', 'h', 'n', 's') THEN
      WHILE i + k <= n AND lower(substr(p, i + k, 1)) = c LOOP k := k + 1; END LOOP;
      IF c = 'm' AND after_hour THEN c := 'n'; END IF;
      out := out || to_char(v, CASE c
        WHEN 'y' THEN CASE WHEN k >= 3 THEN 'YYYY' WHEN k = 2 THEN 'YY' ELSE 'FMDDD' END
        WHEN 'm' THEN CASE WHEN k >= 4 THEN 'FMMonth' WHEN k = 3 THEN 'Mon' WHEN k = 2 THEN 'MM' ELSE 'FMMM' END
        WHEN 'd' THEN CASE WHEN k >= 4 THEN 'FMDay' WHEN k = 3 THEN 'Dy' WHEN k = 2 THEN 'DD' ELSE 'FMDD' END
        WHEN 'h' THEN CASE WHEN k >= 2 THEN 'HH24' ELSE 'FMHH24' END
        WHEN 'n' THEN CASE WHEN k >= 2 THEN 'MI' ELSE 'FMMI' END
        ELSE CASE WHEN k >= 2 THEN 'SS' ELSE 'FMSS' END
      END);
      after_hour := c = 'h';
    ELSE
      out := out || substr(p, i, 1);
    END IF;
    i := i + k;
  END LOOP;
  RETURN out;
END $f$;
CREATE FUNCTION pg_temp.jet_format(v double precision, p text) RETURNS text LANGUAGE sql IMMUTABLE STRICT
  AS $f$SELECT CASE WHEN p ~ '[0#]' THEN to_char(v, 'FM' || translate(p, '#', '9')) ELSE v::text END$f$;
-- A text that reads as a date is formatted as one; any other as it stands.
CREATE FUNCTION pg_temp.jet_format(v text, p text) RETURNS text LANGUAGE plpgsql STABLE STRICT AS $f$
BEGIN
  RETURN pg_temp.jet_format(v::timestamp, p);
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
  RETURN v;
END $f$;
CREATE FUNCTION pg_temp.jet_format(v text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_format(v double precision) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT v::text';
CREATE FUNCTION pg_temp.jet_format(v timestamp) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_cstr(v)';
)SQL";
}

}  // namespace tessaly::db::postgres
