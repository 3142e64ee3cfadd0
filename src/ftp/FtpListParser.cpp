#include "ftp/FtpSession.h"

#include "config/TextCodec.h"

#include <QByteArrayView>

#include <cstring>

namespace tarvik {

namespace {

struct Token {
    qsizetype begin;
    qsizetype end;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QList<Token> tokenize(const QByteArray& line)
{
    QList<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i == n)
            break;
        const qsizetype begin = i;
        while (i < n && !isBlank(line[i]))
            ++i;
        tokens.append({begin, i});
    }
    return tokens;
}

QByteArrayView view(const QByteArray& line, Token t)
{
    return QByteArrayView(line).sliced(t.begin, t.end - t.begin);
}

bool isDigits(QByteArrayView v, qsizetype minLen = 1, qsizetype maxLen = 20)
{
    if (v.size() < minLen || v.size() > maxLen)
        return false;
    for (char c : v) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool isMonth(QByteArrayView v)
{
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    if (v.size() != 3)
        return false;
    for (const char* m : kMonths) {
        if (v.compare(QByteArrayView(m, 3), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// "10:15" (a recent file) or "2019" (an older one).
bool isClock(QByteArrayView v)
{
    const qsizetype colon = v.indexOf(':');
    return colon > 0 && isDigits(v.first(colon), 1, 2) && isDigits(v.sliced(colon + 1), 2, 2);
}

// Digit groups split by `sep`, e.g. "2024-01-26" or the DOS "12-01-26".
bool isDate(QByteArrayView v, char sep)
{
    const QList<QByteArray> parts = v.toByteArray().split(sep);
    if (parts.size() != 3)
        return false;
    for (const QByteArray& p : parts) {
        if (!isDigits(p, 1, 4))
            return false;
    }
    return true;
}

// The longest name a listing record holds, in bytes.
constexpr qsizetype kMaxNameBytes = 260;

// The shown name ends after 260 bytes, cut before a character that would not fit whole so that
// it still decodes in its own encoding. A NUL stays in it: cut there, "a.c" NUL "x" would pass
// for a file "a.c" beside it.
QByteArray recordName(const QByteArray& raw)
{
    QByteArray name = raw;
    if (name.size() <= kMaxNameBytes)
        return name;
    qsizetype cut = kMaxNameBytes;
    if (isValidUtf8(std::string_view(name.constData(), static_cast<size_t>(name.size())))) {
        while (cut > 0 && (static_cast<uchar>(name[cut]) & 0xC0) == 0x80)
            --cut;
    } else {
        // CP932: a lead byte takes the next byte with it.
        qsizetype i = 0;
        while (i < kMaxNameBytes) {
            const uchar c = static_cast<uchar>(name[i]);
            const qsizetype width = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) ? 2 : 1;
            if (i + width > kMaxNameBytes)
                break;
            i += width;
        }
        cut = i;
    }
    name.truncate(cut);
    return name;
}

// `rawName` keeps the server's whole name: a name cut for showing still fetches the file that
// was listed, and one with a NUL is refused, as no command can carry it.
FtpEntry makeEntry(uint32_t attributes, const QByteArray& raw)
{
    FtpEntry e;
    e.attributes = attributes;
    e.rawName = raw;
    const QByteArray shown = recordName(raw);
    e.name = decodeText(std::string_view(shown.constData(), static_cast<size_t>(shown.size())));
    return e;
}

// "drwxr-xr-x 2 owner group 4096 Jan 26 10:15 name": the name is whatever follows the date and
// time after one blank, so names with blanks stay whole. The owner or group column may be missing.
bool parseUnix(const QByteArray& line, FtpEntry& entry)
{
    if (line.size() < 11 || !std::strchr("-dlbcps", line[0]))
        return false;
    for (int i = 1; i < 10; ++i) {
        if (!std::strchr("rwxsStTlL-", line[i]))
            return false;
    }
    const QList<Token> t = tokenize(line);
    qsizetype nameStart = -1;
    for (qsizetype i = 2; i + 1 < t.size() && nameStart < 0; ++i) {
        if (!isDigits(view(line, t[i - 1])))
            continue;
        if (i + 2 < t.size() && isMonth(view(line, t[i])) && isDigits(view(line, t[i + 1]), 1, 2)
            && (isClock(view(line, t[i + 2])) || isDigits(view(line, t[i + 2]), 4, 4)))
            nameStart = t[i + 2].end + 1;
        else if (isDate(view(line, t[i]), '-') && isClock(view(line, t[i + 1])))
            nameStart = t[i + 1].end + 1;
    }
    if (nameStart < 0 || nameStart >= line.size())
        return false;
    QByteArray name = line.mid(nameStart);
    if (line[0] == 'l') {
        const qsizetype arrow = name.indexOf(" -> ");
        if (arrow > 0)
            name.truncate(arrow);
    }
    entry = makeEntry(line[0] == 'd' ? FtpEntry::kDirectory : FtpEntry::kNormal, name);
    return true;
}

// "12-01-26  10:15AM       <DIR>          src" or "01-26-2012  22:15   1234 main.c".
bool parseDos(const QByteArray& line, FtpEntry& entry)
{
    const QList<Token> t = tokenize(line);
    if (t.size() < 4 || !isDate(view(line, t[0]), '-'))
        return false;
    QByteArrayView time = view(line, t[1]);
    if (time.endsWith("AM") || time.endsWith("PM") || time.endsWith("am") || time.endsWith("pm"))
        time.chop(2);
    if (!isClock(time))
        return false;
    const QByteArrayView kind = view(line, t[2]);
    const bool directory = kind == "<DIR>";
    if (!directory && !isDigits(kind))
        return false;
    entry = makeEntry(directory ? FtpEntry::kDirectory : FtpEntry::kNormal, line.mid(t[3].begin));
    return true;
}

} // namespace

FtpEntry parseListLine(const QByteArray& line)
{
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    FtpEntry entry;
    if (parseUnix(text, entry) || parseDos(text, entry))
        return entry;
    return makeEntry(0, text);
}

} // namespace tarvik
