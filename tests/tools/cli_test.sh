#!/usr/bin/env bash
# The tessaly command end to end on a scratch database: exit status, standard
# output and standard error of each run compared with what a user should see.
set -u
. "$(dirname "$0")/lib.sh"
db="$dir/att.db"
no_table="error -2147217865: The database engine cannot find the input table or query 'T_Nowhere'.  Make sure it exists and that its name is spelled correctly."

# --- version and usage -------------------------------------------------------
run --version; expect "--version" 0 "tessaly 0.1.0" ""
run -V; expect "-V" 0 "tessaly 0.1.0" ""
for args in "" "frobnicate $db" "sql" "sql $db --format xml x" "sql $db x -f y" "list $db nonsense" \
            "list $db"; do
  # shellcheck disable=SC2086
  run $args; check "usage '$args'" 2 "$rc"
done
for sub in init sql list typelib call; do
  run "$sub" --help
  check "$sub --help shows an example" 1 "$(grep -c '^Example' <<<"$out")"
  check "$sub --help documents exit statuses" 1 "$(grep -c '^Exit status: 0 success; 1 a statement failed; 2 usage' <<<"$out")"
done
run list --help; check "list --help names the listings" 2 "$(grep -cE '^  (kq|mtj) ' <<<"$out")"

# --- only init creates a database ----------------------------------------------
run sql "$dir/missing.db" "select 1"
expect "sql on a missing file" 3 "" "error: cannot open database '$dir/missing.db': No such file or directory (\`tessaly init\` creates one)"
run list "$dir/missing.db" kq; check "list on a missing file" 3 "$rc"
check "nothing was created" "" "$(ls "$dir"/*.db 2>/dev/null)"
mkdir "$dir/folder"
for sub in "sql:select 1" "list:kq" "init"; do
  args=("${sub%%:*}" "$dir/folder")
  [ "$sub" != "${sub#*:}" ] && args+=("${sub#*:}")
  run "${args[@]}"
  expect "$sub on a directory" 3 "" "error: cannot open database '$dir/folder': it is a directory"
done
# An empty name, or a place that cannot hold the file, is refused with the
# reason; root may write anywhere else, but not under a regular file or /proc.
run init ""; expect "init of an empty name" 2 "" "error: the database is an empty name"
run sql "" "select 1"; expect "sql on an empty name" 2 "" "error: the database is an empty name"
touch "$dir/plain"
run init "$dir/plain/att.db"
expect "init under a file" 3 "" "error: cannot create database '$dir/plain/att.db': Not a directory"
run init /proc/tessaly-att.db; check "init in /proc: status" 3 "$rc"
check "init in /proc names the place" 1 "$(grep -c "^error: cannot create database '/proc/tessaly-att.db': " <<<"$err")"
run init "$db"; expect "init" 0 "" ""
run init "$db"; expect "init twice" 0 "" ""

# --- writes say what they changed ---------------------------------------------
run sql "$db" "insert into T_KQ (F_EmpID, F_Dept, F_Date, F_SBSJ, F_IsWQ) values ('0001', 'Sales', #5/1/2003#, 7.5, 1)"
expect "insert" 0 "" "1 row changed"
run sql "$db" --quiet "insert into T_KQ (F_EmpID, F_Dept, F_Date, F_Note) values ('0002', 'R&D', #2003-05-02#, 'a,\"b\"
second line')"
expect "insert --quiet" 0 "" ""
run sql "$db" "update T_KQ set F_Shift='A' where F_EmpID <> 'none'"; expect "update two" 0 "" "2 rows changed"
run sql "$db" "delete from T_KQ where F_EmpID='none'"; expect "delete none" 0 "" "0 rows changed"
run sql "$db" "select F_EmpID, F_Dept into T_KQCopy from T_KQ"; expect "select into counts its rows" 0 "" "2 rows changed"
run sql "$db" "create table T_Scratch (F_A long, F_B text(10))"; expect "create table says nothing" 0 "" ""
run sql "$db" "create index ix_a on T_Scratch (F_A)"; expect "create index says nothing" 0 "" ""
run sql "$db" "alter table T_Scratch add column F_C long"; expect "alter table says nothing" 0 "" ""
run sql "$db" "drop table T_Scratch"; expect "drop table says nothing" 0 "" ""
run sql "$db" "drop table T_KQCopy"; expect "drop of the copy" 0 "" ""
# A saved query is read by its name and run with its values.
run sql "$db" "create procedure [By Dept] (Which Text) as select F_EmpID from T_KQ where F_Dept = Which"
expect "create procedure says nothing" 0 "" ""
run sql "$db" "create view [Sales Staff] as select F_EmpID from T_KQ where F_Dept = 'Sales'"
run sql "$db" "select * from [Sales Staff]"; expect "select from a saved query" 0 "$(printf 'F_EmpID\n0001')" ""
run sql "$db" "execute [By Dept] 'R&D'"; expect "execute with a value" 0 "$(printf 'F_EmpID\n0002')" ""
run sql "$db" "select * from [By Dept]"
expect "saved query without its value" 1 "" "error -2147217904: Too few parameters. Expected 1."
run sql "$db" "drop view [Sales Staff]"; expect "drop view says nothing" 0 "" ""

