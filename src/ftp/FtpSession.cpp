#include "ftp/FtpSession.h"


#include <QFile>
#include <QHash>

#include <curl/curl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

namespace tarvik {

using remote::decodeBytes;

namespace {

constexpr QStringView kTlsScheme = u"ftps://";

// A command argument must not carry line ends or NULs into the control connection.
bool isSafeArgument(const QByteArray& bytes)
{
    return !bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0');
}

// The directory of a 257 reply: `257 "/a ""b""" is current` gives /a "b".
QByteArray directoryOfPwdReply(const QByteArray& line)
{
    const QByteArray rest = line.mid(4);
    if (!rest.startsWith('"'))
        return rest.left(rest.indexOf(' '));
    QByteArray dir;
    for (qsizetype i = 1; i < rest.size(); ++i) {
        if (rest[i] == '"') {
            if (i + 1 < rest.size() && rest[i + 1] == '"') {
                dir += '"';
                ++i;
                continue;
            }
            return dir;
        }
        dir += rest[i];
    }
    return {};
}

// The server has closed (FIN) or reset its end of `socket`, or the socket is closed here already.
bool closedByPeer(curl_socket_t socket)
{
    pollfd p{socket, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

const QString kControlClosed = QStringLiteral("the server closed the control connection");
const QString kNotConnected = QStringLiteral("not connected");
const QString kUnsafeName = QStringLiteral("the name cannot go to the server in a command");

} // namespace

struct FtpSession::Impl {
    // One command sent on the control connection and the last line of its reply.
    struct Reply {
        QByteArray command;
        int code = 0;
        QByteArray line;
    };
    using Sink = std::function<bool(const char*, size_t)>;

    CURL* curl = nullptr;
    // Requests run on a multi handle of their own so that the wait can also watch the control
    // connection while data flows; it keeps the one connection between requests.
    CURLM* multi = nullptr;
    bool connected = false;
    QByteArray baseUrl; // "ftp://host:port/"
    QByteArray cwd;     // as the server reported it, raw bytes; empty when unknown
    // Decoded name -> the server's bytes, for every listed name and reported directory component.
    QHash<QString, QByteArray> rawNames;
    QList<Reply> replies;
    QByteArray lastCommand;
    QByteArray replyBuffer;
    Sink* sink = nullptr; // where the body of the current request goes
    size_t bodyBytes = 0;
    // After some failures libcurl keeps the control connection although a reply may still be on
    // its way (a 150 whose data connection never came, a transfer it broke off itself): that late
    // reply would be taken as the answer to the next command. The next request logs in anew.
    bool outOfStep = false;
    std::chrono::seconds stall{30};
    curl_off_t progressBytes = 0;
    std::chrono::steady_clock::time_point lastByteAt;
    // The control connection's socket, known from its opening to its closing. libcurl does not
    // watch it while data flows (from the 150 reply on), so a close or reset would go unseen
    // until the transfer ends.
    curl_socket_t control = CURL_SOCKET_BAD;
    bool transferring = false;
    // The transfer's data connection once accepted. libcurl closes it without the close callback,
    // so it is forgotten at every 150 reply, before the next one is accepted.
    curl_socket_t dataSocket = CURL_SOCKET_BAD;
    // The server closed or reset the control connection while a transfer was under way.
    bool controlClosed = false;
    QString error; // why the last operation failed
    const FtpTimeouts& timeouts; // the session's own, read at every request
    bool tls = false;     // the control and data connections are protected (AUTH TLS)
    bool passive = false; // the client opens the data connections (EPSV, PASV)
    // libcurl's own words on a failure, for those of TLS: which check a certificate failed.
    char errorText[CURL_ERROR_SIZE] = {};
    CURLcode lastResult = CURLE_OK;
    std::optional<ServerCertificate> refused;

    explicit Impl(const FtpTimeouts& sessionTimeouts)
        : timeouts(sessionTimeouts)
    {
    }

    // A connection out of step may never answer QUIT, which libcurl would wait for when it
    // closes it; it is cut instead.
    void cutOutOfStepConnection()
    {
        if (outOfStep && control != CURL_SOCKET_BAD)
            ::shutdown(control, SHUT_RDWR);
    }

    static bool tlsFailure(CURLcode result)
    {
        switch (result) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return true;
        default:
            return false;
        }
    }

    // Failures that end on the server's final reply, or before anything was sent.
    static bool leavesConnectionInStep(CURLcode result)
    {
        switch (result) {
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_LOGIN_DENIED:
        case CURLE_PARTIAL_FILE:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_URL_MALFORMAT:
            return true;
        default:
            return false;
        }
    }

    ~Impl() { close(); }

    bool failWith(const QString& why)
    {
        error = why;
        return false;
    }
    bool failWithErrno() { return failWith(QString::fromLocal8Bit(std::strerror(errno))); }

    void close()
    {
        if (curl) {
            cutOutOfStepConnection();
            curl_easy_cleanup(curl);
        }
        if (multi)
            curl_multi_cleanup(multi); // sends QUIT on the control connection it kept
        multi = nullptr;
        curl = nullptr;
        control = CURL_SOCKET_BAD;
        connected = false;
        outOfStep = false;
        cwd.clear();
        rawNames.clear();
    }

    // The control connection's traffic, to pair each reply with its command. Enabled through
    // CURLOPT_VERBOSE, which sends nothing to stderr while this callback is set.
    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* userp)
    {
        auto* self = static_cast<Impl*>(userp);
        if (type == CURLINFO_HEADER_OUT) {
            self->lastCommand = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
            if (self->lastCommand.startsWith("PASS "))
                self->lastCommand = "PASS";
        } else if (type == CURLINFO_HEADER_IN) {
            self->replyBuffer.append(data, static_cast<qsizetype>(size));
            qsizetype eol;
            while ((eol = self->replyBuffer.indexOf('\n')) >= 0) {
                const QByteArray line = self->replyBuffer.left(eol).trimmed();
                self->replyBuffer.remove(0, eol + 1);
                // "123 text" ends a reply; "123-text" and indented lines continue it.
                if (line.size() >= 3 && (line.size() == 3 || line[3] == ' ')) {
                    bool ok = false;
                    const int code = line.left(3).toInt(&ok);
                    if (ok) {
                        self->replies.append({self->lastCommand, code, line});
                        self->transferring = code / 100 == 1; // from the 150 to the final reply
                        if (self->transferring)
                            self->dataSocket = CURL_SOCKET_BAD;
                    }
                }
            }
        }
        return 0;
    }

