"""Runs a command on a new pseudo-terminal and answers its prompt.

    pty_run.py ANSWER -- COMMAND [ARG...]

Whatever the command writes to the terminal is copied to standard output.
Once it has written text ending in ":" (a prompt), ANSWER and a line end are
typed, once. The exit status is the command's.
"""

import os
import pty
import sys


def main():
    answer = sys.argv[1]
    command = sys.argv[sys.argv.index("--") + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""
    answered = False
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
        sys.stdout.buffer.write(chunk)
        sys.stdout.flush()
        if not answered and seen.rstrip().endswith(b":"):
            os.write(fd, answer.encode() + b"\n")
            answered = True
    _, status = os.waitpid(pid, 0)
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