# --explain shows the engine's statement and runs nothing.
run sql "$db" --explain "delete from T_KQ where F_EmpID = 'it''s' and F_Date < #2003-05-01# and F_SBSJ > 7.5"
expect "--explain" 0 "DELETE FROM T_KQ WHERE (F_EmpID = 'it''s') AND (F_Date < '2003-05-01') AND (F_SBSJ > 7.5)
-- prepared: DELETE FROM T_KQ WHERE (F_EmpID = ?1) AND (F_Date < ?2) AND (F_SBSJ > ?3)
-- 1: 'it''s'
-- 2: #2003-05-01#
-- 3: 7.5" ""
run sql "$db" --explain "select F_EmpID into T_Made from T_KQ"
expect "--explain of a make-table query" 0 "-- makes table T_Made of the rows of:
SELECT F_EmpID FROM T_KQ" ""
run sql "$db" "select count(*) as n from T_KQ"; check "--explain ran nothing" "$(printf 'n\n2')" "$out"
run sql "$db" --explain "select from"; check "--explain of a bad statement" 1 "$rc"
run sql "$db" --explain; expect "--explain without a statement" 2 "" "error: --explain takes the STATEMENT to explain"
# LIKE reads % and _ unless --ansi89 asks for Access's * and ?.
star="select F_EmpID from T_KQ where F_Dept like 'R*' or F_Dept like 'Sale?'"
run sql "$db" "$star" --no-header --format tsv; expect "like: * and ? are characters" 0 "" ""
run sql "$db" "$star" --no-header --format tsv --ansi89
expect "like --ansi89" 0 "$(printf '0001\n0002')" ""
run list "$db" kq --where "F_Dept like 'R*'" --ansi89 --format tsv
check "list --ansi89 finds by Access's wildcards" 1 "$(grep -c '0002' <<<"$out")"

# --- output forms ---------------------------------------------------------------
q="select F_EmpID, Format(F_Date,'yyyy-mm-dd') as d, F_SBSJ, F_Note, F_Shift as 班次 from T_KQ order by F_EmpID"
run sql "$db" "$q"
expect "tsv by default in a pipe" 0 "$(printf 'F_EmpID\td\tF_SBSJ\tF_Note\t班次\n0001\t2003-05-01\t7.5\t\tA\n0002\t2003-05-02\t\ta,"b"\nsecond line\tA')" ""
run sql "$db" "$q" --format tsv --null NULL --no-header
expect "tsv --null --no-header" 0 "$(printf '0001\t2003-05-01\t7.5\tNULL\tA\n0002\t2003-05-02\tNULL\ta,"b"\nsecond line\tA')" ""
run sql "$db" "$q" --format csv
expect "csv" 0 "$(printf 'F_EmpID,d,F_SBSJ,F_Note,班次\r\n0001,2003-05-01,7.5,,A\r\n0002,2003-05-02,,"a,""b""\nsecond line",A\r')" ""
run sql "$db" "$q" --format json --null ignored
expect "json" 0 '[
{"F_EmpID":"0001","d":"2003-05-01","F_SBSJ":7.5,"F_Note":null,"班次":"A"},
{"F_EmpID":"0002","d":"2003-05-02","F_SBSJ":null,"F_Note":"a,\"b\"\nsecond line","班次":"A"}
]' ""
run sql "$db" "select 1 as i, 2.5 as x, -0.25 as y, 1E+300 * 10 as z, 'x\\y' as t, #2003-05-01# as d from T_KQ where F_EmpID='0001'" --format json
expect "json numbers" 0 '[
{"i":1,"x":2.5,"y":-0.25,"z":1E+301,"t":"x\\y","d":"2003-05-01"}
]' ""
run sql "$db" "$q" --format table --null '-'
expect "table" 0 "+---------+------------+--------+--------------------+------+
| F_EmpID | d          | F_SBSJ | F_Note             | 班次 |
+---------+------------+--------+--------------------+------+
| 0001    | 2003-05-01 |    7.5 | -                  | A    |
| 0002    | 2003-05-02 | -      | a,\"b\"\\nsecond line | A    |
+---------+------------+--------+--------------------+------+" ""
run sql "$db" "select F_EmpID as 员工编号 from T_KQ where F_EmpID='0001'" --format table --no-header
expect "table --no-header" 0 "+------+
| 0001 |
+------+" ""

