#!/usr/bin/env bash
# tessaly import and export end to end: the summary, the refusals, the
# mend-and-import-again file, and punches exported and imported elsewhere.
set -u
. "$(dirname "$0")/lib.sh"
db="$dir/att.db"
seed() {  # DB: one employee with card 1001, one terminal at address 1
  "$TESSALY" init "$1" >/dev/null
  "$TESSALY" sql "$1" -q "INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) VALUES ('0001','Ann','Ops','1001',1,0)"
  "$TESSALY" sql "$1" -q "INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Gate','1','on')"
}
seed "$db"
printf '   1001\t2024-05-02 08:00:01\t1\t0\t1\t0\r\n   1001\t2024-05-02 08:00:09\t1\t0\t1\t0\r\n   1001\t2024-05-02 17:31:44\t1\t1\t1\t0\r\n   1002\t2024-05-02 08:03:12\t1\t0\t1\t0\r\nno punch here\r\n' >"$dir/log.dat"

# --- refusals ------------------------------------------------------------------
run import "$db" "$dir/log.dat" --format push
check "push without a terminal: status" 2 "$rc"
check "push without a terminal: says so" "error: the pushed log names no terminal: give the terminal's address" "$err"
run import "$db" "$dir/log.dat" --now "tomorrow"
check "a bad --now: status" 2 "$rc"
run import "$db" "$dir/missing.dat"; check "a missing file: status" 2 "$rc"
run import "$dir/none.db" "$dir/log.dat"; check "a missing database: status" 3 "$rc"
run import "$db" "$dir/log.dat" --map person; check "--map without '=': status" 2 "$rc"
check "refusals wrote nothing" "0" "$("$TESSALY" sql "$db" --no-header "SELECT COUNT(*) FROM T_Log")"

# --- a dry run, a run, the same again ------------------------------------------
run import "$db" "$dir/log.dat" --now "2024-05-03 09:00:00" --dry-run
check "dry run: status" 0 "$rc"
check "dry run: counts" "dry run: 5 lines would give: added 2, skipped 0, rejected 3" "$(head -1 <<<"$out")"
check "dry run: by reason" "  unknown card: 1" "$(grep 'unknown card' <<<"$out")"
check "dry run wrote nothing" "0" "$("$TESSALY" sql "$db" --no-header "SELECT COUNT(*) FROM T_Trans")"
run import "$db" "$dir/log.dat" --now "2024-05-03 09:00:00" --operator ops --rejects-out "$dir/mend.csv"
check "import: status" 0 "$rc"
check "import: summary" "imported 5 lines: added 2, skipped 0, rejected 3 (unreadable line 1, unknown card 1, double punch within the window 1) in" "${out% * s}"
check "import: quiet on a pipe" "" "$err"
check "rejects out, in the file's order" "person,date,time,terminal,direction,reason,line
1001,2024-05-02,08:00:09,1,in,double punch within the window,
1002,2024-05-02,08:03:12,1,in,unknown card,
,,,,,unreadable line,no punch here" "$(tr -d '\r' <"$dir/mend.csv")"
run import "$db" "$dir/log.dat" --now "2024-05-03 10:00:00"
check "again: summary" "imported 5 lines: added 0, skipped 5, rejected 0 in" "${out% * s}"

# --- mend and import again -------------------------------------------------------
"$TESSALY" sql "$db" -q "INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) VALUES ('0002','Bo','Ops','1002',1,0)"
sed -i 's/^,,,,,unreadable line,no punch here/1001,2024-05-02,12:00:00,1,out,unreadable line,no punch here/' "$dir/mend.csv"
run import "$db" "$dir/mend.csv" --format csv --now "2024-05-03 11:00:00"
check "mended: summary (the double tap is rejected already)" "imported 3 lines: added 2, skipped 1, rejected 0 in" "${out% * s}"

# --- export ----------------------------------------------------------------------
run export "$db" punches --format csv
check "export punches" "card,date,time,terminal,direction,employee,name,department,door
1001,2024-05-02,08:00:01,1,in,0001,Ann,Ops,Gate
1002,2024-05-02,08:03:12,1,in,0002,Bo,Ops,Gate
1001,2024-05-02,12:00:00,1,out,0001,Ann,Ops,Gate
1001,2024-05-02,17:31:44,1,out,0001,Ann,Ops,Gate" "$(tr -d '\r' <<<"$out")"
run export "$db" punches --from 2024-05-03; check "export: --from" "card	date	time	terminal	direction	employee	name	department	door" "$out"
run export "$db" log --format json
check "export log" 3 "$(grep -c '"operator"' <<<"$out")"
run export "$db" rejected --format tsv
check "export rejected: a row each" 4 "$(wc -l <<<"$out")"
run export "$db" nothing; check "export of no such table: status" 2 "$rc"

# Punches exported as CSV are imported into another database as they were.
seed "$dir/other.db"
"$TESSALY" sql "$dir/other.db" -q "INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) VALUES ('0002','Bo','Ops','1002',1,0)"
"$TESSALY" export "$db" punches --format csv >"$dir/punches.csv"
run import "$dir/other.db" "$dir/punches.csv" --format csv --double-tap 0 --now "2024-05-03 12:00:00"
check "round trip: summary" "imported 4 lines: added 4, skipped 0, rejected 0 in" "${out% * s}"
check "round trip: the same punches" "$("$TESSALY" export "$db" punches)" "$("$TESSALY" export "$dir/other.db" punches)"

# Several CSV files: each heads its lines with the same header, read once.
printf 'card,date,time\n1001,2024-05-06,08:00:00\n' >"$dir/a.csv"
printf '\xEF\xBB\xBFcard,date,time\r\n1001,2024-05-06,17:00:00\r\n' >"$dir/b.csv"
printf 'badge,when\n1001,2024-05-07 08:00:00\n' >"$dir/c.csv"
run import "$db" "$dir/a.csv" "$dir/b.csv" --format csv --terminal 1 --now "2024-06-01 00:00:00"
check "two CSV files" "imported 2 lines: added 2, skipped 0, rejected 0 in" "${out% * s}"
run import "$db" "$dir/a.csv" "$dir/c.csv" --format csv --terminal 1
check "CSV files of other headers: status" 2 "$rc"
check "CSV files of other headers: says which" "error: '$dir/c.csv' has another header than '$dir/a.csv'" "$err"
run import "$db" "$dir/c.csv" --format csv --terminal 1
check "a header naming no person: status" 2 "$rc"
run import "$db" "$dir/c.csv" --format csv --terminal 1 --map person=badge --map time=when --now "2024-06-01 00:00:00"
check "--map names the headers" "imported 1 line: added 1, skipped 0, rejected 0 in" "${out% * s}"

finish
