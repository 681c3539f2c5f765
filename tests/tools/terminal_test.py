#!/usr/bin/env python3
"""The tessaly command's interactive mode, driven through a pseudo-terminal as
a user at a terminal drives it: prompts, line editing, history, the table
form, and errors that leave the session going."""
import os
import pty
import select
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

    def read_until(self, marker, timeout=10.0):
        """Reads until the text seen since the last call ends with marker at
        the start of a line. Line editing redraws a line it changes as a
        carriage return and the prompt again, so a prompt after a bare
        carriage return is a redraw, not the next prompt."""
        start = len(self.seen)
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

print(f"terminal: {len(failures)} failed")
sys.exit(1 if failures else 0)
