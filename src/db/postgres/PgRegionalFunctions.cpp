// The server's functions that answer by the regional setting: the table of
// the settings' patterns and names, and the helpers that take a setting
// before their arguments (part of the one text JetFunctionsSql runs); Jet's
// own regional functions are among the overloads of PgOverloads.cpp.
#include <string>
#include <string_view>

#include "db/Rules.h"
#include "db/postgres/PgFunctions.h"

namespace tessaly::db::postgres {

namespace {

// A text as a quoted SQL literal.
std::string Quoted(std::string_view text) { return rules::Delimited(text, '\''); }

}  // namespace

// The regional settings' patterns and names as the server's functions read
// them (jet_setting(setting, what), jet_name(setting, kind, n)), written from
// the one table the library keeps of them.
std::string RegionalSettingsSql() {
  std::string setting =
      "CREATE FUNCTION pg_temp.jet_setting(r integer, what text) RETURNS text LANGUAGE sql "
      "IMMUTABLE "
      "AS $f$SELECT CASE r";
  std::string names =
      "CREATE FUNCTION pg_temp.jet_name(r integer, kind text, n integer) RETURNS text LANGUAGE sql "
      "IMMUTABLE AS $f$SELECT (CASE r";
  for (int i = 0; i < rules::kRegions; ++i) {
    const rules::RegionalSetting& r = rules::SettingOf(static_cast<rules::Region>(i));
    const std::pair<std::string_view, std::string_view> values[] = {
        {"short date", r.short_date},
        {"medium date", r.medium_date},
        {"long date", r.long_date},
        {"long time", r.long_time},
        {"medium time", r.medium_time},
        {"short time", r.short_time},
        {"currency sign", r.currency_sign},
        {"parentheses", r.currency_parentheses ? "yes" : "no"},
        {"sign before minus", r.sign_before_minus ? "yes" : "no"},
        {"am", r.am},
        {"pm", r.pm},
    };
    setting += " WHEN " + std::to_string(i) + " THEN CASE what";
    for (const auto& [what, value] : values) {
      setting += " WHEN " + Quoted(what) + " THEN " + Quoted(value);
    }
    setting += " END";
    const std::pair<std::string_view, const std::string_view*> lists[] = {
        {"month", r.months},
        {"short month", r.short_months},
        {"day", r.days},
        {"short day", r.short_days}};
    names += " WHEN " + std::to_string(i) + " THEN CASE kind";
    for (const auto& [kind, list] : lists) {
      names += " WHEN " + Quoted(kind) + " THEN ARRAY[";
      const size_t count = kind.ends_with("month") ? 12 : 7;
      for (size_t k = 0; k < count; ++k) {
        if (k != 0) names += ", ";
        names += Quoted(list[k]);
      }
      names += ']';
    }
    names += " END";
  }
  setting += " END$f$;\n";
  names += " END)[n]$f$;\n";
  return setting + names;
}

const char* RegionalFunctionsSql() {
  return R"SQL(-- The functions that read or write a date as text take the regional setting
-- first (r, as rules::Region numbers it). A text is read as CDate reads it in
-- the setting (a time alone on day 0); one that is no date is a mismatch, as
-- in a comparison.
CREATE FUNCTION pg_temp.jet_dateof(r integer, v text) RETURNS timestamp LANGUAGE plpgsql STABLE STRICT AS $f$
BEGIN
  IF v ~ '^\s*[0-9]{1,2}:[0-9]' THEN RETURN TIMESTAMP '1899-12-30' + v::time(0); END IF;
  RETURN pg_temp.jet_cdate(r, v);
EXCEPTION WHEN invalid_parameter_value OR invalid_datetime_format OR datetime_field_overflow THEN
  RAISE EXCEPTION 'no date' USING ERRCODE = '22007';
END $f$;
-- A date as text (CStr, &) is the setting's General Date.
CREATE FUNCTION pg_temp.jet_text(r integer, v timestamp) RETURNS text LANGUAGE sql IMMUTABLE
  AS 'SELECT CASE WHEN r = 0 THEN pg_temp.jet_datetext(v) ELSE pg_temp.jet_generaldate(r, v) END';
CREATE FUNCTION pg_temp.jet_text(r integer, v text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT v';
CREATE FUNCTION pg_temp.jet_text(r integer, v real) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_text(v)';
CREATE FUNCTION pg_temp.jet_text(r integer, v double precision) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_text(v)';
CREATE FUNCTION pg_temp.jet_text(r integer, v boolean) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_text(v)';

-- + and - as Jet reads them: numbers keep their type, a date and a number of
-- days give a date, two dates the days between them, two texts are joined.
-- Whole numbers add, subtract and multiply in 64 bits: a Long result too
-- large for a Long reads back as a Double, as Jet's did.
CREATE FUNCTION pg_temp.jet_add(a integer, b integer) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a::bigint + b';
CREATE FUNCTION pg_temp.jet_add(a bigint, b bigint) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a + b';
CREATE FUNCTION pg_temp.jet_add(a numeric, b numeric) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT a + b';
CREATE FUNCTION pg_temp.jet_add(a double precision, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a + b';
CREATE FUNCTION pg_temp.jet_add(a text, b text) RETURNS text LANGUAGE sql IMMUTABLE AS 'SELECT a || b';
CREATE FUNCTION pg_temp.jet_add(a timestamp, b double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_number(a) + b)';
CREATE FUNCTION pg_temp.jet_add(a double precision, b timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_serial(a + pg_temp.jet_number(b))';
-- A day and a time of day (or any two dates): the date of their serials' sum.
CREATE FUNCTION pg_temp.jet_add(a timestamp, b timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_number(a) + pg_temp.jet_number(b))';
CREATE FUNCTION pg_temp.jet_sub(a integer, b integer) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a::bigint - b';
CREATE FUNCTION pg_temp.jet_mul(a integer, b integer) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a::bigint * b';
CREATE FUNCTION pg_temp.jet_mul(a bigint, b bigint) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a * b';
CREATE FUNCTION pg_temp.jet_mul(a numeric, b numeric) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT a * b';
-- A chain of +, - or * longer than the folded calls: its terms in one array,
-- read from the left (an expression a + b + ... of thousands of terms nests
-- so deep that it exhausts the server's stack).
CREATE FUNCTION pg_temp.jet_chain(op text, VARIADIC v anyarray) RETURNS anyelement
  LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE r ALIAS FOR $0;
BEGIN
  r := v[1];
  FOR i IN 2 .. array_upper(v, 1) LOOP
    r := CASE op WHEN '+' THEN r + v[i] WHEN '-' THEN r - v[i] ELSE r * v[i] END;
  END LOOP;
  RETURN r;
END$f$;
CREATE FUNCTION pg_temp.jet_mul(a double precision, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a * b';
-- A Single field's value counts as the Double that prints like it (0.1, not
-- 0.100000001490116), as the file database keeps it.
CREATE FUNCTION pg_temp.jet_single(v real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT v::text::double precision';
CREATE FUNCTION pg_temp.jet_add(a real, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) + b';
CREATE FUNCTION pg_temp.jet_add(a double precision, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a + pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_add(a real, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) + pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_sub(a real, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) - b';
CREATE FUNCTION pg_temp.jet_sub(a double precision, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a - pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_sub(a real, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) - pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_mul(a real, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) * b';
CREATE FUNCTION pg_temp.jet_mul(a double precision, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a * pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_mul(a real, b real) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT pg_temp.jet_single(a) * pg_temp.jet_single(b)';
CREATE FUNCTION pg_temp.jet_sub(a bigint, b bigint) RETURNS bigint LANGUAGE sql IMMUTABLE AS 'SELECT a - b';
CREATE FUNCTION pg_temp.jet_sub(a numeric, b numeric) RETURNS numeric LANGUAGE sql IMMUTABLE AS 'SELECT a - b';
CREATE FUNCTION pg_temp.jet_sub(a double precision, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE AS 'SELECT a - b';
-- Two texts less or times each other: the numbers they spell.
CREATE FUNCTION pg_temp.jet_sub(a text, b text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_numeral(a) - pg_temp.jet_numeral(b)';
CREATE FUNCTION pg_temp.jet_mul(a text, b text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT AS 'SELECT pg_temp.jet_numeral(a) * pg_temp.jet_numeral(b)';
-- A number less a date: the date of their serials' difference.
CREATE FUNCTION pg_temp.jet_sub(a double precision, b timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_serial(a - pg_temp.jet_number(b))';
CREATE FUNCTION pg_temp.jet_sub(a text, b timestamp) RETURNS timestamp LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_numeral(a) - pg_temp.jet_number(b))';
-- A date times a number, a text that spells one or a date: the serials'
-- product.
CREATE FUNCTION pg_temp.jet_mul(a timestamp, b timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_number(a) * pg_temp.jet_number(b)';
CREATE FUNCTION pg_temp.jet_mul(a timestamp, b text) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_number(a) * pg_temp.jet_numeral(b)';
CREATE FUNCTION pg_temp.jet_mul(a text, b timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE STRICT
  AS 'SELECT pg_temp.jet_numeral(a) * pg_temp.jet_number(b)';
CREATE FUNCTION pg_temp.jet_mul(a timestamp, b double precision) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_number(a) * b';
CREATE FUNCTION pg_temp.jet_mul(a double precision, b timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT a * pg_temp.jet_number(b)';
CREATE FUNCTION pg_temp.jet_sub(a timestamp, b double precision) RETURNS timestamp LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_serial(pg_temp.jet_number(a) - b)';
CREATE FUNCTION pg_temp.jet_sub(a timestamp, b timestamp) RETURNS double precision LANGUAGE sql IMMUTABLE
  AS 'SELECT pg_temp.jet_number(a) - pg_temp.jet_number(b)';
)SQL";
}

}  // namespace tessaly::db::postgres
