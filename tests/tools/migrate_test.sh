#!/usr/bin/env bash
# tessaly migrate end to end: an Access file of the fixtures into a scratch
# database, its report, the refusal of a second run and the JSON report.
set -u
: "${FIXTURES:?the directory of the Access files}"
. "$(dirname "$0")/lib.sh"
db="$dir/moved.db"

run migrate "$FIXTURES/indexTestV2003.mdb" "$db"
check "first run: status" 0 "$rc"
check "first run: stdout" "" "$out"
check "first run: report" "table Table2: 3 read, 3 written
table Table3: 4 read, 4 written
table Table1: 4 read, 4 written
index Table2.id: made
index Table2.PrimaryKey: made (the table's key)
index Table3.id: made
index Table3.PrimaryKey: made (the table's key)
index Table1.id: made
index Table1.PrimaryKey: made (the table's key)
relationship Table1.Table2Table1: made
relationship Table1.Table3Table1: made" "$err"
run sql "$db" "select count(*) from Table1"
check "rows copied" "4" "$(tail -n 1 <<<"$out")"

"$TESSALY" sql "$db" "delete from Table1 where id = 3" >/dev/null
run migrate "$FIXTURES/indexTestV2003.mdb" "$db"
check "second run: status" 1 "$rc"
check "second run: error" "error -2147467259: The target already holds a table 'Table2' that the file holds too; nothing was written (replace them with --replace)." "$err"
run sql "$db" "select count(*) from Table1"
check "second run: unchanged" "3" "$(tail -n 1 <<<"$out")"

run migrate "$FIXTURES/indexTestV2003.mdb" "$db" --replace --report "$dir/report.json"
check "replacing run: status" 0 "$rc"
run sql "$db" "select count(*) from Table1"
check "replaced" "4" "$(tail -n 1 <<<"$out")"
check "json report" "Table2 3 3 0|Table3 4 4 0|Table1 4 4 0|2 relationships|0 queries" "$(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
tables = ["%s %d %d %d" % (t["name"], t["read"], t["written"], len(t["skipped"])) for t in r["tables"]]
print("|".join(tables) + "|%d relationships|%d queries" % (len(r["relationships"]), len(r["queries"])))
' "$dir/report.json")"

# On a terminal the progress shows (and is cleared before the report); in a
# pipe, above, it does not.
seen=$(python3 "$(dirname "$0")/on_terminal.py" "$TESSALY" migrate \
  "$FIXTURES/indexTestV2003.mdb" "$dir/tty.db")
[[ $seen == *"Table1: 4 of 4 rows"* && $seen == *"rows/s"* ]] && shown=shown || shown=$seen
check "progress on a terminal" "shown" "$shown"

# Not an Access file: named, and nothing made.
printf 'hello' >"$dir/notes.mdb"
run migrate "$dir/notes.mdb" "$dir/other.db" --report "$dir/failed.json"
check "not a database: status" 1 "$rc"
check "not a database: error" "error -2147467259: Cannot read '$dir/notes.mdb': it is no Access database (.mdb or .accdb)." "$err"
check "not a database: no file made" "" "$(ls "$dir" | grep other)"
check "not a database: report" "Cannot read '$dir/notes.mdb': it is no Access database (.mdb or .accdb)." \
  "$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["failed"])' "$dir/failed.json")"

finish
