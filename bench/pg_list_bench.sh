#!/usr/bin/env bash
# `tessaly list kq` over 1,000,000 daily rows on the server, directly and,
# with TESSALY_PG_POOLED_TARGET set, through the pooler, against the same
# listing written by hand in the server's own SQL (to_char, CASE) and printed
# by psql. Prints, for each, the best of RUNS runs by the clock (the server's
# work is most of it, and out of reach of the client's processor time), the
# client's processor seconds and its peak memory; then the ratios of clock
# seconds. The rows are made inside the server: the benchmark times listing.
#
#   TESSALY_PG_TARGET=... bash bench/pg_list_bench.sh [BUILD_DIR] [ROWS] [RUNS]
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
: "${TESSALY_PG_TARGET:?set TESSALY_PG_TARGET (scripts/pg-test-server.sh start prints it)}"
schema=tessaly_list_bench
# The scratch directory goes as timing.sh has it, and the schema with it.
finish() {
  psql "$TESSALY_PG_TARGET" -qc "SET client_min_messages = warning; DROP SCHEMA IF EXISTS $schema CASCADE" || true
  rm -rf "$work"
}
trap finish EXIT

# The schema first on the search path; through the pooler, which carries no
# options, as a role of the schema's name ("$user" leads the search path).
join='&'
[[ $TESSALY_PG_TARGET == *\?* ]] || join='?'
direct="$TESSALY_PG_TARGET${join}options=-csearch_path%3D$schema%2Cpublic"
psql "$TESSALY_PG_TARGET" -qc "SET client_min_messages = warning; DROP SCHEMA IF EXISTS $schema CASCADE" \
  -c "CREATE SCHEMA $schema" \
  -c "DO \$\$ BEGIN CREATE ROLE $schema SUPERUSER LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END \$\$"
"$tessaly" init "$direct"
psql "$direct" -qc "INSERT INTO \"T_KQ\" (\"F_EmpID\", \"F_Name\", \"F_Dept\", \"F_KQType\", \"F_Date\",
    \"F_In1\", \"F_Out1\", \"F_SBSJ\", \"F_JBHours\", \"F_CDNum\", \"F_CDMinute\", \"F_IsWQ\", \"F_Note\", \"F_Shift\")
  SELECT lpad((i % 5000)::text, 4, '0'), 'Name' || (i % 5000), 'Dept' || (i % 20), 'normal',
         date '2000-01-01' + i / 5000, '08:0' || (i % 10), '17:30', 7.5, (i % 4) * 0.5, i % 2,
         (i % 2) * 12, i % 2, CASE WHEN i % 7 = 0 THEN 'late, bus' END, 'A'
  FROM generate_series(1, $rows) AS i" -c "ANALYZE"

# The listing's cells as the server writes them itself: a date by to_char, a
# flag as 是 or nothing, a number of zero as nothing.
blank() { printf 'CASE WHEN "%s" = 0 THEN %s ELSE "%s"::text END AS "%s"' "$1" "''" "$1" "$1"; }
native="SELECT \"F_Dept\", \"F_EmpID\", \"F_Name\", \"F_Shift\", to_char(\"F_Date\", 'YYYY-MM-DD'),
  \"F_KQType\", \"F_In1\", \"F_Out1\", \"F_In2\", \"F_Out2\", \"F_In3\", \"F_Out3\", \"F_ZLIn\", \"F_ZLOut\",
  CASE WHEN \"F_IsWQ\" <> 0 THEN '是' ELSE '' END"
for column in F_SBSJ F_JBHours F_QJSJ F_CDNum F_CDMinute F_ZTNum F_ZTMinute; do
  native+=", $(blank "$column")"
done
native+=", \"F_Note\", \"F_ID\" FROM \"Q_KQ\" ORDER BY \"F_Dept\", \"F_EmpID\", \"F_Date\""

# listed NAME COMMAND...: measure by the clock, the listing's rows all printed.
listed() {
  local best
  best=$(measure wall "$@")
  [ "$(wc -l <"$work/out")" -ge "$rows" ] || { echo "$1 printed too few rows" >&2; exit 1; }
  echo "$best"
}

printf '%d rows, %s\n' "$rows" "$(psql "$direct" -Atc 'SHOW server_version')" >&2
ours=$(listed "tessaly list kq" "$tessaly" list "$direct" kq)
theirs=$(listed "psql (native listing)" psql "$direct" -AtF $'\t' -c "$native")
echo "list kq / psql          ratio $(ratio "$ours" "$theirs")"
if [ -n "${TESSALY_PG_POOLED_TARGET:-}" ]; then
  pooled=$TESSALY_PG_POOLED_TARGET
  if [[ $pooled == *user=* ]]; then
    pooled=$(sed -E "s/user=[^& ]*/user=$schema/" <<<"$pooled")
  else
    join='&'
    [[ $pooled == *\?* ]] || join='?'
    pooled+="${join}user=$schema"
  fi
  through=$(listed "tessaly list kq, pooled" "$tessaly" list "$pooled" kq)
  echo "pooled / direct         ratio $(ratio "$through" "$ours")"
fi
