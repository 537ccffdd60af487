#!/usr/bin/python3
"""A real FTP server (pyftpdlib) on loopback for the integration tests.

usage: ftp_server.py ROOT USER PASSWORD [PORT [threaded]]

Binds 127.0.0.1 (PORT 0 or absent: a free port), prints "PORT <n>" on stdout
once it listens, and serves until it is terminated or its stdin closes (so a
test process that dies never leaves it running). File names travel as raw
bytes: arguments are decoded with surrogateescape, so CP932 names land on
disk as the same bytes. Its FEAT lists UTF8, so a client that asks for the
server's encoding sends UTF-8 names, and they land as UTF-8, as a modern
server keeps them.
"""
import logging
import os
import sys
import threading
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import asynchat

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer, ThreadedFTPServer


def main():
    root, user, password = sys.argv[1], sys.argv[2], sys.argv[3]
    port = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    # One thread per session: several sessions at once in active mode can
    # otherwise stall one of them after a store.
    threaded = len(sys.argv) > 5 and sys.argv[5] == "threaded"
    logging.basicConfig(level=logging.ERROR)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")

    class Handler(FTPHandler):
        unicode_errors = "surrogateescape"

        def push(self, s):
            # Replies that quote a CP932 name (257 after MKD) carry the
            # same raw bytes back instead of failing to encode.
            asynchat.async_chat.push(self, s.encode("utf8", self.unicode_errors))

    if threaded:
        cwd_lock = threading.Lock()

        class Handler(Handler):
            def ftp_CWD(self, path):
                # The check of a new folder changes the process's working
                # folder and back: one session at a time, or two sessions
                # leave it somewhere else (even in a folder deleted later).
                with cwd_lock:
                    return super().ftp_CWD(path)

    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib ready."
    Handler.auth_failed_timeout = 0.1  # refused logins answer at once
    server = (ThreadedFTPServer if threaded else FTPServer)(("127.0.0.1", port), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
