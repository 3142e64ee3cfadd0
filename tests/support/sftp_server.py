"""An OpenSSH server on 127.0.0.1 for the tests, speaking SFTP only. Prints its port, then runs until
it is killed or its standard input closes (so it never outlives the test that started it).

Usage: sftp_server.py --root DIR --host-key KEY --authorized-keys FILE [--password PW]
The SFTP session starts in --root. Logins are as the user running this script (root in CI), by a
key in --authorized-keys; with --password, also by that password. Nothing of the system changes:
the password lives in a copy of /etc/shadow that only this sshd sees, bound over the real one in
a mount namespace of its own.
Prints "skip: REASON" instead of a port, and exits with 77, where the machine cannot do this.
"""
import argparse
import ctypes
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time


def skip(reason):
    print('skip: ' + reason, flush=True)
    sys.exit(77)


def die_with_parent():
    # The test kills this script outright; sshd must not outlive it (PR_SET_PDEATHSIG survives exec).
    ctypes.CDLL(None, use_errno=True).prctl(1, 15)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--root', required=True)
    parser.add_argument('--host-key', required=True)
    parser.add_argument('--authorized-keys', required=True)
    parser.add_argument('--password')
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))  # so that sshd and the folder go too

    sshd = shutil.which('sshd') or '/usr/sbin/sshd'
    if not os.path.exists(sshd):
        skip('no sshd (openssh-server)')
    if os.geteuid() != 0:
        skip('sshd needs root for its privilege separation and for password logins')
    os.makedirs('/run/sshd', mode=0o755, exist_ok=True)  # its privilege-separation folder

    work = tempfile.mkdtemp(prefix='tarvik-sshd-')
    port = free_port()
    config = os.path.join(work, 'sshd_config')
    with open(config, 'w') as f:
        f.write(f"""Port {port}
ListenAddress 127.0.0.1
HostKey {os.path.abspath(args.host_key)}
AuthorizedKeysFile {os.path.abspath(args.authorized_keys)}
PidFile none
UsePAM no
PermitRootLogin yes
StrictModes no
PubkeyAuthentication yes
PasswordAuthentication {'yes' if args.password else 'no'}
KbdInteractiveAuthentication no
PermitEmptyPasswords no
AllowTcpForwarding no
X11Forwarding no
Subsystem sftp internal-sftp -d {os.path.abspath(args.root)}
ForceCommand internal-sftp -d {os.path.abspath(args.root)}
""")
    command = [sshd, '-D', '-e', '-f', config]
    if args.password:
        user = subprocess.run(['id', '-un'], capture_output=True, text=True).stdout.strip()
        hashed = subprocess.run(['openssl', 'passwd', '-6', '-stdin'], input=args.password,
                                capture_output=True, text=True).stdout.strip()
        shadow = os.path.join(work, 'shadow')
        with open('/etc/shadow') as real, open(shadow, 'w') as copy:
            for line in real:
                if not line.startswith(user + ':'):
                    copy.write(line)
            copy.write(f'{user}:{hashed}:19000:0:99999:7:::\n')
        os.chmod(shadow, 0o600)
        probe = subprocess.run(['unshare', '--mount', 'sh', '-c', f'mount --bind {shadow} /etc/shadow'],
                               capture_output=True)
        if probe.returncode != 0:
            shutil.rmtree(work, ignore_errors=True)
            skip('no mount namespace here for a password of the test\'s own: '
                 + probe.stderr.decode(errors='replace').strip())
        command = ['unshare', '--mount', 'sh', '-c', f'mount --bind {shadow} /etc/shadow && exec "$@"', 'sh'] + command

    log = open(os.path.join(work, 'log'), 'wb')
    server = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                              preexec_fn=die_with_parent)
    try:
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if server.poll() is not None:
                break
            try:
                socket.create_connection(('127.0.0.1', port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        if server.poll() is not None:
            log.close()
            sys.stderr.write(open(os.path.join(work, 'log'), errors='replace').read())
            sys.exit(1)
        if args.password:
            # The bound copy stays readable to this sshd alone; no file of hashes is left behind.
            os.unlink(os.path.join(work, 'shadow'))
        print(port, flush=True)
        # Runs until its standard input closes: the test has ended, one way or another.
        while True:
            readable, _, _ = select.select([sys.stdin], [], [], 1.0)
            if readable and not sys.stdin.buffer.read1(4096):
                break
            if server.poll() is not None:
                break
    finally:
        if server.poll() is None:
            server.terminate()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