    // libcurl's low-speed check averages over several seconds, so a transfer that stops after
    // a burst would go on for that much longer; this ends it once no byte came for `stall`.
    static int onProgress(void* userp, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
    {
        auto* self = static_cast<Impl*>(userp);
        const auto now = std::chrono::steady_clock::now();
        if (received != self->progressBytes) {
            self->progressBytes = received;
            self->lastByteAt = now;
            return 0;
        }
        return self->progressBytes > 0 && now - self->lastByteAt > self->stall ? 1 : 0;
    }

    // Called once the control connection is closed or reset during a transfer: no reply can come
    // any more, so the transfer is cut off unless the server has ended it already. It has when
    // its final reply is waiting and tells of success: the data still in flight is read before
    // libcurl reads that reply. It may have when nothing is waiting but the data connection has
    // ended: libcurl may hold the final reply already, read along with the 150.
    bool transferCutOff() const
    {
        char reply[3];
        const ssize_t waiting = ::recv(control, reply, sizeof reply, MSG_PEEK | MSG_DONTWAIT);
        if (waiting > 0) // under TLS the reply cannot be read here: libcurl reads it
            return !tls && reply[0] != '2';
        return dataSocket == CURL_SOCKET_BAD || !closedByPeer(dataSocket);
    }

    // libcurl opens only the control connection with the first purpose; in active mode the data
    // connection is accepted, with the second.
    static int onSocketOpened(void* userp, curl_socket_t socket, curlsocktype purpose)
    {
        auto* self = static_cast<Impl*>(userp);
        // In passive mode the data connection is opened like the control connection, right
        // after the server has told where to in its answer to EPSV or PASV.
        const bool passiveData = self->lastCommand == "EPSV" || self->lastCommand == "PASV";
        if (purpose == CURLSOCKTYPE_IPCXN && passiveData)
            self->dataSocket = socket;
        else if (purpose == CURLSOCKTYPE_IPCXN)
            self->control = socket;
        else if (purpose == CURLSOCKTYPE_ACCEPT)
            self->dataSocket = socket;
        return CURL_SOCKOPT_OK;
    }

    static int onSocketClosing(void* userp, curl_socket_t socket)
    {
        auto* self = static_cast<Impl*>(userp);
        if (socket == self->control) {
            // libcurl may find the close itself, before the data connection is accepted.
            if (self->transferring && closedByPeer(socket))
                self->controlClosed = true;
            self->control = CURL_SOCKET_BAD;
        }
        return ::close(socket);
    }

    static size_t onWrite(char* data, size_t, size_t size, void* userp)
    {
        auto* self = static_cast<Impl*>(userp);
        self->bodyBytes += size;
        return self->sink && (*self->sink)(data, size) ? size : 0;
    }

    // Nothing may hang for ever on a dead or hostile server. Set for every request, so that a
    // change of the session's timeouts holds from its next operation on.
    void applyTimeouts()
    {
        // libcurl counts the last two in whole seconds.
        const auto atLeast1 = [](std::chrono::seconds s) { return static_cast<long>(std::max<qint64>(s.count(), 1)); };
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max<qint64>(timeouts.connect.count(), 1)));
        curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(std::max<qint64>(timeouts.accept.count(), 1)));
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, atLeast1(timeouts.reply));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, atLeast1(timeouts.stall));
        stall = timeouts.stall;
    }

    // One request on the session's handle: `quote` goes first on the control connection (a
    // leading "*" lets it fail without ending the request); then a LIST when `urlPath` is empty,
    // a RETR of `urlPath` otherwise, or no transfer at all when there is no `bodySink`.
    bool perform(const QByteArray& urlPath, const QList<QByteArray>& quote, Sink* bodySink)
    {
        applyTimeouts();
        curl_slist* list = nullptr;
        for (const QByteArray& command : quote)
            list = curl_slist_append(list, command.constData());
        const QByteArray url = baseUrl + urlPath.toPercentEncoding();
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_QUOTE, list);
        curl_easy_setopt(curl, CURLOPT_NOBODY, bodySink ? 0L : 1L);
        sink = bodySink;
        CURLcode result = CURLE_OK;
        bool dropped = false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            replies.clear();
            replyBuffer.clear();
            lastCommand.clear();
            errorText[0] = '\0';
            bodyBytes = 0;
            progressBytes = 0;
            transferring = false;
            controlClosed = false;
            cutOutOfStepConnection();
            curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, outOfStep ? 1L : 0L);
            result = run();
            // libcurl (7.88) ends an active-mode transfer at once, successful and empty, when it
            // reads the 150 in the same step as it sends the command: it never waits for the
            // data connection. The data and the final reply are still on their way; nothing
            // has reached the sink, so the transfer is made again on a new connection.
            const bool unfinished = result == CURLE_OK && bodySink && transferLeftUnfinished();
            const bool neverWaited = unfinished && bodyBytes == 0 && !passive;
            if (unfinished)
                result = CURLE_PARTIAL_FILE;
            outOfStep = result != CURLE_OK && (!leavesConnectionInStep(result) || transferLeftUnfinished());
            // 421: the server has closed a connection that sat idle too long, which libcurl finds
            // out only on using it. Nothing has happened yet; the next attempt logs in anew.
            dropped = std::any_of(replies.cbegin(), replies.cend(), [](const Reply& r) { return r.code == 421; });
            if (result == CURLE_OK || bodyBytes > 0 || !(dropped || neverWaited))
                break;
        }
        curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        sink = nullptr;
        curl_slist_free_all(list);
        lastResult = result;
        if (result == CURLE_OK)
            error.clear();
        else if (controlClosed || dropped)
            error = kControlClosed;
        else if (result == CURLE_ABORTED_BY_CALLBACK) // only the stall check aborts
            error = QStringLiteral("no data came for %1 s").arg(stall.count());
        else if (tlsFailure(result) && errorText[0] != '\0') // which check failed, not only that one did
            error = QString::fromUtf8(errorText);
        else // not libcurl's error buffer: it keeps the first complaint, even one libcurl got over
            error = QString::fromUtf8(curl_easy_strerror(result));
        return result == CURLE_OK;
    }

    // curl_easy_perform, with one addition: from the 150 reply on, libcurl waits on the data
    // connection only, so a close or reset of the control connection would be seen at the end of
    // the transfer or of a timeout. The wait here also wakes when the control connection is
    // closed or reset, through an epoll set that watches for nothing else: a reply arriving does
    // not wake it, and a close after a reply is still seen.
    CURLcode run()
    {
        if (curl_multi_add_handle(multi, curl) != CURLM_OK)
            return CURLE_FAILED_INIT;
        CURLcode result = CURLE_OK;
        const int closeWatch = ::epoll_create1(EPOLL_CLOEXEC);
        bool watchControl = closeWatch >= 0;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = CURLE_OUT_OF_MEMORY;
                break;
            }
            if (running == 0) {
                int left = 0;
                const CURLMsg* message = curl_multi_info_read(multi, &left);
                result = message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_FAILED_INIT;
                break;
            }
            bool watching = false;
            if (watchControl && transferring && control != CURL_SOCKET_BAD) {
                // Hang-up and error are reported whether asked for or not. A closed socket leaves
                // the set by itself.
                epoll_event event{};
                event.events = EPOLLRDHUP;
                event.data.fd = control;
                watching = ::epoll_ctl(closeWatch, EPOLL_CTL_ADD, control, &event) == 0 || errno == EEXIST;
            }
            curl_waitfd extra{closeWatch, CURL_WAIT_POLLIN, 0};
            if (curl_multi_wait(multi, watching ? &extra : nullptr, watching ? 1 : 0, 1000, nullptr) != CURLM_OK) {
                result = CURLE_OUT_OF_MEMORY;
                break;
            }
            if (watching && extra.revents != 0) {
                controlClosed = true;
                if (transferCutOff()) {
                    result = CURLE_RECV_ERROR;
                    break;
                }
                // libcurl ends the transfer itself; the closed connection would wake every wait.
                watchControl = false;
            }
        }
        curl_multi_remove_handle(multi, curl);
        if (closeWatch >= 0)
            ::close(closeWatch);
        return result;
    }

    // A transfer whose last reply is still the preliminary one (150) ended without the server's
    // word on it: the data may have been cut short or never come, and the final reply is still
    // due on the control connection, where it would be taken for the answer to the next command.
    bool transferLeftUnfinished() const
    {
        for (qsizetype i = replies.size() - 1; i >= 0; --i) {
            if (replies[i].command.startsWith("RETR ") || replies[i].command == "LIST")
                return replies[i].code / 100 == 1;
        }
        return false;
    }

    const Reply* replyTo(const QByteArray& command) const
    {
        for (qsizetype i = replies.size() - 1; i >= 0; --i) {
            if (replies[i].command == command)
                return &replies[i];
        }
        return nullptr;
    }

    // The size the server gave in its answer to `sizeCommand`; -1 when it gave none.
    qint64 storedSize(const QByteArray& sizeCommand) const
    {
        const Reply* reply = replyTo(sizeCommand);
        if (!reply || reply->code != 213)
            return -1;
        bool known = false;
        const qint64 size = reply->line.mid(4).trimmed().toLongLong(&known);
        return known && size >= 0 ? size : -1;
    }

    // Returns the server to the session's directory first: libcurl silently logs in anew when
    // the server has dropped an idle connection, and a new login starts in the login directory.
    QList<QByteArray> backToCwd() const
    {
        if (cwd.isEmpty())
            return {};
        return {"CWD " + cwd};
    }

    // The directory the server reports is sent back in CWD after a new login; one that could
    // not go out as a single command is taken as unknown.
    void rememberDirectory(const QByteArray& raw)
    {
        cwd = isSafeArgument(raw) ? raw : QByteArray();
        for (const QByteArray& part : cwd.split('/')) {
            if (!part.isEmpty())
                rawNames.insert(decodeBytes(part), part);
        }
    }
};

