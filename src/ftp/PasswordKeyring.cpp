// libsecret before Qt: glib's headers use "signals" as a name, which Qt defines as a keyword.
#include <libsecret/secret.h>

#include "ftp/PasswordKeyring.h"

#include <QByteArray>

namespace tarvik::keyring {

namespace {

const SecretSchema* schema()
{
    static const SecretSchema s = {"org.tarvik.FtpPassword",
                                   SECRET_SCHEMA_NONE,
                                   {{"registration", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &s;
}

QString taken(GError* error)
{
    const QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("the keyring did not answer");
    if (error)
        g_error_free(error);
    return text;
}

} // namespace

bool available()
{
    if (qgetenv("TARVIK_KEYRING") == "off" || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (!service) {
        taken(error);
        return false;
    }
    g_object_unref(service);
    return true;
}

bool store(const QString& name, const QString& host, const QString& user, const QString& password, QString* error)
{
    const QByteArray n = name.toUtf8(), h = host.trimmed().toUtf8(), u = user.toUtf8(), p = password.toUtf8();
    const QByteArray label = "Tarvik FTP: " + n + " (" + u + '@' + h + ')';
    GError* failure = nullptr;
    if (secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), p.constData(), nullptr,
                                   &failure, "registration", n.constData(), "server", h.constData(), "user",
                                   u.constData(), nullptr))
        return true;
    if (error)
        *error = taken(failure);
    return false;
}

std::optional<QString> lookup(const QString& name, const QString& host, const QString& user, QString* error)
{
    const QByteArray n = name.toUtf8(), h = host.trimmed().toUtf8(), u = user.toUtf8();
    GError* failure = nullptr;
    gchar* found = secret_password_lookup_sync(schema(), nullptr, &failure, "registration", n.constData(), "server",
                                               h.constData(), "user", u.constData(), nullptr);
    if (!found) {
        if (error)
            *error = failure ? taken(failure) : QStringLiteral("the keyring holds no password for %1").arg(name);
        return std::nullopt;
    }
    const QString password = QString::fromUtf8(found);
    secret_password_free(found);
    return password;
}

void forget(const QString& name)
{
    const QByteArray n = name.toUtf8();
    secret_password_clear_sync(schema(), nullptr, nullptr, "registration", n.constData(), nullptr);
}

} // namespace tarvik::keyring