# An empty result still shows what it would have held.
empty="select F_EmpID, F_Date from T_KQ where 1=0"
for form in "tsv:F_EmpID	F_Date" "csv:F_EmpID,F_Date"$'\r' "json:[]" \
            "table:$(printf '+---------+--------+\n| F_EmpID | F_Date |\n+---------+--------+\n+---------+--------+')"; do
  run sql "$db" "$empty" --format "${form%%:*}"; expect "empty $form" 0 "${form#*:}" ""
done

# --- listings -------------------------------------------------------------------
run list "$db" kq --where "F_EmpID='0001'"
check "listing header" "部门	员工编号	姓名	班次	日期	考勤类型	上班1	下班1	上班2	下班2	上班3	下班3	加班上班	加班下班	外勤否	上班小时	加班小时	请假小时	迟到次数	迟到分钟	早退次数	早退分钟	备注	F_ID" "$(head -1 <<<"$out")"
empty9=$(printf '\t%.0s' 1 2 3 4 5 6 7 8 9)
empty7=$(printf '\t%.0s' 1 2 3 4 5 6 7)
check "listing row" "$(printf 'Sales\t0001\t\tA\t2003-05-01%s\t是\t7.5%s\t1' "$empty9" "$empty7")" "$(sed -n 2p <<<"$out")"
run list "$db" kq --field-names --where "F_EmpID='0001'" --format csv
check "listing --field-names" "F_Dept,F_EmpID,F_Name,F_Shift,F_Date,F_KQType,F_In1,F_Out1,F_In2,F_Out2,F_In3,F_Out3,F_ZLIn,F_ZLOut,F_IsWQ,F_SBSJ,F_JBHours,F_QJSJ,F_CDNum,F_CDMinute,F_ZTNum,F_ZTMinute,F_Note,F_ID"$'\r' "$(head -1 <<<"$out")"
run list "$db" mtj --where "F_Year=1999"
expect "empty listing prints its header" 0 "年	月	部门	员工编号	姓名	正常上班	异常出勤	公休天数	休假天数	出差天数	旷工天数	病假天数	事假天数	其他天数	总工作小时	请假小时	平时加班小时	公休加班小时	加班小时合计	迟到次数	迟到分钟	早退次数	早退分钟	备注	F_ID" ""
run list "$db" mtj --where "F_Year=1999" --format json; expect "empty listing in json" 0 "[]" ""
run list "$db" kq --where "F_Nowhere=1"; check "bad condition fails" 1 "$rc"
# A flag shows 是 when set and nothing otherwise, also when it is Null.
run sql "$db" -q "insert into T_WQ (F_ID, F_EmpID, F_CancelIn1, F_CancelOut3) values (5, '0009', -1, 0)"
run list "$db" wq --where "F_ID=5" --format tsv
check "flags of a listing" "$(printf '0009\t\t\t\t\t是\t\t\t\t\t\t\t\t\t5')" "$(sed -n 2p <<<"$out")"
run sql "$db" -q "delete from T_WQ"

