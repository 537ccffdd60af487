#!/usr/bin/python3
"""A throw-away FTP server on loopback for the demo: serves ROOT to one user.

Usage: local_ftp_server.py ROOT PORTFILE [USER PASSWORD]
Binds 127.0.0.1 on a free port, writes the port to PORTFILE, serves until
killed. File names travel as the raw bytes the client sends (CP932), so the
server keeps them byte for byte instead of decoding them as UTF-8.
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


def main():
    root, port_file = sys.argv[1], sys.argv[2]
    user = sys.argv[3] if len(sys.argv) > 3 else "demo"
    password = sys.argv[4] if len(sys.argv) > 4 else "demo"
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.unicode_errors = "surrogateescape"
    handler.permit_foreign_addresses = False
    # A thread per session: a site uploads over several connections at once,
    # which the single-threaded server can stall in active mode.
    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    with open(port_file, "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
