#!/usr/bin/env python3
"""Runs a command with a pseudo-terminal as its standard streams, as an
operator at a terminal would: gives what it wrote there and its exit status.
As a script, `on_terminal.py COMMAND ARGS...` prints what the command wrote."""
import os
import pty
import sys


def run_on_terminal(args):
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(args[0], args)
    seen = b""
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the command has ended and closed the terminal
            break
        if not chunk:
            break
        seen += chunk
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return seen, os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.stdout.buffer.write(run_on_terminal(sys.argv[1:])[0])