# --- failures -------------------------------------------------------------------
run sql "$db" "select * from T_Nowhere"; expect "unknown table" 1 "" "$no_table"
run sql "$db" "delete from T_KQ; drop table T_KQ"
expect "a second statement on the command line is refused, saying where" 1 "" "error -2147217900: Characters found after end of SQL statement.
at character 18 near 'drop table T_KQ'"
run sql "$db" "select count(*) as n from T_KQ"; expect "nothing deleted" 0 "$(printf 'n\n2')" ""

# --- scripts ---------------------------------------------------------------------
cat >"$dir/script.sql" <<'SQL'
-- a comment; with a semicolon
insert into T_Emp (F_EmpID, F_Name) values ('0003', 'it''s; fine');
select F_Name from T_Emp where F_EmpID = '0003' /* ; */ and #2003-05-01# < Date();

select * from T_Nowhere;
insert into T_Emp (F_EmpID, F_Name) values ('0004', 'never');
SQL
run sql "$db" -f "$dir/script.sql"
expect "script stops at its failing statement" 1 "$(printf "F_Name\nit's; fine")" "1 row changed
$dir/script.sql:5: $no_table"
run sql "$db" "select count(*) as n from T_Emp where F_EmpID='0004'"; check "statement after the failure did not run" "$(printf 'n\n0')" "$out"
out=$(printf "select 1 as a;\nselect 2 as b" | "$TESSALY" sql "$db" - 2>&1); rc=$?
check "statements from standard input ('-')" "0 $(printf 'a\n1\nb\n2')" "$rc $out"
out=$(printf "update T_Emp set F_Name='x' where F_EmpID='0003';\n\n bad statement;" | "$TESSALY" sql "$db" 2>&1); rc=$?
check "standard input without '-'" "1 1 row changed
<stdin>:3: error -2147217900: Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.
<stdin>:3: at character 0 near 'bad statement'" "$rc $out"
printf '\xef\xbb\xbfselect 1 as one;\r\nselect 2 as two\r\n' >"$dir/bom.sql"
run sql "$db" -f "$dir/bom.sql"; expect "byte-order mark and CR LF lines" 0 "$(printf 'one\n1\ntwo\n2')" ""
out=$(printf "select F_Name from T_Emp where F_Name = 'Zoë' and and 1" | "$TESSALY" sql "$db" 2>&1); rc=$?
check "a syntax error says where reading failed" "1 <stdin>:1: error -2147217900: Syntax error (missing operator) in query expression 'F_Name = 'Zoë' and and 1'.
<stdin>:1: at character 50 near 'and 1'" "$rc $out"
run sql "$db" -f "$dir/absent.sql"; expect "script file missing" 2 "" "error: cannot read '$dir/absent.sql': No such file or directory"
run sql "$db" -f "$dir/folder"; expect "script that is a directory" 2 "" "error: cannot read '$dir/folder': it is a directory"
out=$("$TESSALY" sql "$db" <"$dir/folder" 2>&1); rc=$?
check "standard input that is a directory" "2 error: cannot read standard input: it is a directory" "$rc $out"
run sql "$db" -f ""; expect "script of an empty name" 2 "" "error: the script file is an empty name"

# --- input that is not UTF-8 is refused before anything runs ------------------------
printf "insert into T_Emp (F_EmpID) values ('0005');\nselect '\xff';\n" >"$dir/latin.sql"
run sql "$db" -f "$dir/latin.sql"; expect "file not UTF-8" 2 "" "error: '$dir/latin.sql' is not valid UTF-8: byte offset 53"
run sql "$db" "select count(*) as n from T_Emp where F_EmpID='0005'"; check "nothing of it ran" "$(printf 'n\n0')" "$out"
out=$("$TESSALY" sql "$db" - <"$dir/latin.sql" 2>&1); rc=$?
check "standard input not UTF-8" "2 error: '<stdin>' is not valid UTF-8: byte offset 53" "$rc $out"
run sql "$db" "$(printf "select 'ab\xc3'")"; expect "statement not UTF-8" 2 "" "error: the statement is not valid UTF-8: byte offset 10"
run list "$db" kq --where "$(printf "F_Name='\xe5\xbc'")"; expect "condition not UTF-8" 2 "" "error: the condition is not valid UTF-8: byte offset 8"