FtpSession::FtpSession()
    : m_impl(std::make_unique<Impl>(timeouts))
{
}

FtpSession::~FtpSession() = default;

namespace {

// A key no certificate has: the probe's handshake fails on it, so the connection ends there.
constexpr char kNoKey[] = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

// The certificate of the TLS server at `url`, read on a connection of its own that takes any
// certificate and then refuses its key, before anything but AUTH TLS is sent.
std::optional<ServerCertificate> probeCertificate(const QByteArray& url, const FtpTimeouts& timeouts)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return std::nullopt;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, kNoKey);
    curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max<qint64>(timeouts.connect.count(), 1)));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(std::max<qint64>(timeouts.reply.count(), 1)));
    curl_easy_perform(curl);
    std::optional<ServerCertificate> found;
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) == CURLE_OK && info && info->num_of_certs > 0) {
        QHash<QByteArray, QByteArray> fields;
        for (const curl_slist* field = info->certinfo[0]; field; field = field->next) {
            const QByteArray text(field->data);
            const qsizetype colon = text.indexOf(':');
            if (colon > 0)
                fields.insert(text.left(colon), text.mid(colon + 1));
        }
        found = ServerCertificate::fromPem(fields.value("Cert"));
        if (found) {
            found->subject = QString::fromUtf8(fields.value("Subject"));
            found->issuer = QString::fromUtf8(fields.value("Issuer"));
            found->expires = QString::fromUtf8(fields.value("Expire date"));
        }
    }
    curl_easy_cleanup(curl);
    return found;
}

} // namespace

