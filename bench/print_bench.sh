#!/usr/bin/env bash
# Printing 1,000,000 daily rows: `tessaly sql` in each output form and
# `tessaly list kq`, timed against the sqlite3 shell printing the same rows in
# its comparable mode. Prints, for each, the best of RUNS runs: processor
# seconds (user + system, steadier than the clock on a shared machine), clock
# seconds and peak memory; then the ratio of processor seconds of each pair.
#
#   bash bench/print_bench.sh [BUILD_DIR] [ROWS] [RUNS]
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
db=$work/att.db

"$tessaly" init "$db"
# Rows made inside the engine: the benchmark times printing, not adding.
sqlite3 "$db" "with recursive n(i) as (select 1 union all select i + 1 from n where i < $rows)
  insert into T_KQ (F_EmpID, F_Name, F_Dept, F_KQType, F_Date, F_In1, F_Out1, F_SBSJ, F_JBHours,
                    F_CDNum, F_CDMinute, F_IsWQ, F_Note, F_Shift)
  select printf('%04d', i % 5000), 'Name' || (i % 5000), 'Dept' || (i % 20), 'normal',
         date('2000-01-01', '+' || (i / 5000) || ' days'), '08:0' || (i % 10), '17:30',
         7.5, (i % 4) * 0.5, i % 2, (i % 2) * 12, i % 2, case when i % 7 = 0 then 'late, bus' end, 'A'
  from n"


query="select * from T_KQ"
printf '%d rows, %s\n' "$rows" "$(sqlite3 --version | cut -d' ' -f1)" >&2
summary=""
for pair in "tsv:-tabs -header" "csv:-csv -header" "json:-json" "table:-table -header"; do
  form=${pair%%:*}
  # shellcheck disable=SC2086
  ours=$(measure cpu "tessaly sql --format $form" "$tessaly" sql "$db" "$query" --format "$form")
  # shellcheck disable=SC2086
  theirs=$(measure cpu "sqlite3 ${pair#*:}" sqlite3 ${pair#*:} "$db" "$query")
  summary+="$(printf '%-6s ratio %s' "$form" "$(ratio "$ours" "$theirs")")"$'\n'
done
# The daily listing does more than select: it orders the rows and forms its
# cells. The shell's equivalent written with the engine's own functions:
listing="select F_Dept as 部门, F_EmpID as 员工编号, F_Name as 姓名, F_Shift as 班次,
  strftime('%Y-%m-%d', F_Date) as 日期, F_KQType as 考勤类型, F_In1 as 上班1, F_Out1 as 下班1,
  F_In2 as 上班2, F_Out2 as 下班2, F_In3 as 上班3, F_Out3 as 下班3, F_ZLIn as 加班上班,
  F_ZLOut as 加班下班, case when F_IsWQ then '是' else '' end as 外勤否,
  case when F_SBSJ = 0 then '' else F_SBSJ end as 上班小时,
  case when F_JBHours = 0 then '' else F_JBHours end as 加班小时,
  case when F_QJSJ = 0 then '' else F_QJSJ end as 请假小时,
  case when F_CDNum = 0 then '' else F_CDNum end as 迟到次数,
  case when F_CDMinute = 0 then '' else F_CDMinute end as 迟到分钟,
  case when F_ZTNum = 0 then '' else F_ZTNum end as 早退次数,
  case when F_ZTMinute = 0 then '' else F_ZTMinute end as 早退分钟, F_Note as 备注, F_ID
  from Q_KQ where 1=1 order by F_Dept, F_EmpID, F_Date"
ours=$(measure cpu "tessaly list kq" "$tessaly" list "$db" kq)
theirs=$(measure cpu "sqlite3 -tabs (listing)" sqlite3 -tabs -header "$db" "$listing")
summary+="$(printf 'list   ratio %s' "$(ratio "$ours" "$theirs")")"$'\n'
printf '%s' "$summary"
