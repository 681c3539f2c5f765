#!/usr/bin/env bash
# Measures how many Jet statements the dialect accepts and runs. Each
# statement runs through `tessaly sql` (with Access's wildcards and the en-US
# regional setting, as a saved query runs) on an empty SQLite database of its
# own; the tables and columns it names are made as the errors name them (a
# missing table becomes a table, an unknown name a column, its type guessed
# from its name), and once it runs on empty tables every table gets one row
# and it runs again, so that a value only a row evaluates is checked too. A
# statement that declares PARAMETERS is kept as a query and run with a value
# of each declared type.
#
#   bash scripts/jet-acceptance.sh FILE [TOOL]
#
# FILE holds the statements, each after a line "#@ SOURCE" naming where it
# came from; TOOL is the built tool (default build/bin/tessaly). Each
# statement prints one line: accepted, failed (with the error), crash:CODE or
# hang (it ran longer than JET_ACCEPTANCE_TIMEOUT seconds, default 20); the
# last line gives the share accepted. A failure may still be the guess's
# fault (a column put on the wrong table of a join): read the failures before
# counting them against the dialect.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: bash scripts/jet-acceptance.sh FILE [TOOL]" >&2; exit 2; }
cd "$(dirname "$0")/.."
file=$1
tool=${2:-build/bin/tessaly}
[ -x "$tool" ] || { echo "no tool at $tool: build the tessaly_cli target" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec python3 - "$file" "$tool" "$work" "${JET_ACCEPTANCE_TIMEOUT:-20}" <<'PY'
import os, re, shutil, sqlite3, subprocess, sys

FILE, TOOL, WORK, TIMEOUT = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
NAME = r'(?:\[[^\]]+\]|[^\s\[\]\(\),;.!]+)'
KEYWORDS = {'on', 'where', 'inner', 'left', 'right', 'set', 'group', 'order', 'as', 'union',
            'having', 'in', 'join', 'outer', 'select', 'from', 'and', 'or', 'pivot', 'full',
            'cross', 'with', 'into', 'values', 'not'}


def records(path):
    for rec in re.split(r'^#@ ', open(path, encoding='utf-8').read(), flags=re.M):
        if rec.strip():
            src, _, body = rec.partition('\n')
            if body.strip():
                yield src.strip(), body.strip()


def run(db, statement):
    try:
        p = subprocess.run([TOOL, 'sql', '--ansi89', '--region', 'en-US', db, statement],
                           capture_output=True, text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return 'hang', ''
    if p.returncode < 0 or p.returncode >= 128:
        return 'crash:%d' % p.returncode, p.stderr
    return p.returncode, p.stderr.strip()


def bare(n):
    return n[1:-1] if n.startswith('[') and n.endswith(']') else n


def q(n):
    return '[' + n + ']'


def aliases(stmt):
    """Alias -> table, read from FROM, JOIN and UPDATE clauses."""
    found = {}
    for a, b in re.findall(r'(?:\bFROM|\bJOIN|\bUPDATE|,|\()\s*(' + NAME + r')\s+(?:AS\s+)?(' + NAME + r')',
                           stmt, flags=re.I):
        if b.lower() not in KEYWORDS and a.lower() not in KEYWORDS:
            found[bare(b).lower()] = bare(a)
    return found


def column_type(name):
    n = name.lower()
    if re.search(r'date|time|datum|dato|_dt$|^dt|stamp', n):
        return 'DATETIME'
    if re.search(r'(^id$|_id$|id_|^id|[a-z]id$|^is[a-z_]|^has|count|^cnt|qty|quant|num$|_no$|year|'
                 r'month|week|seq|level|order$|type$)', n):
        return 'LONG'
    if re.search(r'amount|price|cost|total|sum|bal|rate|pct|percent|cover|val$|coord|debit|credit', n):
        return 'DOUBLE'
    return 'TEXT(255)'


def sample(kind):
    return {'LONG': '1', 'DOUBLE': '1', 'DATETIME': '#2020-01-15#'}.get(kind, "'1'")


def value_for(declaration):
    t = declaration.lower().split(']')[-1]
    if 'date' in t or 'time' in t:
        return '#2020-01-15#'
    if re.search(r'text|char|memo|string', t):
        return "'x'"
    if re.search(r'single|double|currency|decimal|float|numeric|ieee', t):
        return '1.5'
    if re.search(r'bit|yesno|logical', t):
        return 'True'
    return '1'


def measure(n, stmt):
    db = os.path.join(WORK, '%d.db' % n)
    sqlite3.connect(db).close()
    tables = {}             # lower name -> (name, {column: type})
    guessed = set()         # (table, column) put where an unqualified name fell
    alias = aliases(stmt)
    params = re.match(r'\s*PARAMETERS\s+(.*?);', stmt, flags=re.I | re.S)
    target = re.match(r'\s*(?:PARAMETERS\s+.*?;\s*)?INSERT\s+INTO\s+(' + NAME + ')', stmt, flags=re.I | re.S)
    target = bare(target.group(1)).lower() if target else None
    filled, extra, last = False, 0, None
    for _ in range(80):
        # The run with one row in each table starts from the tables as they
        # were before the statement ran, not as it left them.
        shutil.copyfile(db, db + '.before')
        if params:
            run(db, 'DROP PROCEDURE zz_q')
            rc, err = run(db, 'CREATE PROCEDURE zz_q AS ' + stmt)
            if rc == 0:
                rc, err = run(db, 'EXECUTE zz_q ' + ', '.join(
                    value_for(p) for p in params.group(1).split(',') if p.strip()))
        else:
            rc, err = run(db, stmt)
        if rc == 0:
            if filled or not tables or re.match(r'\s*(CREATE|ALTER|DROP)\b', stmt, re.I):
                return 'accepted', ''
            shutil.copyfile(db + '.before', db)
            filled = True
            for name, columns in tables.values():
                run(db, 'INSERT INTO %s (%s) VALUES (%s)' % (
                    q(name), ', '.join(q(c) for c in columns),
                    ', '.join(sample(k) for k in columns.values())))
            continue
        if isinstance(rc, str):
            return rc, err
        ddl = None
        m = re.search(r"cannot find the input table or query '([^']*)'", err)
        unknown_field = re.search(r"unknown field name: '([^']*)'", err)
        ambiguous = re.search(r"The specified field '([^']*)' could refer to more than one table", err)
        if m:
            tables[m.group(1).lower()] = (m.group(1), {'zz_k': 'LONG'})
            ddl = 'CREATE TABLE %s (zz_k LONG)' % q(m.group(1))
        elif unknown_field and target in tables:
            c = unknown_field.group(1)
            tables[target][1][c] = column_type(c)
            ddl = 'ALTER TABLE %s ADD COLUMN %s %s' % (q(tables[target][0]), q(c), column_type(c))
        elif 'destination fields are not the same' in err and target in tables and extra < 40:
            extra += 1
            tables[target][1]['zz_c%d' % extra] = 'TEXT(255)'
            ddl = 'ALTER TABLE %s ADD COLUMN zz_c%d TEXT(255)' % (q(tables[target][0]), extra)
        elif ambiguous:
            c = ambiguous.group(1).lower()
            for t, column in sorted(guessed):
                if column == c:
                    guessed.discard((t, column))
                    name, columns = tables[t]
                    real = next(k for k in columns if k.lower() == c)
                    del columns[real]
                    ddl = 'ALTER TABLE %s DROP COLUMN %s' % (q(name), q(real))
                    break
        else:
            m = re.search(r"Unknown name '([^']*)'", err)
            # Now without its parentheses is the function, no column to make.
            if m and m.group(1).lower() != 'now':
                owner, _, column = m.group(1).rpartition('.')
                place = None
                if owner:
                    t = alias.get(owner.lower(), owner).lower()
                    if t in tables and column.lower() not in map(str.lower, tables[t][1]):
                        place = t
                if place is None:
                    for t, (_, columns) in tables.items():
                        if column.lower() not in map(str.lower, columns):
                            place = t
                            guessed.add((t, column.lower()))
                            break
                if place is None and not tables:
                    tables['zz_names'] = ('zz_names', {'zz_k': 'LONG'})
                    run(db, 'CREATE TABLE zz_names (zz_k LONG)')
                    place = 'zz_names'
                if place is not None:
                    tables[place][1][column] = column_type(column)
                    ddl = 'ALTER TABLE %s ADD COLUMN %s %s' % (q(tables[place][0]), q(column),
                                                               column_type(column))
        if ddl is None or (ddl, err) == last:
            return 'failed', err
        last = (ddl, err)
        rc, derr = run(db, ddl)
        if rc != 0:
            return 'failed', 'while making its tables: %s: %s' % (ddl, derr)
    return 'failed', 'gave up making its tables: ' + err


counts, total = {}, 0
for n, (src, stmt) in enumerate(records(FILE)):
    result, err = measure(n, stmt)
    counts[result] = counts.get(result, 0) + 1
    total += 1
    print('%s\t%s\t%s' % (result, src, ' '.join(err.split())))
    sys.stdout.flush()
if total:
    print('%d of %d accepted (%.1f%%); %s' % (counts.get('accepted', 0), total,
          100.0 * counts.get('accepted', 0) / total,
          ', '.join('%s %d' % kv for kv in sorted(counts.items()))))
PY