void FtpSession::ConnectServer()
{
    m_impl->close();
    m_impl->refused.reset();
    remote::initCurlOnce();
    const QByteArray authority = remote::urlAuthority(serverName, 21);
    if (authority.isEmpty()) {
        m_impl->failWith(QStringLiteral("not a server name: ") + serverName);
        return;
    }
    // libcurl 7.87 and 7.88 never start TLS on a data connection the server opens (curl issue
    // 10666, mended in 8.0): active mode over TLS would wait out every transfer.
    const curl_version_info_data* version = curl_version_info(CURLVERSION_NOW);
    if (isTls(serverName) && !passive && version->version_num < 0x080000) {
        m_impl->failWith(QStringLiteral("active mode over TLS needs libcurl 8.0 or later (this is %1): choose passive mode")
                             .arg(QString::fromLatin1(version->version)));
        return;
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        m_impl->failWith(QStringLiteral("libcurl could not start"));
        return;
    }
    m_impl->curl = curl;
    m_impl->multi = curl_multi_init();
    if (!m_impl->multi) {
        m_impl->close();
        m_impl->failWith(QStringLiteral("libcurl could not start"));
        return;
    }
    curl_multi_setopt(m_impl->multi, CURLMOPT_MAXCONNECTS, 1L);
    m_impl->baseUrl = "ftp://" + authority + '/';
    m_impl->tls = isTls(serverName);
    m_impl->passive = passive;
    const QByteArray user = userName.toUtf8();
    const QByteArray pass = password.toUtf8();
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, pass.constData());
    // Active mode: the server connects back to the address of the control connection. Passive:
    // the client connects to the address the server gives (EPSV, then PASV).
    curl_easy_setopt(curl, CURLOPT_FTPPORT, passive ? nullptr : "-");
    if (m_impl->tls) {
        // Explicit TLS on the FTP port: AUTH TLS before the password, then PROT P for every data
        // connection. The certificate is checked against the system's store (or caFile) and the
        // host name, and nothing goes in clear when the server cannot do it.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        const QByteArray ca = QFile::encodeName(caFile);
        if (!ca.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
        if (!trustedKey.isEmpty()) {
            // The user has seen this server's certificate and trusts its key: the key decides.
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, trustedKey.constData());
        }
    }
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_impl->errorText);
    // libcurl never changes directory itself; the session does it with explicit CWD commands,
    // so the server's directory is always the one the session believes in.
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 1L);
    // Server names are bytes, not URL syntax: "../" in one must reach the server unchanged.
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    // One connection at a time: one left behind is closed once a new one is made.
    curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 1L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, m_impl.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, m_impl.get());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, m_impl.get());
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, &Impl::onSocketOpened);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, m_impl.get());
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &Impl::onSocketClosing);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, m_impl.get());

    // Logging in without a transfer; libcurl asks PWD for the login directory on the way.
    if (!m_impl->perform({}, {}, nullptr)) {
        const CURLcode result = m_impl->lastResult;
        m_impl->close();
        if (m_impl->tls && (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_PINNEDPUBKEYNOTMATCH))
            m_impl->refused = probeCertificate(m_impl->baseUrl, timeouts);
        return;
    }
    const char* entryPath = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entryPath) == CURLE_OK && entryPath)
        m_impl->rememberDirectory(entryPath);
    m_impl->connected = true;
}

