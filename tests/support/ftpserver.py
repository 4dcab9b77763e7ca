"""A real FTP server for the tests: pyftpdlib on 127.0.0.1 (or ::1) with an ephemeral port.

Usage: ftpserver.py ROOT USER PASSWORD [ADDRESS]
One user with a password and full rights, and anonymous with read rights, both rooted at ROOT.
Prints the port on the first line of standard output, and ends when standard input closes (so it
never outlives the test that started it).
"""
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class Handler(FTPHandler):
    # A refused password is answered at once instead of after the usual delay of three seconds.
    auth_failed_timeout = 0

    # Like many Unix servers, a bare LF ends a command too: the client's EUC-JP mode ends its
    # commands with LF only.
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.set_terminator(b"\n")

    def found_terminator(self):
        line = b"".join(self._in_buffer)
        if line.endswith(b"\r"):
            line = line[:-1]
        self._in_buffer = [line]
        self._in_buffer_len = len(line)
        super().found_terminator()


def main():
    root, user, password = sys.argv[1:4]
    address = sys.argv[4] if len(sys.argv) > 4 else "127.0.0.1"
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")
    Handler.authorizer = authorizer
    logging.basicConfig(level=logging.WARNING)
    server = FTPServer((address, 0), Handler)
    print(server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
