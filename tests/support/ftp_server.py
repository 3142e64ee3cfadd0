"""An FTP server on 127.0.0.1 for the tests: serves --root to one user, prints its port, then runs
until it is killed or its standard input closes (so it never outlives the test that started it).

Usage: ftp_server.py --root DIR --user NAME --password PW [--perm RELDIR=PERMS ...] [--idle-timeout S]
                     [--delay MS] [--tls CERT_AND_KEY.pem]
With --tls, FTP over explicit TLS: AUTH TLS and PROT P are required before login and transfers.
Needs Debian's pyftpdlib (/usr/bin/python3), and python3-openssl for --tls. Run it with -X utf8 so that file names that are not
UTF-8 (CP932, say) are served as the bytes they are on disk.
"""
import argparse
import logging
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, FTPHandler
from pyftpdlib.servers import FTPServer


class BytesNameHandler(FTPHandler):
    # Names travel as bytes: what is not UTF-8 round-trips through lone surrogates, both in
    # commands and in listings, so CP932 names on disk reach the client unchanged and back.
    unicode_errors = 'surrogateescape'
    auth_failed_timeout = 0  # refuse a wrong password at once, not after 3 s

    def push(self, s):
        super(FTPHandler, self).push(s.encode('utf8', 'surrogateescape'))


class SlowActiveDTP(ActiveDTP):
    delay = 0

    def __init__(self, *args, **kwargs):
        time.sleep(self.delay)
        super().__init__(*args, **kwargs)


class SlowHandler(BytesNameHandler):
    # A server some way off: each reply and each data connection comes `delay` seconds late.
    # The server serves one client at a time, so holding up its loop holds up only that client.
    active_dtp = SlowActiveDTP
    delay = 0

    def respond(self, resp, *args, **kwargs):
        time.sleep(self.delay)
        super().respond(resp, *args, **kwargs)


def watch_stdin():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--root', required=True)
    parser.add_argument('--user', required=True)
    parser.add_argument('--password', required=True)
    parser.add_argument('--idle-timeout', type=float, default=300,
                        help='seconds after which an idle control connection is dropped')
    parser.add_argument('--perm', action='append', default=[],
                        help='RELDIR=PERMS, e.g. locked=l: listed, but neither entered nor downloaded')
    parser.add_argument('--delay', type=float, default=0,
                        help='milliseconds to wait before each reply and each data connection')
    parser.add_argument('--tls', help='the certificate and its key, in one PEM file')
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    root = os.path.realpath(args.root)
    authorizer.add_user(args.user, args.password, root, perm='elr')
    for item in args.perm:
        rel, perms = item.rsplit('=', 1)
        authorizer.override_perm(args.user, os.path.join(root, rel), perms)
    handler = BytesNameHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class PatientTlsDTPHandler(TLS_DTPHandler):
            # A client may open the data connection before it sends the command (libcurl does,
            # in passive mode): pyftpdlib drops such a connection once its TLS handshake makes
            # it readable. It is kept, and the handshake done, until the command comes.
            def readable(self):
                if not self.receive and not self._initialized:
                    return self._ssl_accepting or self._ssl_want_read
                return super().readable()

        class TlsBytesNameHandler(TLS_FTPHandler):
            dtp_handler = PatientTlsDTPHandler
            unicode_errors = 'surrogateescape'
            auth_failed_timeout = 0
            tls_control_required = True
            tls_data_required = True
            certfile = args.tls

            def push(self, s):
                super(FTPHandler, self).push(s.encode('utf8', 'surrogateescape'))

        handler = TlsBytesNameHandler
    elif args.delay:
        handler = SlowHandler
        handler.delay = SlowActiveDTP.delay = args.delay / 1000
    handler.authorizer = authorizer
    handler.timeout = args.idle_timeout

    server = FTPServer(('127.0.0.1', 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    threading.Thread(target=watch_stdin, daemon=True).start()
    # A fixed poll timeout: the loop's own timer handling can block for good once a timer is due,
    # and then an idle connection is never dropped.
    server.serve_forever(timeout=0.1, handle_exit=False)


if __name__ == '__main__':
    main()
