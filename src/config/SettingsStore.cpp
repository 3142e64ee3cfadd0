#include "config/SettingsStore.h"

#include "config/AtomicFile.h"

#include "config/NativePath.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr int kReadLimitBytes = 499;
constexpr int kWriteLimitChars = 512;

int encodedLength(char32_t cp, TextEncoding enc)
{
    if (enc == TextEncoding::Cp932)
        return (cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F)) ? 1 : 2;
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The read buffer holds 499 bytes of the file's encoding; a character is never split.
QString cutToBytes(const QString& s, TextEncoding enc)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < s.size()) {
        char32_t cp = s.at(i).unicode();
        int units = 1;
        if (QChar::isHighSurrogate(cp) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
            units = 2;
        }
        bytes += encodedLength(cp, enc);
        if (bytes > kReadLimitBytes)
            return s.left(i);
        i += units;
    }
    return s;
}

// Far beyond any real settings file; it bounds what a read may take, and an endless device
// never gets that far.
constexpr off_t kFileLimitBytes = off_t{16} << 20;

QString notRegularFile() { return QStringLiteral("通常のファイルではありません"); }
QString tooLarge() { return QStringLiteral("16 MiB を超えています"); }
QString unmarkedUtf16() { return QStringLiteral("バイト順マークのない UTF-16 です"); }

// UTF-16 is read only behind its byte-order mark. Without one, its ASCII characters leave NUL
// bytes on one side of each pair, which as 8-bit text would read as a file of no settings. NULs
// on both sides (a file padded with zeros after a crash) are not taken for UTF-16.
bool looksLikeUnmarkedUtf16(std::string_view bytes)
{
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")
        return false;
    const size_t n = std::min<size_t>(bytes.size(), 65536) & ~size_t{1};
    size_t nuls[2] = {0, 0};
    for (size_t i = 0; i < n; ++i)
        nuls[i % 2] += bytes[i] == '\0';
    const size_t more = std::max(nuls[0], nuls[1]), fewer = std::min(nuls[0], nuls[1]);
    return n > 0 && more * 4 >= n / 2 && fewer * 8 <= more;
}

// Only a regular file of at most 16 MiB is read: a FIFO would wait for a writer for ever and a
// device could be endless. `exists` tells a missing file from one that is there but not read.
bool readWholeFile(const QString& path, std::string& out, QString* error, bool* exists)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    auto failErrno = [&] { return fail(QString::fromLocal8Bit(std::strerror(errno))); };
    const std::string native = pathToNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        if (exists)
            *exists = errno != ENOENT && errno != ENOTDIR;
        return failErrno();
    }
    if (exists)
        *exists = true;
    if (!S_ISREG(st.st_mode))
        return fail(notRegularFile());
    // O_NONBLOCK: should the path have become a FIFO since the test above, the open must not wait.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return failErrno();
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0)
        return failErrno();
    if (!S_ISREG(st.st_mode))
        return fail(notRegularFile());
    if (st.st_size > kFileLimitBytes)
        return fail(tooLarge());
    out.clear();
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failErrno();
        }
        if (n == 0)
            return !looksLikeUnmarkedUtf16(out) || fail(unmarkedUtf16());
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > static_cast<size_t>(kFileLimitBytes)) // it grew while being read
            return fail(tooLarge());
    }
}

} // namespace

QString expandEnvironmentReferences(const QString& value)
{
    QString out;
    qsizetype i = 0;
    while (i < value.size()) {
        qsizetype open = value.indexOf(u'%', i);
        if (open < 0)
            break;
        qsizetype close = value.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        out += QStringView(value).mid(i, open - i);
        QString name = value.mid(open + 1, close - open - 1);
        QByteArray nativeName = name.toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(nativeName.constData())) {
            out += qEnvironmentVariable(nativeName.constData());
            i = close + 1;
        } else {
            // Unknown: keep "%NAME" and let the closing "%" start the next reference.
            out += QStringView(value).mid(open, close - open);
            i = close;
        }
    }
    out += QStringView(value).mid(i);
    return out;
}

SettingsStore::SettingsStore(QString iniPath) : m_path(std::move(iniPath)) {}

QString SettingsStore::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Tarvik.ini"));
}

void SettingsStore::ReadSetting(const QString& section, const QString& key)
{
    m_settingValue = ReadProfileValue(m_path, section, key, QString());
}

