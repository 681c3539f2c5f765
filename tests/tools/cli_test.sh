#!/usr/bin/env bash
# The tessaly command end to end on a scratch database.
set -u
: "${TESSALY:?path of the tessaly command}"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
db="$dir/att.db"
passed=0
failed=0
check() {  # name expected actual
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1)); printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"; fi
}

"$TESSALY" init "$db"; check "init" 0 $?
"$TESSALY" init "$db"; check "init twice" 0 $?
"$TESSALY" sql "$db" "insert into T_KQ (F_EmpID, F_Dept, F_Date, F_SBSJ, F_IsWQ) values ('0001', 'Sales', #5/1/2003#, 7.5, 1)" >/dev/null
check "insert" 0 $?
check "query" "$(printf 'F_EmpID\td\tF_SBSJ\n0001\t2003-05-01\t7.5')" \
  "$("$TESSALY" sql "$db" "select F_EmpID, Format(F_Date,'yyyy-mm-dd') as d, F_SBSJ from T_KQ")"

err=$("$TESSALY" sql "$db" "select * from T_Nowhere" 2>&1 >/dev/null); rc=$?
check "unknown table exits non-zero" 1 $rc
check "unknown table message" "error -2147217865: The database engine cannot find the input table or query 'T_Nowhere'.  Make sure it exists and that its name is spelled correctly." "$err"
err=$("$TESSALY" sql "$db" "delete from T_KQ; drop table T_KQ" 2>&1 >/dev/null); rc=$?
check "second statement refused" "1 error -2147217900: Characters found after end of SQL statement." "$rc $err"
check "nothing deleted" "$(printf 'n\n1')" "$("$TESSALY" sql "$db" "select count(*) as n from T_KQ")"

listing=$("$TESSALY" list "$db" kq)
check "listing header" "部门	员工编号	姓名	班次	日期	考勤类型	上班1	下班1	上班2	下班2	上班3	下班3	加班上班	加班下班	外勤否	上班小时	加班小时	请假小时	迟到次数	迟到分钟	早退次数	早退分钟	备注	F_ID" "$(printf '%s\n' "$listing" | head -1)"
empty9=$(printf '\t%.0s' 1 2 3 4 5 6 7 8 9)
empty7=$(printf '\t%.0s' 1 2 3 4 5 6 7)
check "listing row" "$(printf 'Sales\t0001\t\t\t2003-05-01%s\t是\t7.5%s\t1' "$empty9" "$empty7")" "$(printf '%s\n' "$listing" | sed -n 2p)"
check "listing filtered out" "" "$("$TESSALY" list "$db" mtj --where "F_Year=1999")"
"$TESSALY" list "$db" kq --where "F_Nowhere=1" >/dev/null 2>&1; check "bad condition fails" 1 $?
"$TESSALY" list "$db" nonsense >/dev/null 2>&1; check "unknown listing is a usage error" 2 $?

# The scheduling listings: the roster list over its join, and whole tables.
"$TESSALY" sql "$db" "insert into T_Dept (F_ID, F_Name) values (3, '销售部')" >/dev/null
"$TESSALY" sql "$db" "insert into T_Roster (ROSTER_NUM, FSCL_MONTH, ROST_TYPE, DEPT_ID, EMP_ID, ROST_CODE, MON_WORK_HOURS, F_D1) values (7, '2003-05', '3', 3, '0001', 4, 176, '早')" >/dev/null
roster=$("$TESSALY" list "$db" roster --where "C.F_Name='销售部'")
empty30=$(printf '\t%.0s' $(seq 1 30))
check "roster line" "$(printf '2003-05\t按部门排班\t销售部\t\t\t早%s\t7\t3\t3\t0001\t4' "$empty30")" "$(printf '%s\n' "$roster" | sed -n 2p)"
check "roster header" "FSCL_MONTH	ROST_TYPE	DEPT_NAME" "$(printf '%s\n' "$roster" | head -1 | cut -f1-3)"
check "roster filtered out" "" "$("$TESSALY" list "$db" roster --where "A.ROSTER_NUM=8")"
"$TESSALY" sql "$db" "insert into T_Shift (F_Name, F_Type) values ('Day', '1')" >/dev/null
check "shift listing" "Day	1" "$("$TESSALY" list "$db" shift | sed -n 2p | cut -f1-2)"
check "dept listing" "$(printf 'F_ID\tF_Name\tF_Note\n3\t销售部\t')" "$("$TESSALY" list "$db" dept)"
check "empty holiday listing" "" "$("$TESSALY" list "$db" holiday)"
"$TESSALY" list "$db" shift --where "1=1" >/dev/null 2>&1; check "whole-table listing takes no condition" 2 $?
help=$("$TESSALY" list --help)
for name in kq mtj shift plan roster bctype dept rostcode holiday; do
  case "$help" in *"  $name: "*) passed=$((passed + 1)) ;; *) failed=$((failed + 1)); echo "FAILED help names $name" ;; esac
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