# --- a reader that leaves early ------------------------------------------------------
sqlite3 "$db" "with recursive n(i) as (select 1 union all select i + 1 from n where i < 50000)
  insert into T_KQ (F_EmpID, F_Dept, F_Date) select printf('%05d', i), 'Sales', '2003-06-01' from n"
for form in tsv csv json table; do
  "$TESSALY" sql "$db" "select * from T_KQ" --format "$form" 2>"$dir/stderr" | head -1 >/dev/null
  check "closed pipe, $form" "0 " "${PIPESTATUS[0]} $(cat "$dir/stderr")"
done
"$TESSALY" list "$db" kq 2>"$dir/stderr" | head -c 10 >/dev/null
check "closed pipe, list" "0 " "${PIPESTATUS[0]} $(cat "$dir/stderr")"

"$TESSALY" sql "$db" "insert into T_Emp (F_EmpID, F_Name, F_Spell, F_Dept) values ('0001', '张三', 'zs', 'Sales')" >/dev/null
"$TESSALY" sql "$db" "insert into T_Emp (F_EmpID, F_Name, F_Spell) values ('0002', 'O''Brien', 'ob')" >/dev/null
check "employees by department" "$(printf 'F_EmpID\tF_Name\tF_Spell\n0002\tO'"'"'Brien\tob\n0001\t张三\tzs')" \
  "$("$TESSALY" list "$db" emp --where "F_EmpID in ('0001','0002')" | cut -f1-3)"
check "employees filtered by a condition" "$(printf 'F_EmpID\tF_Name\tF_Spell\n0001\t张三\tzs')" \
  "$("$TESSALY" list "$db" emp --field-names --where "F_Spell='ZS'" | cut -f1-3)"
check "an apostrophe in a condition's text finds nothing" "$(printf 'F_EmpID\tF_Name\tF_Spell')" \
  "$("$TESSALY" list "$db" emp --field-names --where "F_Spell='o'''" | cut -f1-3)"
check "employee type-ahead, any letter case" "$(printf 'F_EmpID\tF_Name\tF_Dept\n0001\t张三\tSales')" \
  "$("$TESSALY" list "$db" empfind --field-names --where ' ZS ')"
check "type-ahead apostrophe finds nothing and breaks nothing" "F_EmpID	F_Name	F_Dept" \
  "$("$TESSALY" list "$db" empfind --field-names --where "o'")"
"$TESSALY" sql "$db" "insert into T_User (F_ID, F_UserID, F_Name, F_Pwd) values (1, 'admin', 'Admin', 'secret')" >/dev/null
check "users without their passwords" "$(printf 'F_ID\tF_UserID\tF_Name\tF_Right\n1\tadmin\tAdmin\t')" \
  "$("$TESSALY" list "$db" user --field-names)"

# The scheduling listings: the roster list over its join, and whole tables.
"$TESSALY" sql "$db" "insert into T_Dept (F_ID, F_Name) values (3, '销售部')" >/dev/null
"$TESSALY" sql "$db" "insert into T_Roster (ROSTER_NUM, FSCL_MONTH, ROST_TYPE, DEPT_ID, EMP_ID, ROST_CODE, MON_WORK_HOURS, F_D1) values (7, '2003-05', '3', 3, '0001', 4, 176, '早')" >/dev/null
roster=$("$TESSALY" list "$db" roster --where "C.F_Name='销售部'")
check "roster line: the row, its names and day 1" "$(printf '7\t2003-05\t3\t3\t0001\t4\t张三\t销售部\t\t176\t早')" \
  "$(printf '%s\n' "$roster" | sed -n 2p | cut -f1-11)"