bool FtpSession::isTls(const QString& serverName)
{
    return serverName.trimmed().startsWith(kTlsScheme, Qt::CaseInsensitive);
}

bool FtpSession::connected() const
{
    return m_impl->connected;
}

bool FtpSession::ChangeRemoteDirectory(const QString& path)
{
    if (!m_impl->connected)
        return m_impl->failWith(kNotConnected);
    if (path.isEmpty())
        return m_impl->failWith(QStringLiteral("no directory given"));
    const QByteArray target = remote::encodePath(path, m_impl->rawNames);
    if (!isSafeArgument(target))
        return m_impl->failWith(kUnsafeName);
    // A relative path is taken from the session's directory; "//name" goes out as it stands.
    QList<QByteArray> quote = target.startsWith('/') ? QList<QByteArray>{} : m_impl->backToCwd();
    const QByteArray cwdCommand = "CWD " + target;
    quote << '*' + cwdCommand << QByteArrayLiteral("*PWD");
    if (!m_impl->perform({}, quote, nullptr))
        return false;
    const Impl::Reply* changed = m_impl->replyTo(cwdCommand);
    if (!changed || changed->code / 100 != 2)
        return m_impl->failWith(changed ? decodeBytes(changed->line) : QStringLiteral("no reply to CWD"));
    const Impl::Reply* pwd = m_impl->replyTo("PWD");
    m_impl->rememberDirectory(pwd && pwd->code == 257 ? directoryOfPwdReply(pwd->line) : QByteArray());
    return true;
}

