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

# The punch listings, one row each.
"$TESSALY" sql "$db" "insert into T_Trans (F_Date, F_Time, F_EmpID, F_Flag, F_IsKQ) values ('2003-05-01', '08:00', '0001', 1, 0)" >/dev/null
"$TESSALY" sql "$db" "insert into T_TransLost (F_LoadDate, F_ErrMsg, F_Flag) values ('2003-05-02', 'unknown card', 1)" >/dev/null
"$TESSALY" sql "$db" "insert into T_Collect (F_WorkNo, F_KQDate, F_KQTime) values ('W1', '2003-05-01', '08:00')" >/dev/null
"$TESSALY" sql "$db" "insert into T_KQJ (F_Name, F_Address, F_State) values ('Gate', '001', 'on')" >/dev/null
"$TESSALY" sql "$db" "insert into T_Log (F_Date, F_Time, F_RecCnt, F_Operator) values ('2003-05-01', '08:30:00', 120, 'OP')" >/dev/null
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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