check "roster header" "ROSTER_NUM	FSCL_MONTH	ROST_TYPE" "$(printf '%s\n' "$roster" | head -1 | cut -f1-3)"
check "roster filtered out" "" "$("$TESSALY" list "$db" roster --no-header --where "A.ROSTER_NUM=8")"
"$TESSALY" sql "$db" "insert into T_Shift (F_Name, F_Type) values ('Day', '1')" >/dev/null 2>&1
check "shift listing" "Day	1" "$("$TESSALY" list "$db" shift | sed -n 2p | cut -f1-2)"
check "shift listing under a condition" "" "$("$TESSALY" list "$db" shift --no-header --where "F_Name='Night'")"
check "dept listing" "$(printf 'F_ID\tF_Name\tF_Note\n3\t销售部\t')" "$("$TESSALY" list "$db" dept)"
check "empty holiday listing" "" "$("$TESSALY" list "$db" holiday --no-header)"
help=$("$TESSALY" list --help)
for name in kq mtj emp empfind user shift plan roster bctype dept rostcode holiday cc sj xj bj jb wq; do
  case "$help" in *"  $name "*) passed=$((passed + 1)) ;; *) failed=$((failed + 1)); echo "FAILED help names $name" ;; esac
done

# The request listings, by their short names.
"$TESSALY" sql "$db" "insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0009', ' 李四 ', 'Sales')" >/dev/null
"$TESSALY" sql "$db" "insert into T_SJ (F_ID, F_EmpID, F_DateFr, F_DateTo, F_Hour) values (3, '0009', '2003-05-01', '2003-05-02', 4)" >/dev/null
check "leave listing" "$(printf '员工编号\t员工姓名\t起始日期\t起始时间\t结束日期\t结束时间\t每天统计小时数\t事由\t批准人\t部门\tF_ID\n0009\t 李四 \t2003-05-01\t\t2003-05-02\t\t4\t\t\tSales\t3')" \
  "$("$TESSALY" list "$db" sj --where "F_EmpID='0009'")"
"$TESSALY" sql "$db" "insert into T_JB (F_ID, F_EmpID, F_KQCheck) values (1, '0001', -1)" >/dev/null
check "overtime listing marks a verified request" "是否复核刷卡=是" \
  "$("$TESSALY" list "$db" jb | awk -F'\t' 'NR==1{for(i=1;i<=NF;i++) if($i=="是否复核刷卡") c=i} NR==2{print $c}' | sed 's/^/是否复核刷卡=/')"
for name in cc xj bj wq; do
  check "listing $name of an empty table" "" "$("$TESSALY" list "$db" $name --no-header)"
done

# The punch listings, one row each.
"$TESSALY" sql "$db" "insert into T_Trans (F_Date, F_Time, F_EmpID, F_Flag, F_IsKQ) values ('2003-05-01', '08:00', '0001', 1, 0)" >/dev/null 2>&1
"$TESSALY" sql "$db" "insert into T_TransLost (F_LoadDate, F_ErrMsg, F_Flag) values ('2003-05-02', 'unknown card', 1)" >/dev/null 2>&1
"$TESSALY" sql "$db" "insert into T_Collect (F_WorkNo, F_KQDate, F_KQTime) values ('W1', '2003-05-01', '08:00')" >/dev/null 2>&1
"$TESSALY" sql "$db" "insert into T_KQJ (F_Name, F_Address, F_State) values ('Gate', '001', 'on')" >/dev/null 2>&1
"$TESSALY" sql "$db" "insert into T_Log (F_Date, F_Time, F_RecCnt, F_Operator) values ('2003-05-01', '08:30:00', 120, 'OP')" >/dev/null 2>&1
check "punch listing" "$(printf '刷卡日期	刷卡时间	卡号	员工编号	姓名	部门	班次	考勤机地址	考勤机名称	F_ID
2003-05-01	08:00		0001			1			1')" "$("$TESSALY" list "$db" trans --where "F_EmpID='0001'")"
check "rejected punch listing" "提取日期	错误原因	卡号	刷卡日期	刷卡时间	员工编号	员工姓名	部门	班次	考勤机地址	考勤机名称	F_ID" "$("$TESSALY" list "$db" translost | head -1)"
check "collected punch listing" "$(printf 'F_WorkNo	F_KQDate	F_KQTime	F_DcuID	F_Door	F_Flag
W1	2003-05-01	08:00			')" "$("$TESSALY" list "$db" collect)"
check "terminal listing" "$(printf 'F_Name	F_Address	F_State
Gate	001	on')" "$("$TESSALY" list "$db" kqj)"
check "log listing" "$(printf '日期	时间	记录数	操作员	备注	F_ID
2003-05-01	08:30:00	120	OP		1')" "$("$TESSALY" list "$db" log --where "F_RecCnt>100")"
help=$("$TESSALY" list --help)
for name in kq mtj trans translost collect kqj log; do
  case "$help" in *"$name"*) passed=$((passed + 1)) ;; *) failed=$((failed + 1)); echo "FAILED help names $name" ;; esac