QString FtpSession::GetRemoteDirectory()
{
    return m_impl->connected ? remote::decodePath(m_impl->cwd) : QString();
}

FtpListing FtpSession::ListRemoteEntries()
{
    FtpListing listing;
    if (!m_impl->connected) {
        m_impl->failWith(kNotConnected);
        return listing;
    }
    QByteArray data;
    Impl::Sink sink = remote::listingSink(data);
    if (!m_impl->perform({}, m_impl->backToCwd(), &sink))
        return listing;
    return remote::parseListing(data, m_impl->rawNames);
}

bool FtpSession::FetchRemoteFile(const QString& remoteName, const QString& localPath)
{
    if (!m_impl->connected)
        return m_impl->failWith(kNotConnected);
    if (remoteName.isEmpty() || localPath.isEmpty())
        return m_impl->failWith(QStringLiteral("no file given"));
    const QByteArray name = remote::encodePath(remoteName, m_impl->rawNames);
    if (!isSafeArgument(name))
        return m_impl->failWith(kUnsafeName);

    // Into a new file beside the target, renamed over it only once the transfer is complete.
    remote::TempDownload file(localPath);
    if (!file.error().isEmpty())
        return m_impl->failWith(file.error());

    // The wire of an ASCII transfer ends lines in CR LF. libcurl turns them into LF itself on
    // every system whose line end is LF (a CR LF split between two pieces included; a lone CR
    // becomes LF too, which the line counter takes as a line end anyway), so the bytes arrive
    // ready to be written. Converting once more here could merge a CR it left with an LF.
    //
    // A server may end a transfer with its success reply before the whole file went out, or
    // never end it at all, and an ASCII transfer has no length of its own (libcurl neither asks
    // SIZE nor trusts the 150 reply then). The size of the file as stored, asked in binary mode
    // before the transfer, bounds what must arrive: every byte stored arrives as at most one
    // byte, and every line end here was at most two bytes there. Without it, the ceiling does.
    const QByteArray sizeCommand = "SIZE " + name;
    qint64 limit = -1; // known once the transfer starts, when the reply to SIZE is in
    qint64 received = 0;
    qint64 lineEnds = 0;
    QString refused; // why the sink stopped the transfer
    Impl::Sink sink = [&](const char* bytes, size_t size) {
        if (limit < 0) {
            const qint64 stored = m_impl->storedSize(sizeCommand);
            limit = stored >= 0 ? stored : std::max<qint64>(downloadCeiling, 0);
        }
        received += static_cast<qint64>(size);
        if (received > limit) {
            refused = QStringLiteral("the file is larger than %1 bytes").arg(limit);
            return false;
        }
        lineEnds += std::count(bytes, bytes + size, '\n');
        if (file.write(bytes, size))
            return true;
        refused = file.error();
        return false;
    };
    QList<QByteArray> quote = m_impl->backToCwd();
    quote << QByteArrayLiteral("*TYPE I") << '*' + sizeCommand << QByteArrayLiteral("*TYPE A");
    bool ok = m_impl->perform(name, quote, &sink);
    if (!ok && !refused.isEmpty())
        m_impl->error = refused;
    if (const qint64 stored = m_impl->storedSize(sizeCommand); ok && stored >= 0 && received + lineEnds < stored)
        ok = m_impl->failWith(QStringLiteral("the file arrived shorter than its size on the server"));
    if (ok && !file.commit())
        return m_impl->failWith(file.error());
    return ok;
}

const std::optional<ServerCertificate>& FtpSession::refusedCertificate() const
{
    return m_impl->refused;
}

QString FtpSession::lastError() const
{
    return m_impl->error;
}

FtpSession::DisconnectResult FtpSession::DisconnectServer()
{
    // Closing reports nothing back; once the handle is gone the session is closed.
    if (m_impl->connected)
        m_impl->close();
    return {};
}

} // namespace tarvik
