#!/usr/bin/env python3
"""tessaly import at a terminal: its progress line on standard error (lines
read, added, skipped, rejected, the rate, the time left), cleared before the
summary; and none of it when standard error is no terminal."""
import os
import subprocess
import sys
import tempfile

from on_terminal import run_on_terminal

TESSALY = os.environ["TESSALY"]


def main():
    with tempfile.TemporaryDirectory() as d:
        db = os.path.join(d, "att.db")
        subprocess.run([TESSALY, "init", db], check=True)
        subprocess.run([TESSALY, "sql", db, "-q", "INSERT INTO T_KQJ (F_Name,F_Address,F_State) "
                        "VALUES ('Gate','1','on')"], check=True)
        log = os.path.join(d, "log.dat")
        with open(log, "w") as f:
            for i in range(30000):
                f.write(f"{1000 + i % 500}\t2024-05-{1 + i // 2000:02d} 08:{i % 60:02d}:00\t1\t0\n")
        args = [TESSALY, "import", db, log, "--chunk", "200", "--now", "2024-06-01 00:00:00"]
        seen, status = run_on_terminal(args)
        text = seen.decode()
        failures = []
        if status != 0:
            failures.append(f"status {status}")
        progress = [p for p in text.split("\r\x1b[K") if p.startswith("read 30000, added 0")]
        if not progress:
            failures.append("no progress line")
        elif not all(" rejected " in p and " lines/s" in p for p in progress):
            failures.append("a progress line lacks the counts or the rate")
        if not any(" left" in p for p in progress):
            failures.append("no time left shown")
        if "\r\x1b[Kimported 30000 lines: added 0, skipped 0, rejected 30000 (" not in text:
            failures.append("no summary")
        # Standard error that is no terminal gets no progress.
        quiet = subprocess.run(args, capture_output=True, text=True)
        if quiet.stderr != "":
            failures.append(f"progress on a pipe: {quiet.stderr!r}")
        for f in failures:
            print("FAILED", f, "\n", text[-2000:])
        print(f"{0 if failures else 1} passed, {len(failures)} failed")
        return 1 if failures else 0


sys.exit(main())