done

# --- the published classes by name ---------------------------------------------
run typelib
check "typelib: the library" "library Tessaly 46.0 lcid 0x409" "$(head -1 <<<"$out" | cut -d' ' -f1-5)"
check "typelib: 22 classes" 22 "$(grep -c '^coclass ' <<<"$out")"
check "typelib: 14 enumerations" 14 "$(grep -c '^enum ' <<<"$out")"
check "typelib: a by-reference parameter" 1 "$(grep -c 'Function HasTransByFlag(ByVal strDate As String, ByVal EmpID As String, ByVal intFlag As Integer, ByRef HasIt As Boolean, ByRef RetTime As String, Optional ByVal strErr As String = "") As eRESULT' <<<"$out")"
cdb="$dir/call.db"
"$TESSALY" init "$cdb"
run call "$cdb" Tessaly.clsKQ Add --let FEmpID=0007 --let FDate=2003-05-06 --let FKQType=事假 --let fname=李四
expect "call Add" 0 "result: 17" ""
run call "$cdb" clsKQ CalcKaoQinDays 2003 5 事假 0007 0
expect "call with a by-reference result" 0 "$(printf 'result: 1\nRetDays: 1')" ""
run call "$cdb" clsKQ DoSearch "" 3 --let FEmpID=0007 --let FDate=2003-05-06
expect "call DoSearch" 0 "$(printf 'result: 65\nErrStr: \nExtraParam: 3')" ""
run call "$cdb" clsTrans HasTrans 2003-05-01 2003-05-31 0007 08:00 09:00 True 0 ""
expect "call with booleans" 0 "$(printf 'result: 1\nHasIt: False\nRetTime: ')" ""
# The status says whether the member's answer is a success for it.
run call "$cdb" clsKQ Add --let FEmpID=0008 --let FDate=notadate
expect "call: a failed Add exits 1 with its error" 1 "result: 22" "error -2147217900: Syntax error in date in query expression '#notadate#'."
run call "$cdb" clsKQ DoSearch "" 3 --let FEmpID=0009 --let FDate=2003-05-06
expect "call: RES_NOTFOUND exits 1, saying nothing" 1 "$(printf 'result: 71\nErrStr: \nExtraParam: 3')" ""
run call "$cdb" clsKQ ExeSearch "F_Nowhere=1" 0
expect "call: ExeSearch's swallowed error" 1 "$(printf 'result:\nRetRow: 0')" "error -2147217904: No value given for one or more required parameters.  Unknown name 'F_Nowhere'."
run call "$cdb" clsKQ ExeSearchWithRecord "F_EmpID='none'"
expect "call: Nothing exits 1" 1 "result: Nothing" ""
"$TESSALY" call "$cdb" clsKQ Add --let FEmpID=0007 --let FDate=2003-05-07 --let FKQType=事假 >/dev/null
run call "$cdb" clsKQ ExeSearch "F_EmpID='0007'" 0
check "call: a listing prints a row a line" 0 "$rc"
check "call: no CR in a listing" 0 "$(tr -cd '\r' <<<"$out" | wc -c)"
check "call: the listing's rows" "2003-05-06 2003-05-07" "$(sed -n '2,3p' <<<"$out" | cut -f5 | tr '\n' ' ' | sed 's/ $//')"
check "call: the listing's count" "RetRow: 2" "$(sed -n 4p <<<"$out")"
json_of() { python3 -c 'import json,sys; print(json.dumps(json.load(sys.stdin), ensure_ascii=False, sort_keys=True))'; }
run call "$cdb" clsKQ CalcKaoQinDays 2003 5 事假 0007 0 --format json
check "call --format json: one object" '{"RetDays": 2, "result": 1}' "$(json_of <<<"$out")"
run call "$cdb" clsKQ ExeSearch "F_EmpID='0007'" 0 --format json
check "call --format json: a listing's rows" '2 ["", "0007", "李四", "", "2003-05-06", "事假"] 2' \
  "$(python3 -c 'import json,sys; o=json.load(sys.stdin); print(len(o["rows"]), json.dumps(o["rows"][0][:6], ensure_ascii=False), o["RetRow"])' <<<"$out")"
