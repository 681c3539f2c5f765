// Jet's functions on the server, overload by overload: the types each reads,
// what it gives, and its body. Their heads are written from the function
// table (JetFunctionTable.h), as the file database registers them from it:
// the name, the regional setting as the first argument, the volatility and
// whether a Null gives Null are the table's, said once for both engines.
#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/postgres/PgFunctions.h"

namespace tessaly::db::postgres {

namespace {

using F = JetFunction;

// The overloads written here; each is made or replaced in the library's
// schema (pg_temp stands for it). Numbers are read as double precision, a
// text as text, a date as timestamp; the overloads a function's kinds imply
// for the other types (a number or date where a text is read, a text or
// number where a date is) are written from these by JetOverloadsSql, unless
// one is written here.
std::vector<Overload> Written() {
  // clang-format off
  std::vector<Overload> overloads = {
    {F::kDate, "", "timestamp", kPlain, "date_trunc('day', localtimestamp)::timestamp(0)"},
    {F::kNow, "", "timestamp", kPlain, "localtimestamp(0)"},
    {F::kTime, "", "timestamp", kPlain, "(TIMESTAMP '1899-12-30' + (localtimestamp(0) - date_trunc('day', localtimestamp)))::timestamp(0)"},
    // CDate(setting, value): a year-first setting reads three short numbers
    // ("05/3/4") as year, month and day when they make a day, and its long date
    // ("2005年3月4日") as its numbers; otherwise as CDate(value), where a first
    // number that is no month is the day ("13/4/2005" is April 13).
    {F::kCDate, "v text", "timestamp", kStable, R"(
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
END )"},
    {F::kCDate, "v timestamp", "timestamp", kPlain,
     "CASE WHEN v IS NULL THEN TIMESTAMP '1899-12-30' + make_interval(days => pg_temp.jet_fail(94)) ELSE v END"},
    // CVDate: CDate, but Null stays Null.
    {F::kCVDate, "v text", "timestamp", kStable | kNullsInBody, "CASE WHEN v IS NULL THEN NULL ELSE pg_temp.jet_cdate(r, v) END"},
    {F::kCVDate, "v timestamp", "timestamp", kNullsInBody, "v"},
    // A character count or position, rounded as CLng rounds: Null raises 94,
    // beyond a Long 6.
    {F::kCount, "n double precision", "integer", kPlain, R"(CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)
                    WHEN round(n) BETWEEN -2147483648 AND 2147483647 THEN round(n)::integer
                    ELSE pg_temp.jet_fail(6) END)"},
    // Left, Right: a length below 0 raises 5, a Null length 94; Null text gives
    // Null. Mid: a start below 1 raises 5 as well.
    {F::kLeft, "s text, n double precision", "text", kNullsInBody,
     "CASE WHEN pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text ELSE left(s::text, pg_temp.jet_count(n)) END"},
    {F::kRight, "s text, n double precision", "text", kNullsInBody,
     "CASE WHEN pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text ELSE right(s::text, pg_temp.jet_count(n)) END"},
    {F::kMid, "s text, start double precision", "text", kNullsInBody,
     "CASE WHEN pg_temp.jet_count(start) < 1 THEN pg_temp.jet_fail(5)::text ELSE substr(s::text, pg_temp.jet_count(start)) END"},
    {F::kMid, "s text, start double precision, n double precision", "text", kNullsInBody,
     R"(CASE WHEN pg_temp.jet_count(start) < 1 OR pg_temp.jet_count(n) < 0 THEN pg_temp.jet_fail(5)::text
                  ELSE substr(s::text, pg_temp.jet_count(start), pg_temp.jet_count(n)) END)"},
    {F::kLen, "s text", "integer", kPlain, "length(s::text)"},
    {F::kTrim, "s text", "text", kPlain, "btrim(s::text, ' ')"},
    {F::kLTrim, "s text", "text", kPlain, "ltrim(s::text, ' ')"},
    {F::kRTrim, "s text", "text", kPlain, "rtrim(s::text, ' ')"},
    {F::kUCase, "s text", "text", kPlain, "upper(s::text)"},
    {F::kLCase, "s text", "text", kPlain, "lower(s::text)"},
    // InStr([start,] text, sought[, compare]): compare 0 regards letter case, 1
    // and 2 (and none given: the database's textual order) do not. An empty
    // text or a start past its end finds nothing; an empty sought text is found
    // at start.
    {F::kInStr, "start double precision, s text, sought text, compare double precision", "integer", kNullsInBody, R"(
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
END )"},
    {F::kInStr, "s text, sought text", "integer", kNullsInBody, "pg_temp.jet_instr(1, s, sought, 1)"},
    {F::kInStr, "start double precision, s text, sought text", "integer", kNullsInBody, "pg_temp.jet_instr(start, s, sought, 1)"},
    // The conversions to a number take no Null: an invalid use of Null.
    {F::kCLng, "v double precision", "integer", kPlain, "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_count(v) END"},
    {F::kCLng, "v text", "integer", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_count(pg_temp.jet_numeral(v)) END"},
    {F::kCInt, "v double precision", "smallint", kPlain, R"(CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint
                  WHEN round(v) BETWEEN -32768 AND 32767 THEN round(v)::smallint ELSE pg_temp.jet_fail(6)::smallint END)"},
    {F::kCInt, "v text", "smallint", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint ELSE pg_temp.jet_cint(pg_temp.jet_numeral(v)) END"},
    {F::kCDbl, "v double precision", "double precision", kPlain, "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE v END"},
    {F::kCDbl, "v text", "double precision", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_numeral(v) END"},
    // CSng: the Single value as the Double that prints like it, its 7
    // significant digits (CSng(0.1) reads back as 0.1, CSng(-1234.5678) as
    // -1234.568).
    {F::kCSng, "v double precision", "double precision", kPlain, R"(CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)
                  WHEN v::real = 0 THEN 0
                  ELSE round(v::real::double precision::numeric, 6 - floor(log(abs(v::real::double precision::numeric)))::integer)::double precision END)"},
    {F::kCSng, "v text", "double precision", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE pg_temp.jet_csng(pg_temp.jet_numeral(v)) END"},
    {F::kVal, "v text", "double precision", kPlain,
     R"(CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) ELSE COALESCE(substring(replace(v::text, ' ', '') FROM '^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?')::double precision, 0) END)"},
    {F::kInt, "v double precision", "double precision", kPlain, "floor(v)"},
    {F::kFix, "v double precision", "double precision", kPlain, "trunc(v)"},
    {F::kSgn, "v double precision", "integer", kPlain, "sign(v)::integer"},
    {F::kAbs, "v double precision", "double precision", kPlain, "abs(v)"},
    // Round(value[, places]): places 0 to 22; a value too large to scale has no
    // fractional digits and stays as it is. A whole number is rounded as a
    // Double, and past 64 bits it overflows. The scaled value is read at 15
    // digits first (a numeric made of a double has them), so 2.345 * 100 counts
    // as the 234.5 it is written as, and its half goes to the even neighbour.
    {F::kRound, "v double precision, places double precision DEFAULT 0", "double precision", kNullsInBody,
     R"(CASE WHEN v IS NULL THEN NULL WHEN places IS NULL THEN pg_temp.jet_fail(94)
            WHEN pg_temp.jet_count(places) NOT BETWEEN 0 AND 22 THEN pg_temp.jet_fail(5)
            WHEN abs(v) >= 1e307 / 10 ^ places::integer THEN v
            ELSE pg_temp.jet_half_even((v * 10 ^ places::integer)::numeric)::double precision
                 / 10 ^ places::integer END)"},
    {F::kRound, "v bigint", "bigint", kPlain, "pg_temp.jet_whole(v::double precision)"},
    // Format(value[, pattern]) of a date: the named formats, and the pattern
    // letters y, m, d, h, n (minutes; m right after h too), s, q, AM/PM (the
    // hour then counts to 12), ddddd (the short date) and dddddd (the long one),
    // repeated for width; text in double quotes stands as it is.
    {F::kFormat, "v timestamp, p text", "text", kPlain, R"(
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
  -- A number's pattern writes the date's serial.
  IF pg_temp.jet_isnumberformat(p) THEN
    RETURN pg_temp.jet_format(r, pg_temp.jet_number(v), p);
  END IF;
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
    ELSIF c = '\' THEN
      -- The character after a backslash stands as it is.
      out := out || substr(p, i + 1, 1);
      k := 2;
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
END )"},
    // Format of a number: the named formats, and patterns of 0 # , . % with
    // up to three sections (positive;negative;zero), quoted text kept.
    {F::kFormat, "v double precision, p text", "text", kPlain, R"(
DECLARE
  negative boolean;
  sections text[];
  pattern text;
  x double precision := v;
  out text;
  lit text := '';
  mask text := '';
  tail text := '';
  piece text;
  c text;
  i integer := 1;
  stop integer;
  percent boolean := false;
  whole text;
  digits text;
  places integer;
  exponent integer;
  scale text;
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
  -- A pattern of no digits (and no sections) is a date's, of the date whose
  -- serial the number is; a number beyond the years 100 to 9999 as it is.
  IF NOT pg_temp.jet_isnumberformat(p) AND p !~ ';' THEN
    RETURN CASE WHEN p <> '' AND v >= -657434 AND v < 2958466
                THEN pg_temp.jet_format(r, pg_temp.jet_serial(v), p) ELSE v::text END;
  END IF;
  sections := string_to_array(p, ';');
  pattern := sections[1];
  IF v < 0 AND array_length(sections, 1) >= 2 AND sections[2] <> '' THEN
    pattern := sections[2];
    x := abs(v);
  END IF;
  IF v = 0 AND array_length(sections, 1) >= 3 AND sections[3] <> '' THEN pattern := sections[3]; END IF;
  -- The section's parts: the text before its first run of digit
  -- placeholders, the run (the mask), and the text after it. Quoted text and
  -- the character after a backslash stand as they are; only a % outside
  -- them scales the number.
  WHILE i <= length(pattern) LOOP
    c := substr(pattern, i, 1);
    IF c = '"' THEN
      stop := strpos(substr(pattern, i + 1), '"');
      IF stop = 0 THEN stop := length(pattern) - i + 1; END IF;
      piece := substr(pattern, i + 1, stop - 1);
      i := i + stop + 1;
    ELSIF c = '\' THEN
      piece := substr(pattern, i + 1, 1);
      i := i + 2;
    ELSIF c IN ('0', '#', ',', '.') AND tail = '' THEN
      mask := mask || c;
      i := i + 1;
      CONTINUE;
    ELSE
      piece := c;
      percent := percent OR c = '%';
      i := i + 1;
    END IF;
    IF mask = '' THEN lit := lit || piece; ELSE tail := tail || piece; END IF;
  END LOOP;
  IF mask !~ '[0#]' THEN RETURN lit || mask || tail; END IF;
  -- The minus of a section that shows none of its own goes before its text.
  negative := x < 0;
  x := abs(x);
  -- The runtime has no infinite Double: a percentage beyond its range
  -- overflows.
  IF percent THEN
    IF abs(x) > 1.7976931348623157e306 THEN PERFORM pg_temp.jet_fail(6); END IF;
    x := x * 100;
  END IF;
  whole := split_part(mask, '.', 1);
  places := length(substring(split_part(mask, '.', 2) FROM '^[0#]*'));
  -- E+00 or E-00 right after the digits: the number is written as digits
  -- times a power of ten, the digits before the point as many as the mask
  -- has (E+ writes the exponent's sign always, E- only when negative; e as
  -- E).
  scale := substring(tail FROM '^[Ee][+-]0+');
  IF scale IS NOT NULL THEN
    tail := substr(tail, length(scale) + 1);
    exponent := CASE WHEN x = 0 THEN 0
                     ELSE floor(log(x::numeric))::integer - (greatest(length(translate(whole, ',', '')), 1) - 1) END;
    IF x <> 0 AND round(x::numeric / 10::numeric ^ exponent, places)
                  >= 10::numeric ^ greatest(length(translate(whole, ',', '')), 1) THEN
      exponent := exponent + 1;
    END IF;
    x := round(x::numeric / 10::numeric ^ exponent, places);
    tail := 'E' || CASE WHEN exponent < 0 THEN '-' WHEN substr(scale, 2, 1) = '+' THEN '+' ELSE '' END
            || lpad(abs(exponent)::text, length(scale) - 2, '0') || tail;
  END IF;
  digits := repeat('9', 15 - length(replace(replace(whole, '#', ''), ',', ''))) || replace(replace(whole, '#', ''), ',', '');
  IF whole ~ ',' THEN digits := regexp_replace(digits, '([09])(?=([09]{3})+$)', '\1,', 'g'); END IF;
  IF mask ~ '\.' THEN digits := digits || '.' || translate(split_part(mask, '.', 2), '#,', '9'); END IF;
  -- As a numeric, at 15 significant digits, rounded half away from zero;
  -- a value that rounds to zero has no sign.
  out := to_char(round(x::numeric, places) + 0, 'FM' || digits);
  -- A whole part of no 0 placeholder shows no digit for a zero.
  IF whole !~ '0' THEN out := regexp_replace(out, '^0(?=\.|$)', ''); END IF;
  -- A point with no places after it still shows.
  IF mask ~ '\.' AND out !~ '\.' THEN out := out || '.'; END IF;
  RETURN CASE WHEN negative AND out ~ '[1-9]' THEN '-' ELSE '' END || lit || out || tail;
END )"},
    // A text that reads as a date is formatted as one; any other as it stands.
    {F::kFormat, "v text, p text", "text", kStable, R"(
BEGIN
  -- A text that is a number is formatted as one by a number's pattern, and
  -- stands as it is under a date's.
  IF pg_temp.jet_isnumeric(v) <> 0 THEN
    RETURN CASE WHEN pg_temp.jet_isnumberformat(p) OR p ~ ';' THEN pg_temp.jet_format(r, pg_temp.jet_numeral(v), p) ELSE v END;
  END IF;
  RETURN pg_temp.jet_format(r, pg_temp.jet_cdate(r, v), p);
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow OR invalid_parameter_value THEN
  -- Any other text as it is.
  RETURN v;
END )"},
    // Format(value): each body gives Null for Null itself, since a STRICT
    // function that leaves the setting unused is never inlined.
    {F::kFormat, "v text", "text", kNullsInBody, "v"},
    {F::kFormat, "v double precision", "text", kNullsInBody, "v::text"},
    {F::kFormat, "v timestamp", "text", kNullsInBody, "pg_temp.jet_datetext(v)"},
    // Format(value, pattern) with the pattern also as to_char writes it (the
    // dialect gives it for a pattern written in the statement): a date is
    // to_char's, inlined into the statement; STABLE as to_char is, or the
    // planner would not inline it.
    {F::kFormat, "v timestamp, p text, native text", "text", kStable | kNullsInBody, "to_char(v, native)"},
    {F::kFormat, "v double precision, p text, native text", "text", kStable | kNullsInBody, "pg_temp.jet_format(r, v, p)"},
    {F::kFormat, "v text, p text, native text", "text", kStable | kNullsInBody, "pg_temp.jet_format(r, v, p)"},
    {F::kFormatNumber, "v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, v, places, lead, parens, grp, false, false)"},
    {F::kFormatPercent, "v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, v, places, lead, parens, grp, true, false)"},
    {F::kFormatCurrency, "v double precision, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, v, places, lead, parens, grp, false, true)"},
    // A text is the number it spells (else 13).
    {F::kFormatNumber, "v text, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, false, false)"},
    {F::kFormatPercent, "v text, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, true, false)"},
    {F::kFormatCurrency, "v text, places double precision DEFAULT -1, lead double precision DEFAULT -2, parens double precision DEFAULT -2, grp double precision DEFAULT -2", "text", kPlain,
     "pg_temp.jet_formatamount(r, pg_temp.jet_numeral(v), places, lead, parens, grp, false, true)"},
    // FormatDateTime(date[, form]): 0 General Date, 1 Long Date, 2 Short Date,
    // 3 Long Time, 4 Short Time; any other form raises 5, a Null date 94.
    {F::kFormatDateTime, "v timestamp, form double precision DEFAULT 0", "text", kPlain, R"(
BEGIN
  IF v IS NULL OR form IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  RETURN CASE pg_temp.jet_count(form)
    WHEN 0 THEN pg_temp.jet_generaldate(r, v)
    WHEN 1 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long date'))
    WHEN 2 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short date'))
    WHEN 3 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'long time'))
    WHEN 4 THEN pg_temp.jet_format(r, v, pg_temp.jet_setting(r, 'short time'))
    ELSE pg_temp.jet_fail(5)::text END;
END )"},
    {F::kFormatDateTime, "v text, form double precision DEFAULT 0", "text", kStable,
     "BEGIN RETURN pg_temp.jet_formatdatetime(r, pg_temp.jet_cdate(r, v), form); END"},
    {F::kFormatDateTime, "v double precision, form double precision DEFAULT 0", "text", kPlain,
     "BEGIN RETURN pg_temp.jet_formatdatetime(r, pg_temp.jet_cdate(v), form); END"},
    // Partition(number, start, stop, interval): "lower:upper", each side padded
    // with blanks to the width of stop + 1; before start no lower end, after
    // stop no upper. Null gives Null; start below 0, stop not above start or an
    // interval below 1 raise 5.
    {F::kPartition, "n double precision, start double precision, stop double precision, step double precision", "text", kPlain, R"(
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
END )"},
    // Conversions. Null is an invalid use of Null.
    {F::kCByte, "v double precision", "smallint", kPlain, R"(CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint
                  WHEN round(v) BETWEEN 0 AND 255 THEN round(v)::smallint ELSE pg_temp.jet_fail(6)::smallint END)"},
    {F::kCByte, "v text", "smallint", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::smallint ELSE pg_temp.jet_cbyte(pg_temp.jet_number(v)) END"},
    // IsNumeric: a number, or a text that reads as one (thousands separators allowed).
    {F::kIsNumeric, "v text", "integer", kPlain,
     R"(CASE WHEN v IS NOT NULL AND btrim(v) ~ '^[+-]?([0-9][0-9,]*\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$' THEN -1 ELSE 0 END)"},
    {F::kIsNumeric, "v double precision", "integer", kPlain, "CASE WHEN v IS NULL THEN 0 ELSE -1 END"},
    {F::kIsNumeric, "v timestamp", "integer", kPlain, "0"},
    {F::kCBool, "v double precision", "smallint", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN v <> 0 THEN -1 ELSE 0 END::smallint"},
    {F::kCBool, "v timestamp", "smallint", kPlain, "pg_temp.jet_cbool(pg_temp.jet_number(v))"},
    {F::kCBool, "v text", "smallint", kPlain,
     R"(CASE WHEN v IS NULL THEN pg_temp.jet_fail(94) WHEN lower(v) = 'true' THEN -1 WHEN lower(v) = 'false' THEN 0
                    WHEN pg_temp.jet_isnumeric(v) <> 0 THEN pg_temp.jet_cbool(pg_temp.jet_number(v))
                    ELSE pg_temp.jet_fail(13) END::smallint)"},
    {F::kCCur, "v double precision", "numeric", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE round(v::numeric, 4) END"},
    {F::kCCur, "v text", "numeric", kPlain,
     "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric WHEN pg_temp.jet_isnumeric(v) <> 0 THEN round(replace(v, ',', '')::numeric, 4) ELSE pg_temp.jet_fail(13)::numeric END"},
    {F::kCDec, "v double precision", "numeric", kPlain, "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric ELSE v::numeric END"},
    {F::kCDec, "v text", "numeric", kPlain, "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::numeric WHEN pg_temp.jet_isnumeric(v) <> 0 THEN replace(v, ',', '')::numeric ELSE pg_temp.jet_fail(13)::numeric END"},
    // A date converts to its serial, days since 1899-12-30; Int and Fix of a
    // date keep a date, its day without the time.
    {F::kCDbl, "v timestamp", "double precision", kPlain, "pg_temp.jet_cdbl(pg_temp.jet_number(v))"},
    {F::kCLng, "v timestamp", "integer", kPlain, "pg_temp.jet_clng(pg_temp.jet_number(v))"},
    {F::kCInt, "v timestamp", "smallint", kPlain, "pg_temp.jet_cint(pg_temp.jet_number(v))"},
    {F::kCSng, "v timestamp", "double precision", kPlain, "pg_temp.jet_csng(pg_temp.jet_number(v))"},
    {F::kCByte, "v timestamp", "smallint", kPlain, "pg_temp.jet_cbyte(pg_temp.jet_number(v))"},
    {F::kCCur, "v timestamp", "numeric", kPlain, "pg_temp.jet_ccur(pg_temp.jet_number(v))"},
    {F::kCDec, "v timestamp", "numeric", kPlain, "pg_temp.jet_cdec(pg_temp.jet_number(v))"},
    {F::kInt, "v timestamp", "timestamp", kPlain, "pg_temp.jet_serial(floor(pg_temp.jet_number(v)))"},
    {F::kFix, "v timestamp", "timestamp", kPlain, "pg_temp.jet_serial(trunc(pg_temp.jet_number(v)))"},
    // A text (or a Null written in the statement, whose type the server would
    // otherwise have to choose between a number and a date) reads as a number.
    {F::kInt, "v text", "double precision", kNullsInBody, "pg_temp.jet_int(pg_temp.jet_number(v))"},
    {F::kFix, "v text", "double precision", kNullsInBody, "pg_temp.jet_fix(pg_temp.jet_number(v))"},
    {F::kCVar, "v text", "text", kNullsInBody, "v"},
    {F::kCVar, "v double precision", "double precision", kNullsInBody, "v"},
    {F::kCVar, "v timestamp", "timestamp", kNullsInBody, "v"},
    // Null is not Empty: no value in a table is Empty.
    {F::kIsEmpty, "v text", "integer", kPlain, "0"},
    {F::kIsEmpty, "v double precision", "integer", kPlain, "0"},
    {F::kIsEmpty, "v timestamp", "integer", kPlain, "0"},
    {F::kStr, "v double precision", "text", kPlain, "CASE WHEN v >= 0 THEN ' ' ELSE '' END || pg_temp.jet_text(v)"},
    {F::kStr, "v text", "text", kPlain, "pg_temp.jet_str(pg_temp.jet_number(v))"},
    // Hex and Oct of a Long are of its 32 bits (Hex(-1) is FFFFFFFF).
    {F::kHex, "v double precision", "text", kPlain,
     "upper(CASE WHEN round(v) BETWEEN -2147483648 AND 2147483647 THEN to_hex(round(v)::integer) ELSE to_hex(round(v)::bigint) END)"},
    {F::kOct, "v double precision", "text", kPlain, R"(
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
END )"},
    // Mathematics: outside a function's domain the runtime raises 5.
    {F::kSqr, "v double precision", "double precision", kPlain, "CASE WHEN v >= 0 THEN sqrt(v) ELSE pg_temp.jet_fail(5) END"},
    {F::kLog, "v double precision", "double precision", kPlain, "CASE WHEN v > 0 THEN ln(v) ELSE pg_temp.jet_fail(5) END"},
    {F::kExp, "v double precision", "double precision", kPlain, "CASE WHEN v < -745.5 THEN 0 ELSE exp(v) END"},
    {F::kSin, "v double precision", "double precision", kPlain, "sin(v)"},
    {F::kCos, "v double precision", "double precision", kPlain, "cos(v)"},
    {F::kTan, "v double precision", "double precision", kPlain, "tan(v)"},
    {F::kAtn, "v double precision", "double precision", kPlain, "atan(v)"},
    {F::kRnd, "v double precision DEFAULT 1", "double precision", kPlain, "random()"},
    {F::kTimer, "", "double precision", kPlain, "extract(epoch FROM localtimestamp - date_trunc('day', localtimestamp))::double precision"},
    // Text.
    // Asc, Chr and their wide forms take no Null (94).
    {F::kAscW, "s text", "integer", kPlain,
     "CASE WHEN s IS NULL THEN pg_temp.jet_fail(94) WHEN s = '' THEN pg_temp.jet_fail(5) ELSE ascii(s) END"},
    // Asc knows no code page beyond Latin-1: any other character is "?".
    {F::kAsc, "s text", "integer", kPlain, "CASE WHEN pg_temp.jet_ascw(s) > 255 THEN 63 ELSE ascii(s) END"},
    {F::kChrW, "n double precision", "text", kPlain,
     R"(CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN round(n) NOT BETWEEN -2147483648 AND 2147483647 THEN pg_temp.jet_fail(6)::text
                  WHEN round(n) BETWEEN 0 AND 65535 AND round(n) <> 0 THEN chr(round(n)::integer) ELSE pg_temp.jet_fail(5)::text END)"},
    {F::kChr, "n double precision", "text", kPlain,
     R"(CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN round(n) NOT BETWEEN -2147483648 AND 2147483647 THEN pg_temp.jet_fail(6)::text
                  WHEN round(n) BETWEEN 1 AND 255 THEN chr(round(n)::integer) ELSE pg_temp.jet_fail(5)::text END)"},
    {F::kSpace, "n double precision", "text", kPlain,
     "CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN round(n) >= 0 THEN repeat(' ', round(n)::integer) ELSE pg_temp.jet_fail(5)::text END"},
    // String: the count (a Long to the runtime) takes no Null; a Null
    // character gives Null.
    {F::kString, "n double precision, c text", "text", kPlain,
     R"(CASE WHEN n IS NULL THEN pg_temp.jet_fail(94)::text WHEN c IS NULL THEN NULL
                  WHEN round(n) >= 0 AND c <> '' THEN repeat(left(c, 1), round(n)::integer) ELSE pg_temp.jet_fail(5)::text END)"},
    {F::kString, "n double precision, c double precision", "text", kPlain,
     "pg_temp.jet_string(n, CASE WHEN c IS NOT NULL THEN pg_temp.jet_chrw(c) END)"},
    {F::kStrReverse, "s text", "text", kPlain, "CASE WHEN s IS NULL THEN pg_temp.jet_fail(94)::text ELSE reverse(s) END"},
    {F::kStrConv, "s text, mode double precision", "text", kPlain,
     "CASE mode WHEN 1 THEN upper(s) WHEN 2 THEN lower(s) WHEN 3 THEN initcap(s) ELSE pg_temp.jet_fail(5)::text END"},
    // StrComp: compare 0 by the characters' codes, 1 (the default) without
    // regard to letter case.
    {F::kStrComp, "a text, b text, compare double precision DEFAULT 1", "integer", kPlain, R"(CASE WHEN compare = 0 THEN
              CASE WHEN a COLLATE "C" < b COLLATE "C" THEN -1 WHEN a COLLATE "C" > b COLLATE "C" THEN 1 ELSE 0 END
            ELSE
              CASE WHEN lower(a) COLLATE "C" < lower(b) COLLATE "C" THEN -1
                   WHEN lower(a) COLLATE "C" > lower(b) COLLATE "C" THEN 1 ELSE 0 END END)"},
    // InStrRev(text, sought[, start[, compare]]): the last place sought ends at
    // or before start (-1: the end).
    {F::kInStrRev, "s text, sought text, start double precision DEFAULT -1, compare double precision DEFAULT 1", "integer", kNullsInBody,
     R"(
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
END )"},
    // Replace(text, find, with[, start[, count[, compare]]]): the text from
    // start on, with at most count (-1: every) finds replaced. The three texts
    // take no Null (94).
    {F::kReplace, "s text, find text, repl text, start double precision DEFAULT 1, count double precision DEFAULT -1, compare double precision DEFAULT 1", "text", kPlain,
     R"(
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
END )"},
    // DateSerial carries months and days over; years 0-29 are 2000-2029, 30-99
    // 1930-1999.
    {F::kDateSerial, "y double precision, m double precision, d double precision", "timestamp", kPlain, R"(
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
END )"},
    // TimeSerial: the time of day 0; values out of range carry, a time before
    // midnight falls on the day before.
    {F::kTimeSerial, "h double precision, m double precision, s double precision", "timestamp", kPlain, R"(
DECLARE
  seconds double precision;
BEGIN
  IF h IS NULL OR m IS NULL OR s IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  seconds := pg_temp.jet_part(h) * 3600 + pg_temp.jet_part(m) * 60 + pg_temp.jet_part(s);
  IF abs(seconds) > 4e11 THEN PERFORM pg_temp.jet_fail(5); END IF;
  RETURN pg_temp.jet_made((TIMESTAMP '1899-12-30' + make_interval(secs => seconds))::timestamp(0), 5);
END )"},
    {F::kDateValue, "v timestamp", "timestamp", kPlain, "pg_temp.jet_datevalue(v)"},
    {F::kDateValue, "v text", "timestamp", kStable, "pg_temp.jet_datevalue(pg_temp.jet_cdate(r, v))"},
    {F::kTimeValue, "v timestamp", "timestamp", kPlain, R"(CASE WHEN v IS NULL THEN pg_temp.jet_serial(pg_temp.jet_fail(94))
                    ELSE TIMESTAMP '1899-12-30' + (v - date_trunc('day', v)) END)"},
    {F::kTimeValue, "v text", "timestamp", kStable, R"(
BEGIN
  IF v IS NULL THEN PERFORM pg_temp.jet_fail(94); END IF;
  RETURN TIMESTAMP '1899-12-30' + v::time(0);
EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
  RETURN pg_temp.jet_timevalue(pg_temp.jet_cdate(v));
END )"},
    // Both take a text: a number is read as its text ('38000.5', which is no
    // date), not as a serial.
    {F::kDateValue, "v double precision", "timestamp", kStable, "pg_temp.jet_datevalue(r, pg_temp.jet_text(v))"},
    {F::kTimeValue, "v double precision", "timestamp", kStable, "pg_temp.jet_timevalue(pg_temp.jet_text(v))"},
    // MonthName and WeekdayName: the setting's names; a Null argument raises 94.
    {F::kMonthName, "m double precision, short double precision DEFAULT 0", "text", kPlain,
     R"(CASE WHEN m IS NULL OR short IS NULL THEN pg_temp.jet_fail(94)::text
            WHEN round(m) BETWEEN 1 AND 12
            THEN pg_temp.jet_name(r, CASE WHEN short <> 0 THEN 'short month' ELSE 'month' END, round(m)::integer)
            ELSE pg_temp.jet_fail(5)::text END)"},
    {F::kWeekdayName, "n double precision, short double precision DEFAULT 0, first double precision DEFAULT 1", "text", kPlain,
     R"(CASE WHEN n IS NULL OR short IS NULL THEN pg_temp.jet_fail(94)::text
            WHEN round(n) BETWEEN 1 AND 7 AND round(coalesce(first, 1)) BETWEEN 0 AND 7
            THEN pg_temp.jet_name(r, CASE WHEN short <> 0 THEN 'short day' ELSE 'day' END,
                                  (round(n)::integer + greatest(round(coalesce(first, 1))::integer, 1) - 2) % 7 + 1)
            ELSE pg_temp.jet_fail(5)::text END)"},
    {F::kCDate, "v double precision", "timestamp", kPlain, "pg_temp.jet_cdate(v)"},
    {F::kCVDate, "v double precision", "timestamp", kNullsInBody, "CASE WHEN v IS NULL THEN NULL ELSE pg_temp.jet_cdate(v) END"},
    {F::kWeekday, "v timestamp, first double precision DEFAULT 1", "integer", kNullsInBody, "pg_temp.jet_weekday(v, first)"},
    // DateAdd, DateDiff and DatePart: the interval (a String to the runtime)
    // takes no Null; a Null date gives Null.
    {F::kDateAdd, "unit text, n double precision, v timestamp", "timestamp", kPlain, "pg_temp.jet_dateadd(unit, n, v)"},
    // A date as the count is its serial.
    {F::kDateAdd, "unit text, n timestamp, v timestamp", "timestamp", kPlain, "pg_temp.jet_dateadd(r, unit, pg_temp.jet_number(n), v)"},
    {F::kDateDiff, "unit text, a timestamp, b timestamp, first double precision DEFAULT 1, week double precision DEFAULT 1", "bigint", kPlain,
     "pg_temp.jet_datediff(unit, a, b, first, week)"},
    {F::kDatePart, "unit text, v timestamp, first double precision DEFAULT 1, week double precision DEFAULT 1", "integer", kPlain,
     "pg_temp.jet_datepart(unit, v, first, week)"},
    {F::kIsDate, "v text", "integer", kStable, R"(
BEGIN
  IF v IS NULL THEN RETURN 0; END IF;
  PERFORM pg_temp.jet_dateof(r, v);
  RETURN -1;
EXCEPTION WHEN invalid_datetime_format THEN
  RETURN 0;
END )"},
    {F::kIsDate, "v double precision", "integer", kPlain, "0"},
    {F::kIsDate, "v timestamp", "integer", kPlain, "CASE WHEN v IS NULL THEN 0 ELSE -1 END"},
    {F::kCStr, "v timestamp", "text", kPlain, "CASE WHEN v IS NULL THEN pg_temp.jet_fail(94)::text ELSE pg_temp.jet_text(r, v) END"},
    {F::kCStr, "v text", "text", kPlain, "pg_temp.jet_cstr(v)"},
    {F::kCStr, "v double precision", "text", kPlain, "pg_temp.jet_cstr(v)"},
  };
  // clang-format on
  // Year ... Second: the part of the date, as extract() names it; a second
  // without its fraction. The body gives Null for Null; a STRICT function
  // that leaves an argument (the setting) unused is never inlined.
  const std::pair<F, std::string_view> parts[] = {
      {F::kYear, "extract(year FROM v)"},     {F::kMonth, "extract(month FROM v)"},
      {F::kDay, "extract(day FROM v)"},       {F::kHour, "extract(hour FROM v)"},
      {F::kMinute, "extract(minute FROM v)"}, {F::kSecond, "floor(extract(second FROM v))"}};
  for (const auto& [function, part] : parts) {
    overloads.push_back(
        {function, "v timestamp", "integer", kNullsInBody, std::string(part) + "::integer"});
  }
  // A whole number is its own Int and Fix, of its own type.
  const std::pair<std::string_view, std::string_view> wholes[] = {
      {"v smallint", "smallint"}, {"v integer", "integer"}, {"v bigint", "bigint"}};
  // CVar and Round of one too.
  for (const F function : {F::kInt, F::kFix, F::kCVar}) {
    for (const auto& [argument, type] : wholes) {
      overloads.push_back({function, argument, type, kPlain, "v"});
    }
  }
  overloads.push_back({F::kRound, "v smallint", "smallint", kPlain, "v"});
  overloads.push_back({F::kRound, "v integer", "integer", kPlain, "v"});
  // Abs keeps a whole number, a Currency or a Single of its own type too.
  for (const auto& [argument, type] : wholes) {
    overloads.push_back({F::kAbs, argument, type, kPlain, "abs(v)"});
  }
  overloads.push_back({F::kAbs, "v numeric", "numeric", kPlain, "abs(v)"});
  overloads.push_back({F::kAbs, "v real", "real", kPlain, "abs(v)"});
  return overloads;
}

// One argument of an overload: "n double precision DEFAULT 1".
struct Argument {
  std::string_view name;
  std::string_view type;
  std::string_view rest;  // " DEFAULT 1", or nothing
};

std::vector<Argument> ArgumentsOf(std::string_view list) {
  std::vector<Argument> arguments;
  while (!list.empty()) {
    const size_t comma = list.find(", ");
    std::string_view one = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 2);
    const size_t space = one.find(' ');
    const size_t rest = std::min(one.find(" DEFAULT "), one.size());
    arguments.push_back(
        {one.substr(0, space), one.substr(space + 1, rest - space - 1), one.substr(rest)});
  }
  return arguments;
}

// How an argument of another type is read as the type the written overload
// takes (@ stands for the argument).
struct Reading {
  std::string_view from;
  std::string_view as;
  bool stable;  // reads a text as a date
};

// The readings of an argument of kind k whose written type is type, or
// none: a date is also read from a text (in the setting) and a number (the
// date of that serial); a text also from a number and a date (as CStr writes
// them); a number also from a text (a number's text, else 13) and a date
// (its serial, as the runtime converts a Date wherever it takes a number).
// A Null written in the statement then reads as a text, as it must where
// both other types are offered.
std::vector<Reading> ReadingsOf(char k, std::string_view type, bool regional) {
  if (k == 'n' && type == "double precision") {
    return {{"double precision", "@", false},
            {"text", "pg_temp.jet_numeral(@)", false},
            {"timestamp", "pg_temp.jet_number(@)", false}};
  }
  if (k == 'd' && type == "timestamp") {
    return {{"timestamp", "@", false},
            {"text", regional ? "pg_temp.jet_dateof(r, @)" : "pg_temp.jet_cdate(@)", true},
            {"double precision", "pg_temp.jet_serial(@)", false}};
  }
  if (k == 't' && type == "text") {
    return {{"text", "@", false},
            {"double precision", "@::text", false},
            {"timestamp", "pg_temp.jet_datetext(@)", false}};
  }
  return {{type, "@", false}};
}

std::string TypesOf(const std::vector<Argument>& arguments) {
  std::string types;
  for (const Argument& a : arguments) (types += a.type) += ',';
  return types;
}

// The head the function table gives an overload, up to its body's quote.
void Head(const JetFunctionInfo& info, std::string_view arguments, std::string_view returns,
          uint8_t notes, bool block, std::string& sql) {
  ((sql += "CREATE FUNCTION pg_temp.jet_") += info.name) += '(';
  if (info.regional) sql += "r integer, ";
  ((sql += arguments) += ") RETURNS ") += returns;
  sql += block ? " LANGUAGE plpgsql" : " LANGUAGE sql";
  sql += info.volatility == Volatility::kRandom                            ? " VOLATILE"
         : info.volatility == Volatility::kClock || (notes & kStable) != 0 ? " STABLE"
                                                                           : " IMMUTABLE";
  if ((info.nulls == NullRule::kNull && (notes & kNullsInBody) == 0) || (notes & kStrict) != 0) {
    sql += " STRICT";
  }
  // jet_rnd draws from the session's own sequence, as random() does: only
  // the leading process of a parallel statement may call it.
  sql += info.volatility == Volatility::kRandom ? " PARALLEL RESTRICTED" : " PARALLEL SAFE";
  sql += " AS $f$";
}

// A written overload: a body that is no PL/pgSQL block is the expression
// its SELECT gives.
void Create(const Overload& o, std::string& sql) {
  const std::string_view body = o.body;
  const std::string_view opening =
      body.substr(std::min(body.find_first_not_of(" \n"), body.size()));
  const bool block = opening.starts_with("DECLARE") || opening.starts_with("BEGIN");
  Head(InfoOf(o.function), o.arguments, o.returns, o.notes, block, sql);
  if (!block) sql += "SELECT ";
  (sql += body) += "$f$;\n";
}

}  // namespace

const std::vector<Overload>& JetOverloads() {
  // Never destroyed: a connection may still be opened while the program ends.
  static const std::vector<Overload>* const overloads = new std::vector<Overload>(Written());
  return *overloads;
}

std::string JetOverloadsSql() {
  std::set<std::string> written;
  for (const Overload& o : JetOverloads()) {
    written.insert(std::string(InfoOf(o.function).name) + '(' + TypesOf(ArgumentsOf(o.arguments)));
  }
  std::string sql;
  for (const Overload& o : JetOverloads()) {
    Create(o, sql);
    // The overloads the kinds imply: every other reading of each argument
    // that has them, each passed on to this one.
    const JetFunctionInfo& info = InfoOf(o.function);
    const std::vector<Argument> arguments = ArgumentsOf(o.arguments);
    std::vector<std::vector<Reading>> readings;
    for (size_t i = 0; i < arguments.size(); ++i) {
      readings.push_back(ReadingsOf(i < info.kinds.size() ? info.kinds[i] : 'v', arguments[i].type,
                                    info.regional));
    }
    std::vector<size_t> choice(arguments.size(), 0);
    while (true) {
      size_t i = 0;
      while (i < choice.size() && ++choice[i] == readings[i].size()) choice[i++] = 0;
      if (i == choice.size()) break;
      std::string list, call, types;
      bool stable = false;
      for (size_t a = 0; a < arguments.size(); ++a) {
        const Reading& r = readings[a][choice[a]];
        if (a != 0) list += ", ", call += ", ";
        ((list += arguments[a].name) += ' ') += r.from;
        list += arguments[a].rest;
        const size_t at = r.as.find('@');
        ((call += r.as.substr(0, at)) += arguments[a].name) += r.as.substr(at + 1);
        (types += r.from) += ',';
        stable = stable || r.stable;
      }
      if (!written.insert(std::string(info.name) + '(' + types).second) continue;
      Head(info, list, o.returns, static_cast<uint8_t>(o.notes | (stable ? kStable : 0)), false,
           sql);
      ((sql += "SELECT pg_temp.jet_") += info.name) += '(';
      if (info.regional) sql += "r, ";
      (sql += call) += ")$f$;\n";
    }
  }
  return sql;
}

}  // namespace tessaly::db::postgres
