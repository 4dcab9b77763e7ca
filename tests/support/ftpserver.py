"""A real FTP server for the tests: pyftpdlib on 127.0.0.1 (or ::1) with an ephemeral port.

Usage: ftpserver.py ROOT USER PASSWORD [READ_LIMIT [ADDRESS [DROP_AFTER [DROPS [IDLE [TLS [HIDDEN]]]]]]]
One user with a password and full rights, and anonymous with read rights, both rooted at ROOT.
With READ_LIMIT (bytes a second, 0 for none) the server reads data connections no faster than
that, as a server behind a slow network would. ADDRESS is where it listens (127.0.0.1). With
DROP_AFTER (bytes, 0 for never) the server cuts every store's data connection once that many bytes
have come and answers 426, as when the network fails in the middle of a store. With DROPS the
server closes the control connection between files (at the first PORT, EPRT, PASV or EPSV after a
file has arrived, which begins the next file's transfer), that many times in all. With IDLE (seconds) a control connection that
stays silent that long is closed with a 421 reply, as a server's idle time-out does.
With TLS (a PEM file holding the certificate chain and the key) the server is an FTPS server that
requires TLS on the control connection before USER and on every data connection (PROT P). HIDDEN
names commands, separated by commas, that the server neither has nor lists in its FEAT reply:
"MLST,MLSD" for a server that lists only with LIST, as many do; with "MDTM" too, one that cannot
tell a file's exact time either.
Prints the port on the first line of standard output, and ends when standard input closes (so it
never outlives the test that started it).
"""
import logging
import os
import socket
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import (DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_DTPHandler,
                                TLS_FTPHandler)
from pyftpdlib.servers import FTPServer


class Behaviour:
    # A refused password is answered at once instead of after the usual delay of three seconds.
    auth_failed_timeout = 0

    drops_left = 0
    file_done = False

    def on_file_received(self, file):
        self.file_done = True

    # Between files: the next file's data command after a file has arrived meets a closed
    # connection.
    def dropped(self):
        if self.file_done and Behaviour.drops_left > 0:
            Behaviour.drops_left -= 1
            self.close()
            return True
        return False

    def ftp_PORT(self, line):
        return None if self.dropped() else super().ftp_PORT(line)

    def ftp_EPRT(self, line):
        return None if self.dropped() else super().ftp_EPRT(line)

    def ftp_PASV(self, line):
        return None if self.dropped() else super().ftp_PASV(line)

    def ftp_EPSV(self, line):
        return None if self.dropped() else super().ftp_EPSV(line)

    # Like many Unix servers, a bare LF ends a command too.
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


class Handler(Behaviour, FTPHandler):
    pass


class EarlyTlsDTPHandler(TLS_DTPHandler):
    """Lets a client's TLS handshake on a data connection run before its STOR or LIST, as curl
    starts it; pyftpdlib itself closes a data connection that is readable before the command."""

    def readable(self):
        if self._ssl_requested and not self._ssl_established:
            return True
        return super().readable()


class TlsHandler(Behaviour, TLS_FTPHandler):
    tls_control_required = True
    tls_data_required = True
    dtp_handler = EarlyTlsDTPHandler


class SlowDTPHandler(ThrottledDTPHandler):
    """Reads data connections at read_limit bytes a second through a small receive window, so the
    client's socket fills as it would behind a slow network (a large loopback window would take
    megabytes before the client ever waits)."""

    def __init__(self, sock, cmd_channel):
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 64 * 1024)
        super().__init__(sock, cmd_channel)


class DroppingDTPHandler(DTPHandler):
    """Closes a store's data connection after drop_after bytes, with a 426 reply."""

    drop_after = 0

    def handle_read(self):
        super().handle_read()
        if self.receive and not self._closed and self.tot_bytes_received >= self.drop_after:
            self.transfer_finished = False
            self._resp = ("426 Connection closed; transfer aborted.", logging.debug)
            self.close()

    handle_read_event = handle_read


def main():
    root, user, password = sys.argv[1:4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")
    handler = Handler
    if len(sys.argv) > 9 and sys.argv[9]:
        handler = TlsHandler
        handler.certfile = sys.argv[9]
        handler.keyfile = sys.argv[9]
    handler.authorizer = authorizer
    read_limit = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    address = sys.argv[5] if len(sys.argv) > 5 else "127.0.0.1"
    drop_after = int(sys.argv[6]) if len(sys.argv) > 6 else 0
    Behaviour.drops_left = int(sys.argv[7]) if len(sys.argv) > 7 else 0
    if len(sys.argv) > 8 and int(sys.argv[8]) > 0:
        handler.timeout = int(sys.argv[8])
    hidden = set(filter(None, sys.argv[10].split(","))) if len(sys.argv) > 10 else set()
    if hidden:
        handler.proto_cmds = {name: value for name, value in handler.proto_cmds.items()
                              if name not in hidden}
    if read_limit > 0:
        SlowDTPHandler.read_limit = read_limit
        handler.dtp_handler = SlowDTPHandler
    if drop_after > 0:
        DroppingDTPHandler.drop_after = drop_after
        handler.dtp_handler = DroppingDTPHandler
    logging.basicConfig(level=logging.WARNING)
    server = FTPServer((address, 0), handler)
    print(server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
