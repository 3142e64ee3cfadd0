"""Certificates for the FTPS tests, written to OUTDIR: ca.pem (the test CA, which the client is
told to trust), and a server certificate with its key in one PEM file for each case:
valid.pem (the CA's, for 127.0.0.1 and localhost), selfsigned.pem (its own issuer),
wronghost.pem (the CA's, for another host) and expired.pem (the CA's, ended yesterday).

Usage: make_tls_certs.py OUTDIR    (Debian's python3-cryptography, /usr/bin/python3)
"""
import datetime
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

NOW = datetime.datetime.now(datetime.timezone.utc)
DAY = datetime.timedelta(days=1)


def name(common):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def certificate(subject, key, issuer, issuer_key, start, end, hosts=(), ca=False):
    builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if hosts:
        alt = [x509.IPAddress(ipaddress.ip_address(h)) if h[0].isdigit() else x509.DNSName(h) for h in hosts]
        builder = builder.add_extension(x509.SubjectAlternativeName(alt), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def pem(cert, key=None):
    out = cert.public_bytes(serialization.Encoding.PEM)
    if key is not None:
        out += key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                 serialization.NoEncryption())
    return out


def main():
    out = sys.argv[1]
    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca = certificate('Tarvik Test CA', ca_key, 'Tarvik Test CA', ca_key, NOW - DAY, NOW + 30 * DAY, ca=True)
    with open(os.path.join(out, 'ca.pem'), 'wb') as f:
        f.write(pem(ca))
    local = ('127.0.0.1', 'localhost')
    cases = {
        'valid': (local, 'Tarvik Test CA', ca_key, NOW - DAY, NOW + 30 * DAY),
        'selfsigned': (local, None, None, NOW - DAY, NOW + 30 * DAY),
        'wronghost': (('elsewhere.example',), 'Tarvik Test CA', ca_key, NOW - DAY, NOW + 30 * DAY),
        'expired': (local, 'Tarvik Test CA', ca_key, NOW - 30 * DAY, NOW - DAY),
    }
    for case, (hosts, issuer, issuer_key, start, end) in cases.items():
        key = ec.generate_private_key(ec.SECP256R1())
        cert = certificate(hosts[0], key, issuer or hosts[0], issuer_key or key, start, end, hosts)
        with open(os.path.join(out, case + '.pem'), 'wb') as f:
            f.write(pem(cert, key))


if __name__ == '__main__':
    main()