run call "$cdb" clsKQ ExeSearchWithRecord "F_EmpID='0007'" --format json
check "call --format json: a recordset's rows" 'Recordset 2 2003-05-07' \
  "$(python3 -c 'import json,sys; o=json.load(sys.stdin); print(o["result"], len(o["rows"]), o["rows"][1]["日期"])' <<<"$out")"
run call "$cdb" clsKQ ExeSearchWithRecord "F_EmpID='none'" --format json
check "call --format json: Nothing" '1 {"result": null}' "$rc $(json_of <<<"$out")"
run call "$cdb" clsKQ CalcKaoQinDays May 5 事假 0007 0
expect "call with a bad argument" 1 "" "error: CalcKaoQinDays: type mismatch (argument 1)"
run call "$cdb" clsKQ ExeSearch
expect "call missing an argument" 1 "" "error: ExeSearch: argument not optional (argument 1)"
run call "$cdb" clsKQ Frobnicate
expect "call an unknown member" 1 "" "error: Frobnicate: no such member"
run call "$cdb" Tessaly.clsNone Add
expect "call an unknown class" 2 "" "error: no published class 'Tessaly.clsNone' (\`tessaly typelib\` lists them)"
run call "$cdb" clsKQ Add --let FCDNum=99999
expect "call a let that overflows" 1 "" "error: FCDNum: overflow (argument 1)"
run call "$dir/none.db" clsKQ Add; check "call on a missing file" 3 "$rc"

# --- a PostgreSQL server, when one is given ---------------------------------------
# The same commands on a server target, in a schema of this run's own; the
# target is never repeated in an error, as it may hold a password.
if [ -n "${TESSALY_PG_TARGET:-}" ]; then
  schema="tessaly_cli_$$"
  case "$TESSALY_PG_TARGET" in
    postgres*) sep='&'; [[ "$TESSALY_PG_TARGET" == *\?* ]] || sep='?'
               pg="$TESSALY_PG_TARGET${sep}options=-csearch_path%3D$schema%2Cpublic" ;;
    *) pg="$TESSALY_PG_TARGET options='-csearch_path=$schema,public'" ;;
  esac
  run sql "$TESSALY_PG_TARGET" "select 1 as x"; check "server target opens" 0 "$rc"
  psql "${TESSALY_PG_TARGET}" -qc "CREATE SCHEMA $schema" 2>/dev/null ||
    { failed=$((failed + 1)); echo "FAILED creating a schema on the server"; }
  run init "$pg"; expect "init on a server" 0 "" ""
  run sql "$pg" "insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '张三', 'Sales')"
  expect "insert on a server" 0 "" "1 row changed"
  run list "$pg" empfind --where "张" --format json
  expect "listing on a server" 0 "$(printf '[\n{"F_EmpID":"0001","F_Name":"张三","F_Dept":"Sales"}\n]')" ""
  run sql "$pg" "select F_EmpID into T_EmpCopy from T_Emp"; expect "select into on a server" 0 "" "1 row changed"
  run sql "$pg" "drop table T_EmpCopy"; expect "drop table on a server says nothing" 0 "" ""
  run sql "$pg" --explain "select F_Name from T_Emp where F_EmpID = '0001'"
  check "--explain on a server: its parameter" "-- 1: '0001'" "$(tail -1 <<<"$out")"
  check "--explain on a server: placeholders" 1 "$(grep -c '^-- prepared: .*\$1' <<<"$out")"
  run sql "$pg" "select * from T_Nowhere"; expect "a server's error" 1 "" "$no_table"
  run sql "${TESSALY_PG_TARGET%%\?*}?host=/nonexistent-dir" "select 1"
  check "a server that cannot be reached" 3 "$rc"
  psql "${TESSALY_PG_TARGET}" -qc "DROP SCHEMA $schema CASCADE" 2>/dev/null
fi

finish
