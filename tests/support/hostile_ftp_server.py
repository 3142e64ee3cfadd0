"""A scripted FTP server on 127.0.0.1 that lies and misbehaves: hostile names in its listing,
huge listings, and commands answered with silence, a closed connection or a broken transfer.
Just enough of the protocol for an active-mode client. Prints its port, then one line per
received command (a password as ***), and ends when it is killed or its standard input closes.

Usage: hostile_ftp_server.py [--listing FILE | --entries N] [--retr-bytes N] [--pwd DIR]
                             [--on CMD=ACTION ...] [--once] [--delay MS]

  --listing FILE   the raw bytes to send for LIST (default: names that climb out of the download
                   folder, names with slashes, a CP932 name and a DOS directory line)
  --entries N      LIST sends N generated file entries instead: f0000000.c, f0000001.c, ...
  --retr-bytes N   RETR sends N bytes of CR LF text ("int x;" lines, the last one cut) instead of
                   "RETR <name bytes>" and CR LF, which lets a test see what name arrived; SIZE
                   answers N then (otherwise it is not implemented)
  --pwd DIR        PWD reports DIR (backslash escapes allowed, e.g. \\r) instead of "/"
  --on CMD=ACTION  misbehave on CMD (CONNECT stands for the greeting):
                     silent      never answer, keep the connection open
                     close       close the control connection without an answer
                     reply-close answer as usual, then close the control connection
                     no-connect  (LIST/RETR) answer 150 and never open the data connection
                     stall-data  (LIST/RETR) 150, half the data, then nothing more, data
                                 connection left open
                     abort-data  (LIST/RETR) 150, half the data, data connection closed, 426
                     short-data  (LIST/RETR) 150, half the data, data connection closed, 226
                     no-final    (LIST/RETR) 150, all the data, data connection closed, no 226
                     close-data  (LIST/RETR) 150, half the data, then both connections closed
                     reset-data  (LIST/RETR) 150, half the data, then the control connection
                                 reset (RST), data connection left open
                     fin-data    (LIST/RETR) 150, half the data, 0.5 s later the control
                                 connection closed (FIN), data connection left open
                     bye-data    (LIST/RETR) 150, half the data, 0.5 s later "421 closing" and
                                 the control connection closed (FIN), data connection left open
                     endless     (RETR) 150, then text without end until the client hangs up
                     early-150   (PORT/EPRT) the 150 of the coming LIST or RETR goes out with
                                 this reply, before that command arrives; the transfer then
                                 runs as usual, its data connection opened 0.2 s after the
                                 command (the client finds the 150 the moment it sends the
                                 command, and no data connection yet)
                   reset-trickle, fin-trickle and bye-trickle are the -data ones (with the
                   pause) whose data connection goes on sending a line every 0.2 s for 20 s
                   after the control connection went (or until the client hangs up), then silent
                   ACTION@N fires only on the Nth time CMD arrives
  --once           each --on action fires only the first time its command arrives
  --delay MS       wait MS milliseconds before each reply and before opening each data
                   connection, like a server some way off

CWD to a path containing "missing" is refused, any other is accepted (PWD stays "/").
"""
import argparse
import os
import re
import socket
import struct
import sys
import threading
import time

LISTING = (b'total 4\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 ../../x.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 a/b.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 sub/../../evil.c\r\n'
           b'-rw-r--r--   1 owner    group          10 Jan 26 10:15 \x83\x5c\x81\x5b\x83\x58.c\r\n'
           b'12-01-26  10:15AM       <DIR>          dos dir\r\n')

# The actions that take the control connection away in the middle of a transfer.
CONTROL_GOES = {kind + '-' + data for kind in ('reset', 'fin', 'bye') for data in ('data', 'trickle')}

out_lock = threading.Lock()
fired = set()
fired_lock = threading.Lock()


def report(line):
    with out_lock:
        sys.stdout.buffer.write(line + b'\n')
        sys.stdout.buffer.flush()


def generated_listing(count):
    return b''.join(b'-rw-r--r--   1 owner    group        1234 Jan 26 10:15 f%07d.c\r\n' % i
                    for i in range(count))


