#!/usr/bin/env python3
"""Runs a program with its standard error on a pseudo-terminal and writes what
the terminal received to a file: pty_run.py OUT_FILE PROGRAM ARGS...

Standard output goes where this script's goes. Exits with the program's
status.
"""
import os
import pty
import sys


def main():
    out_file = sys.argv[1]
    argv = sys.argv[2:]
    master, slave = pty.openpty()
    pid = os.fork()
    if pid == 0:
        os.close(master)
        os.dup2(slave, 2)
        os.close(slave)
        os.execv(argv[0], argv)
    os.close(slave)
    received = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal closes when the program ends
            break
        if not chunk:
            break
        received += chunk
    _, status = os.waitpid(pid, 0)
    with open(out_file, "wb") as f:
        f.write(received)
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
