#include "ftp/ServerCertificate.h"

#include <QCryptographicHash>

namespace tarvik {

namespace {

// One DER element: its tag, where its content starts and how long it is.
struct Element {
    quint8 tag = 0;
    qsizetype content = 0, length = 0;
    qsizetype end() const { return content + length; }
};

std::optional<Element> elementAt(const QByteArray& der, qsizetype at, qsizetype limit)
{
    if (at + 2 > limit)
        return std::nullopt;
    Element e;
    e.tag = static_cast<quint8>(der[at]);
    const auto first = static_cast<quint8>(der[at + 1]);
    qsizetype p = at + 2;
    if (first < 0x80) {
        e.length = first;
    } else {
        const int bytes = first & 0x7F;
        if (bytes == 0 || bytes > 4 || p + bytes > limit)
            return std::nullopt;
        for (int i = 0; i < bytes; ++i)
            e.length = (e.length << 8) | static_cast<quint8>(der[p++]);
    }
    e.content = p;
    if (e.length < 0 || e.end() > limit)
        return std::nullopt;
    return e;
}

// The subjectPublicKeyInfo of an X.509 certificate, whole (tag and length included): the
// seventh field of tbsCertificate, or the sixth when there is no explicit version.
QByteArray publicKeyInfo(const QByteArray& der)
{
    const auto certificate = elementAt(der, 0, der.size());
    if (!certificate || certificate->tag != 0x30)
        return {};
    const auto tbs = elementAt(der, certificate->content, certificate->end());
    if (!tbs || tbs->tag != 0x30)
        return {};
    qsizetype at = tbs->content;
    auto field = elementAt(der, at, tbs->end());
    if (field && field->tag == 0xA0) { // [0] version
        at = field->end();
        field = elementAt(der, at, tbs->end());
    }
    // serial, signature, issuer, validity, subject
    for (int skipped = 0; skipped < 5 && field; ++skipped) {
        at = field->end();
        field = elementAt(der, at, tbs->end());
    }
    if (!field || field->tag != 0x30)
        return {};
    return der.mid(at, field->end() - at);
}

} // namespace

std::optional<ServerCertificate> ServerCertificate::fromPem(const QByteArray& pem)
{
    const QByteArray begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    const qsizetype from = pem.indexOf(begin), to = pem.indexOf(end);
    if (from < 0 || to < from)
        return std::nullopt;
    const QByteArray der = QByteArray::fromBase64(pem.mid(from + begin.size(), to - from - begin.size()).simplified().replace(' ', ""));
    const QByteArray key = publicKeyInfo(der);
    if (key.isEmpty())
        return std::nullopt;
    ServerCertificate c;
    c.pin = "sha256//" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    c.sha256 = QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
    return c;
}

} // namespace tarvik