def text_body(size):
    line = b'int x;\r\n'
    return (line * (size // len(line) + 1))[:size]


class Script:
    def __init__(self, args):
        self.actions = {}
        for item in args.on:
            cmd, _, action = item.partition('=')
            self.actions[cmd.upper().encode()] = action
        self.once = args.once
        self.seen = {}
        self.delay = args.delay / 1000.0
        self.pwd = args.pwd.encode().decode('unicode_escape').encode('latin-1') if args.pwd else b'/'

    def action(self, cmd):
        action = self.actions.get(cmd)
        if action and '@' in action:
            action, _, nth = action.partition('@')
            with fired_lock:
                self.seen[cmd] = self.seen.get(cmd, 0) + 1
                if self.seen[cmd] != int(nth):
                    return None
        if action and self.once:
            with fired_lock:
                if cmd in fired:
                    return None
                fired.add(cmd)
        return action


def hang_forever():
    while True:
        time.sleep(3600)


def serve(conn, listing, retr_bytes, script):
    try:
        converse(conn, listing, retr_bytes, script)
    except OSError:
        pass
    # The reader made by makefile() would keep the socket open past close(); shutdown ends it.
    try:
        conn.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    conn.close()


def converse(conn, listing, retr_bytes, script):
    data_addr = None
    opened = False  # the 150 of the coming transfer already went out
    f = conn.makefile('rb')

    def reply(text):
        if script.delay:
            time.sleep(script.delay)
        conn.sendall(text + b'\r\n')

    greeting = script.action(b'CONNECT')
    if greeting == 'silent':
        hang_forever()
    if greeting == 'close':
        return
    reply(b'220 hostile test server')
    for raw in f:
        line = raw.rstrip(b'\r\n')
        cmd, _, arg = line.partition(b' ')
        cmd = cmd.upper()
        report(b'PASS ***' if cmd == b'PASS' and arg else line)
        action = script.action(cmd)
        if action == 'silent':
            hang_forever()
        if action == 'close':
            return
        if cmd == b'USER':
            reply(b'331 password please')
        elif cmd == b'PASS':
            reply(b'230 logged in')
        elif cmd == b'SYST':
            reply(b'215 UNIX Type: L8')
        elif cmd == b'PWD':
            reply(b'257 "' + script.pwd + b'" is the current directory')
        elif cmd == b'CWD':
            reply(b'550 no such directory' if b'missing' in arg else b'250 ok')
        elif cmd == b'TYPE':
            reply(b'200 type set')
        elif cmd == b'SIZE' and retr_bytes is not None:
            reply(b'213 %d' % retr_bytes)
        elif cmd == b'FEAT':
            reply(b'211 no features')
        elif cmd == b'PORT':
            n = [int(x) for x in arg.split(b',')]
            data_addr = ('%d.%d.%d.%d' % tuple(n[:4]), n[4] * 256 + n[5])
            opened = action == 'early-150'
            reply(b'200 PORT ok\r\n150 opening data connection' if opened else b'200 PORT ok')
        elif cmd == b'EPRT':
            m = re.match(rb'^(.)([12])\1([^|]+)\1(\d+)\1$', arg)
            if not m:
                reply(b'501 bad EPRT')
                continue
            data_addr = (m.group(3).decode(), int(m.group(4)))
            opened = action == 'early-150'
            reply(b'200 EPRT ok\r\n150 opening data connection' if opened else b'200 EPRT ok')
        elif cmd in (b'LIST', b'RETR'):
            if data_addr is None:
                reply(b'425 use PORT or EPRT first')
                continue
            if cmd == b'LIST':
                body = listing
            elif retr_bytes is not None:
                body = text_body(retr_bytes)
            else:
                body = b'RETR ' + arg + b'\r\n'
            if not transfer(conn, reply, data_addr, body, action, script, opened):
                return
            data_addr = None
            opened = False
        elif cmd == b'QUIT':
            reply(b'221 bye')
            break
        else:
            reply(b'502 not implemented')
        if action == 'reply-close':
            return


def transfer(conn, reply, data_addr, body, action, script, opened=False):
    """Sends `body` on a data connection the way `action` says; False: close the control
    connection now."""
    if not opened:
        reply(b'150 opening data connection')
    if action == 'no-connect':
        hang_forever()
    half = body[:len(body) // 2]
    if script.delay:
        time.sleep(script.delay)
    if opened:
        time.sleep(0.2)
    with socket.create_connection(data_addr, timeout=5) as data:
        if action in ('stall-data', 'abort-data', 'short-data', 'close-data') or action in CONTROL_GOES:
            data.sendall(half)
            if action == 'stall-data':
                hang_forever()
            if action == 'close-data':
                return False
            if action in CONTROL_GOES:
                kind, _, data_after = action.partition('-')
                if action != 'reset-data':
                    time.sleep(0.5)  # the client is reading the data by then, not still connecting
                if kind == 'bye':
                    conn.sendall(b'421 closing\r\n')
                if kind == 'reset':
                    # No linger: the close sends RST.
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                else:
                    conn.shutdown(socket.SHUT_RDWR)
                # The reader of makefile() would keep the socket open past close(), so the
                # descriptor itself is closed.
                os.close(conn.detach())
                if data_after == 'trickle':
                    try:
                        for _ in range(100):
                            time.sleep(0.2)
                            data.sendall(b'int y;\r\n')
                    except OSError:
                        pass
                hang_forever()
        elif action == 'endless':
            try:
                while True:
                    data.sendall(text_body(65536))
            except OSError:
                reply(b'426 connection closed; transfer aborted')
                return True
        else:
            try:
                data.sendall(body)
            except OSError:
                # The client broke the transfer off; a real server says so on the control connection.
                reply(b'426 connection closed; transfer aborted')
                return True
    if action == 'abort-data':
        reply(b'426 connection closed; transfer aborted')
    elif action == 'no-final':
        hang_forever()
    else:
        reply(b'226 transfer complete')
    return True


def watch_stdin():
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--listing')
    parser.add_argument('--entries', type=int)
    parser.add_argument('--retr-bytes', type=int)
    parser.add_argument('--on', action='append', default=[])
    parser.add_argument('--once', action='store_true')
    parser.add_argument('--pwd')
    parser.add_argument('--delay', type=float, default=0)
    args = parser.parse_args()
    listing = LISTING
    if args.listing:
        with open(args.listing, 'rb') as f:
            listing = f.read()
    elif args.entries is not None:
        listing = generated_listing(args.entries)
    script = Script(args)

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(5)
    report(str(server.getsockname()[1]).encode())
    threading.Thread(target=watch_stdin, daemon=True).start()
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, listing, args.retr_bytes, script), daemon=True).start()


if __name__ == '__main__':
    main()
