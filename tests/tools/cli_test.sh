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

# The request listings, by their short names.
"$TESSALY" sql "$db" "insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', ' 张三 ', 'Sales')" >/dev/null
"$TESSALY" sql "$db" "insert into T_SJ (F_ID, F_EmpID, F_DateFr, F_DateTo, F_Hour) values (3, '0001', '2003-05-01', '2003-05-02', 4)" >/dev/null
check "leave listing" "$(printf '员工编号\t员工姓名\t起始日期\t起始时间\t结束日期\t结束时间\t每天统计小时数\t事由\t批准人\t部门\tF_ID\n0001\t 张三 \t2003-05-01\t\t2003-05-02\t\t4\t\t\tSales\t3')" \
  "$("$TESSALY" list "$db" sj --where "F_EmpID='0001'")"
"$TESSALY" sql "$db" "insert into T_JB (F_ID, F_EmpID, F_KQCheck) values (1, '0001', -1)" >/dev/null
check "overtime listing marks a verified request" "是否复核刷卡=是" \
  "$("$TESSALY" list "$db" jb | awk -F'\t' 'NR==1{for(i=1;i<=NF;i++) if($i=="是否复核刷卡") c=i} NR==2{print $c}' | sed 's/^/是否复核刷卡=/')"
for name in cc xj bj wq; do
  check "listing $name of an empty table" "" "$("$TESSALY" list "$db" $name)"
done
check "help names every listing" "8" "$("$TESSALY" list --help | grep -cE '^  (kq|mtj|cc|sj|xj|bj|jb|wq)  ')"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
