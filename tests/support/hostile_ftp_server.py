"""A scripted FTP server on 127.0.0.1 that sends a hostile directory listing: names that climb out
of the download folder, names with slashes, and a CP932 name. Just enough of the protocol for an
active-mode client. Prints its port, then one line per received command (a password as ***),
and ends when it is killed or its standard input closes.

Usage: hostile_ftp_server.py [--listing FILE]   (FILE: the raw bytes to send for LIST)
RETR of any name sends back "RETR <name bytes>" and CR LF, so a test can see what arrived; CWD
to a path containing "missing" is refused, any other is accepted (the directory stays "/").
"""
import argparse
import os
import re
import socket
import sys
import threading

LISTING = (b'total 4\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 ../../x.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 a/b.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 sub/../../evil.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 \x83\x5c\x81\x5b\x83\x58.c\r\n'
           b'12-01-26  10:15AM       <DIR>          dos dir\r\n')

out_lock = threading.Lock()


def report(line):
    with out_lock:
        sys.stdout.buffer.write(line + b'\n')
        sys.stdout.buffer.flush()


def serve(conn, listing):
    try:
        converse(conn, listing)
    except OSError:
        pass
    conn.close()


def converse(conn, listing):
    data_addr = None
    f = conn.makefile('rb')

    def reply(text):
        conn.sendall(text + b'\r\n')

    reply(b'220 hostile test server')
    for raw in f:
        line = raw.rstrip(b'\r\n')
        cmd, _, arg = line.partition(b' ')
        cmd = cmd.upper()
        report(b'PASS ***' if cmd == b'PASS' and arg else line)
        if cmd == b'USER':
            reply(b'331 password please')
        elif cmd == b'PASS':
            reply(b'230 logged in')
        elif cmd == b'SYST':
            reply(b'215 UNIX Type: L8')
        elif cmd == b'PWD':
            reply(b'257 "/" is the current directory')
        elif cmd == b'CWD':
            reply(b'550 no such directory' if b'missing' in arg else b'250 ok')
        elif cmd == b'TYPE':
            reply(b'200 type set')
        elif cmd == b'FEAT':
            reply(b'211 no features')
        elif cmd == b'PORT':
            n = [int(x) for x in arg.split(b',')]
            data_addr = ('%d.%d.%d.%d' % tuple(n[:4]), n[4] * 256 + n[5])
            reply(b'200 PORT ok')
        elif cmd == b'EPRT':
            m = re.match(rb'^(.)([12])\1([^|]+)\1(\d+)\1$', arg)
            if not m:
                reply(b'501 bad EPRT')
                continue
            data_addr = (m.group(3).decode(), int(m.group(4)))
            reply(b'200 EPRT ok')
        elif cmd in (b'LIST', b'RETR'):
            if data_addr is None:
                reply(b'425 use PORT or EPRT first')
                continue
            reply(b'150 opening data connection')
            with socket.create_connection(data_addr, timeout=5) as data:
                data.sendall(listing if cmd == b'LIST' else b'RETR ' + arg + b'\r\n')
            data_addr = None
            reply(b'226 transfer complete')
        elif cmd == b'QUIT':
            reply(b'221 bye')
            break
        else:
            reply(b'502 not implemented')


def watch_stdin():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--listing')
    args = parser.parse_args()
    listing = LISTING
    if args.listing:
        with open(args.listing, 'rb') as f:
            listing = f.read()

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(5)
    report(str(server.getsockname()[1]).encode())
    threading.Thread(target=watch_stdin, daemon=True).start()
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, listing), daemon=True).start()


if __name__ == '__main__':
    main()
