#pragma once

#include <QString>

#include <optional>

namespace tarvik {

// FTP passwords in the desktop's keyring (the Secret Service, through libsecret), each under
// its host's registration name, server and user. A locked keyring asks the user to unlock it,
// as the desktop's own programs do.
namespace keyring {

// Whether passwords go to the keyring: a Secret Service answers on the session bus, and the
// environment does not say TARVIK_KEYRING=off.
bool available();
bool store(const QString& name, const QString& host, const QString& user, const QString& password, QString* error);
// The stored password; nullopt with the reason when there is none or the keyring cannot be read.
std::optional<QString> lookup(const QString& name, const QString& host, const QString& user, QString* error);
// Forgets every password stored under the registration name.
void forget(const QString& name);

} // namespace keyring

} // namespace tarvik
