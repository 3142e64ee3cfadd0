#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvik {

// A TLS server's certificate as the user is shown it before trusting it.
struct ServerCertificate {
    QString subject, issuer, expires;
    QString sha256;  // of the whole certificate, "AB:CD:…", as browsers show it
    QByteArray pin;  // of its public key, "sha256//base64", as libcurl pins a key

    // From a PEM certificate and the fields libcurl tells of it; nullopt when the PEM holds no
    // certificate whose public key can be found.
    static std::optional<ServerCertificate> fromPem(const QByteArray& pem);
};

} // namespace tarvik