QString SettingsStore::read(const QString& section, const QString& key)
{
    ReadSetting(section, key);
    return m_settingValue;
}

QString SettingsStore::profileValue(const IniDocument& doc, const QString& section, const QString& key,
                                    const QString& defaultValue)
{
    QString v = cutToBytes(doc.value(section, key).value_or(defaultValue), doc.encoding());
    if (v.startsWith(u'%'))
        v = cutToBytes(expandEnvironmentReferences(v), doc.encoding());
    return v;
}

QString SettingsStore::ReadProfileValue(const QString& filePath, const QString& section, const QString& key,
                                        const QString& defaultValue)
{
    IniDocument doc;
    loadDocument(filePath, doc, nullptr);
    return profileValue(doc, section, key, defaultValue);
}

QString SettingsStore::unreadableReason() const
{
    std::string bytes;
    QString error;
    bool exists = false;
    if (readWholeFile(m_path, bytes, &error, &exists) || !exists)
        return {};
    return error;
}

bool SettingsStore::loadDocument(const QString& path, IniDocument& doc, QString* error)
{
    std::string bytes;
    bool exists = false;
    if (!readWholeFile(path, bytes, error, &exists)) {
        doc = IniDocument();
        return false;
    }
    doc = IniDocument::fromBytes(bytes);
    return true;
}

bool SettingsStore::saveDocument(const QString& path, const IniDocument& doc, QString* error, FileAccess access)
{
    // A read-only settings file is left alone, as a refused write. The rename below needs no
    // right to the file itself, and root passes any permission test: the mode bits decide.
    const std::string native = pathToNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0
        && (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0
            || ::access(native.c_str(), W_OK) != 0)) {
        if (error)
            *error = S_ISREG(st.st_mode) ? QStringLiteral("ファイルが読み取り専用です") : notRegularFile();
        return false;
    }
    // Written larger than a read takes, or with NUL characters enough to pass for UTF-16
    // without its mark, the file would read as unreadable from then on.
    const QByteArray bytes = doc.toBytes();
    const bool unmarked = looksLikeUnmarkedUtf16(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (bytes.size() > kFileLimitBytes || unmarked) {
        if (error)
            *error = unmarked ? unmarkedUtf16() : tooLarge();
        return false;
    }
    // A host record's password makes the file owner-only; other writes keep its mode.
    std::optional<QFileDevice::Permissions> mode;
    if (access == FileAccess::OwnerOnly)
        mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return writeFileAtomically(path, bytes, error, mode);
}

bool SettingsStore::WriteSetting(const QString& section, const QString& key, const QString& value)
{
    QString v = value;
    // A line break in a value would end the line and smuggle in keys of its own.
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) == u'\r' || v.at(i) == u'\n') {
            v.truncate(i);
            break;
        }
    }
    if (v.size() > kWriteLimitChars) {
        qsizetype n = kWriteLimitChars;
        if (v.at(n - 1).isHighSurrogate())
            --n;
        v.truncate(n);
    }
    IniDocument doc;
    QString error;
    bool exists = true;
    std::string bytes;
    if (readWholeFile(m_path, bytes, &error, &exists))
        doc = IniDocument::fromBytes(bytes);
    else if (exists)
        return false; // present but unreadable: writing would lose its content
    if (!doc.setValue(section, key, v))
        return false;
    return saveDocument(m_path, doc, nullptr);
}

bool SettingsStore::rewriteLines(const std::function<QStringList(const QStringList&)>& edit, QString* error)
{
    IniDocument doc;
    if (!loadDocument(m_path, doc, error))
        return false;
    doc.setLines(edit(doc.lines()));
    return saveDocument(m_path, doc, error);
}

void SettingsStore::insertAtEndOfSection(QStringList& lines, const QString& section, const QString& line)
{
    const QString wanted = section.toCaseFolded();
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString t = lines[i].trimmed();
        if (t.startsWith(u'[')) {
            qsizetype close = t.indexOf(u']');
            if (t.mid(1, close < 0 ? -1 : close - 1).trimmed().toCaseFolded() == wanted) {
                header = i;
                break;
            }
        }
    }
    if (header < 0) {
        lines << u'[' + section + u']' << line;
        return;
    }
    qsizetype next = header + 1;
    while (next < lines.size() && !lines[next].trimmed().startsWith(u'['))
        ++next;
    lines.insert(next, line);
}

} // namespace tarvik
