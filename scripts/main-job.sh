#!/usr/bin/env bash
# Builds Tessaly and runs the main job on an embedded SQLite database: creates
# the attendance database, records two days of attendance and lists them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target tessaly_cli
db=${1:-build/attendance.db}
rm -f "$db" "$db-wal" "$db-shm"
tessaly=build/bin/tessaly
"$tessaly" init "$db"
"$tessaly" sql "$db" "insert into T_Emp (F_EmpID, F_Name, F_Dept, F_CardID) values ('0001', '张三', 'Sales', '1001')"
"$tessaly" sql "$db" "insert into T_KQ (F_EmpID, F_Name, F_Dept, F_KQType, F_Date, F_In1, F_Out1, F_SBSJ, F_JBHours) values ('0001', '张三', 'Sales', 'normal', #5/1/2003#, '08:01', '17:30', 8, 1.5)"
"$tessaly" sql "$db" "insert into T_KQ (F_EmpID, F_Name, F_Dept, F_KQType, F_Date, F_In1, F_Out1, F_SBSJ, F_CDNum, F_CDMinute) values ('0001', '张三', 'Sales', 'normal', #2003-05-02#, '08:12', '17:00', 7.5, 1, 12)"
"$tessaly" sql "$db" "select F_EmpID, F_Name, Format(F_Date,'yyyy-mm-dd') as 日期, F_In1 & '-' & F_Out1 as 时间, iif(F_CDNum=0,'',F_CDNum) as 迟到次数, F_SBSJ from T_KQ order by F_Date"
"$tessaly" sql "$db" "select count(F_KQType) as F_KQDays, sum(F_SBSJ) as F_Hours from T_KQ where F_EmpID='0001' and year(F_Date)=2003 and month(F_Date)=5"
"$tessaly" list "$db" kq --where "F_EmpID='0001'"
