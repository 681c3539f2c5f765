#!/usr/bin/env python3
"""The tessaly command's interactive mode, driven through a pseudo-terminal as
a user at a terminal drives it: prompts, line editing, history, the table
form, errors that leave the session going, and Ctrl-C, there and in a run
of a script or a statement."""
import os
import pty
import select
import signal
import sqlite3
import subprocess
import sys
import tempfile
import termios
import time

TESSALY = os.environ["TESSALY"]
failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(name)
        print(f"FAILED {name}\n{detail}")


class Terminal:
    def __init__(self, args, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(TESSALY, [TESSALY] + args, env)
        self.seen = b""

    def read_until(self, marker, timeout=10.0, since=None):
        """Reads until the text seen since the last call (or since offset
        `since`) ends with marker at the start of a line. Line editing
        redraws a line it changes as a carriage return and the prompt again,
        so a prompt after a bare carriage return is a redraw, not the next
        prompt."""
        start = len(self.seen) if since is None else since
        deadline = time.time() + timeout
        wanted = marker.rstrip(b" ")
        if marker != b"\n":
            wanted = b"\n" + wanted
        while not (b"\n" + self.seen[start:]).rstrip(b" ").endswith(wanted):
            left = deadline - time.time()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise TimeoutError(f"waiting for {marker!r}; seen {self.seen[start:]!r}")
            try:
                chunk = os.read(self.fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise EOFError(f"ended while waiting for {marker!r}; seen {self.seen[start:]!r}")
            self.seen += chunk
        return self.seen[start:].replace(b"\r\n", b"\n").decode()

    def seen_since(self, start, marker, timeout):
        """Reads for up to timeout seconds, until marker is in what was seen
        since offset start; True when it is."""
        deadline = time.time() + timeout
        while marker not in self.seen[start:]:
            left = deadline - time.time()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                return False
            chunk = os.read(self.fd, 4096)
            if not chunk:
                return False
            self.seen += chunk
        return True

    def send(self, text, timeout=10.0):
        # Line editing reads keys only once it has taken the terminal over
        # (canonical input off); keys typed before that are read as plain
        # text, and Ctrl-A is no key then. A person never types before the
        # prompt is ready, so wait for the terminal's mode, not for a time.
        deadline = time.time() + timeout
        while termios.tcgetattr(self.fd)[3] & termios.ICANON and time.time() < deadline:
            time.sleep(0.01)
        os.write(self.fd, text.encode())

    def status(self, timeout=30.0):
        """The exit status once the command has ended. A Ctrl-D that reached
        the terminal before line editing took it over is read as nothing, so
        Ctrl-D is sent again each second until the command ends; past the
        timeout it is killed and the status is -9."""
        deadline = time.time() + timeout
        while True:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            if time.time() > deadline:
                os.kill(self.pid, 9)
                os.waitpid(self.pid, 0)
                return -9
            time.sleep(1.0)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            try:
                self.send("\x04")
            except OSError:
                pass


PROMPT = b"tessaly> "
MORE = b"   ...> "
CTRL_C = b"\x03"


def catches_sigint(pid):
    """True once the process has its own handler for SIGINT (its status's
    SigCgt mask), so a SIGINT sent then is its to handle, not the default
    that ends it."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return int(line.split()[1], 16) & (1 << (signal.SIGINT - 1)) != 0
    except OSError:
        pass
    return False


def interrupt_run(args, started=None, timeout=30.0):
    """Runs the command; once it handles SIGINT (and has written `started`
    on standard error, when given), sends SIGINT each half second until it
    ends. Gives its status and standard error; -9 when it would not end."""
    p = subprocess.Popen([TESSALY] + args, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
    err = b""
    deadline = time.time() + timeout
    while time.time() < deadline and not catches_sigint(p.pid):
        time.sleep(0.01)
    while started is not None and started not in err and time.time() < deadline:
        if select.select([p.stderr], [], [], deadline - time.time())[0]:
            chunk = os.read(p.stderr.fileno(), 4096)
            if not chunk:
                break
            err += chunk
    if started is not None:
        # `started` is written just before the statement that prints it
        # returns: a moment later the next statement is the one running.
        time.sleep(0.3)
    while p.poll() is None and time.time() < deadline:
        p.send_signal(signal.SIGINT)
        try:
            p.wait(0.5)
        except subprocess.TimeoutExpired:
            pass
    if p.poll() is None:
        p.kill()
        p.wait()
        return -9, err.decode()
    return p.returncode, (err + p.stderr.read()).decode()

with tempfile.TemporaryDirectory() as scratch:
    db = os.path.join(scratch, "att.db")
    history = os.path.join(scratch, "history")
    subprocess.run([TESSALY, "init", db], check=True)
    env = dict(os.environ, TESSALY_HISTORY=history, TERM="dumb", HOME=scratch)

    t = Terminal(["sql", db], env)
    banner = t.read_until(PROMPT)
    check("banner", "statements end with ';'" in banner, banner)

    # A statement over three lines: the continuation prompt until its ';'.
    t.send("insert into T_Emp (F_EmpID, F_Name)\n")
    t.read_until(MORE)
    t.send("values ('0001', '张三')\n")
    t.read_until(MORE)
    t.send(";\n")
    out = t.read_until(PROMPT)
    check("a write reports its count", "1 row changed" in out, out)

    # The table form on a terminal, wide characters taking two columns.
    t.send("select F_EmpID, F_Name as 姓名 from T_Emp;\n")
    out = t.read_until(PROMPT)
    table = ("+---------+------+\n"
             "| F_EmpID | 姓名 |\n"
             "+---------+------+\n"
             "| 0001    | 张三 |\n"
             "+---------+------+\n")
    check("table by default on a terminal", table in out, out)

    # A failing statement is reported and the session goes on.
    t.send("select * from T_Nowhere;\n")
    out = t.read_until(PROMPT)
    check("error reported", "error -2147217865: The database engine cannot find the input "
          "table or query 'T_Nowhere'." in out, out)

    # Line editing: Ctrl-A goes to the start of the line to put the missing 's'.
    t.send("elect 2 + 3 as five;\x01s\n")
    out = t.read_until(PROMPT)
    check("line editing", "| five |" in out and "|    5 |" in out, out)

    # History: the up arrow brings the last line back.
    t.send("\x1b[A\n")
    out = t.read_until(PROMPT)
    check("history recall", "|    5 |" in out, out)

    # Two statements on one line run one after the other.
    t.send("select 1 as a; select 'x;y' as b;\n")
    out = t.read_until(PROMPT)
    check("two statements on a line", "| a |" in out and "| x;y |" in out, out)

    t.send("\x04")  # Ctrl-D at the prompt leaves
    try:
        t.read_until(b"\n")
    except EOFError:
        pass
    check("Ctrl-D leaves with status 0", t.status() == 0)
    with open(history, encoding="utf-8") as f:
        kept = f.read().replace("\\040", " ")  # libedit keeps blanks escaped
    check("history kept between sessions", "select F_EmpID, F_Name as 姓名 from T_Emp;" in kept, kept)

    # Another output form in interactive mode.
    t = Terminal(["sql", db, "--format", "json"], env)
    t.read_until(PROMPT)
    t.send("select F_EmpID from T_Emp;\n")
    out = t.read_until(PROMPT)
    check("--format in interactive mode", '[\n{"F_EmpID":"0001"}\n]\n' in out, out)
    t.send("\x04")
    check("second session ends with 0", t.status() == 0)

    # --- Ctrl-C -------------------------------------------------------------------
    # A table of a thousand rows makes a join of three that runs for minutes.
    with sqlite3.connect(db) as native:
        native.execute("CREATE TABLE T_Big (F_N INTEGER)")
        native.executemany("INSERT INTO T_Big VALUES (?)", [(n,) for n in range(1000)])
    long_query = "select count(*) as n from T_Big as a, T_Big as b, T_Big as c"
    long_write = ("insert into T_Big (F_N) select a.F_N from T_Big as a, T_Big as b, T_Big as c "
                  "where a.F_N + b.F_N = 2 * c.F_N")

    t = Terminal(["sql", db], env)
    t.read_until(PROMPT)
    t.send(long_query + ";\n")
    # Line editing gives the terminal back once it has taken the line: the
    # statement runs from then on.
    deadline = time.time() + 10
    while not termios.tcgetattr(t.fd)[3] & termios.ICANON and time.time() < deadline:
        time.sleep(0.01)
    start = len(t.seen)
    # A Ctrl-C that comes before the engine starts is lost, as in any shell:
    # another follows each two seconds until the statement stops.
    stopped = False
    for _ in range(10):
        os.write(t.fd, CTRL_C)
        if t.seen_since(start, b"interrupted", 2.0):
            stopped = True
            break
    check("Ctrl-C stops a long query", stopped, t.seen[start:])
    t.read_until(PROMPT, since=start)  # it may have come with the notice
    with open(history, encoding="utf-8") as f:
        kept = f.read().replace("\\040", " ")
    check("history written as it grows", long_query + ";" in kept, kept)
    t.send("select 'still here' as s;\n")
    out = t.read_until(PROMPT)
    check("the session goes on after Ctrl-C", "| still here |" in out, out)

    # At a continuation prompt Ctrl-C drops the statement begun.
    t.send("select 2 as two\n")
    t.read_until(MORE)
    os.write(t.fd, CTRL_C)
    t.read_until(PROMPT)
    t.send("select 3 as three;\n")
    out = t.read_until(PROMPT)
    check("Ctrl-C at a continuation prompt clears it",
          "| three |" in out and "error" not in out, out)
    # .explain shows the engine's statement and runs nothing.
    t.send(".explain delete from T_Emp where F_EmpID = '0001'\n")
    out = t.read_until(PROMPT)
    check(".explain", "-- prepared: DELETE FROM T_Emp WHERE F_EmpID = ?1\n-- 1: '0001'\n" in out, out)
    t.send("select count(*) as n from T_Emp;\n")
    out = t.read_until(PROMPT)
    check(".explain ran nothing", "| 1 |" in out, out)
    # At an empty prompt it does the same, and the session does not end.
    os.write(t.fd, CTRL_C)
    t.read_until(PROMPT)
    t.send("\x04")
    check("Ctrl-D still leaves with 0 after Ctrl-C", t.status() == 0)

    # A script: the statement running stops and changes nothing, the ones
    # after it never run, and the run ends with 130.
    script = os.path.join(scratch, "long.sql")
    with open(script, "w") as f:
        f.write("insert into T_Big (F_N) values (-1);\n" + long_write + ";\n"
                "insert into T_Big (F_N) values (-2);\n")
    status, err = interrupt_run(["sql", db, "-f", script], started=b"1 row changed")
    check("Ctrl-C ends a script with 130", status == 130, f"{status} {err}")
    check("Ctrl-C names the statement it stopped", f"{script}:2: interrupted" in err, err)
    with sqlite3.connect(db) as native:
        rows = native.execute("SELECT count(*), sum(F_N = -1), sum(F_N = -2) FROM T_Big").fetchone()
    check("the stopped write left nothing, the next never ran", rows == (1001, 1, 0), rows)

    status, err = interrupt_run(["sql", db, long_query])
    check("Ctrl-C ends one statement with 130", status == 130, f"{status} {err}")

    # On a PostgreSQL server, when one is given, the server stops it.
    server = os.environ.get("TESSALY_PG_TARGET", "")
    if server:
        schema = f"tessaly_term_{os.getpid()}"
        subprocess.run(["psql", server, "-qc",
                        f'CREATE SCHEMA {schema}; CREATE TABLE {schema}."T_Big" AS '
                        f'SELECT g AS "F_N" FROM generate_series(1, 1000) AS g'], check=True)
        sep = "&" if "?" in server else "?"
        target = (f"{server}{sep}options=-csearch_path%3D{schema}%2Cpublic"
                  if server.startswith("postgres")
                  else f"{server} options='-csearch_path={schema},public'")
        status, err = interrupt_run(["sql", target, long_query])
        check("Ctrl-C ends a statement on the server with 130", status == 130, f"{status} {err}")
        # The server has sent all million rows before the first prints: the
        # printing stops. The reader does not read until Ctrl-C has come, so
        # the command waits on its output meanwhile.
        rows = subprocess.Popen([TESSALY, "sql", target, "--format", "tsv",
                                 "select a.F_N from T_Big as a, T_Big as b"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.time() + 30
        while not catches_sigint(rows.pid) and time.time() < deadline:
            time.sleep(0.01)
        while not select.select([rows.stdout], [], [], 0.0)[0] and time.time() < deadline:
            time.sleep(0.01)
        rows.send_signal(signal.SIGINT)
        printed = rows.stdout.read().count(b"\n")
        status = rows.wait(30)
        check("Ctrl-C stops printing a server's rows", status == 130 and printed < 1000001,
              f"{status} {printed} {rows.stderr.read()}")
        subprocess.run(["psql", server, "-qc", f"DROP SCHEMA {schema} CASCADE"], check=True)

print(f"terminal: {len(failures)} failed")
sys.exit(1 if failures else 0)
