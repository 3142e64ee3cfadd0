#include "config/NativePath.h"

#include "config/TextCodec.h"

#include <QStringList>

namespace tarvik {

namespace {

// Length of the valid UTF-8 sequence at p, or 0 when the bytes there are not one.
int utf8SequenceLength(const unsigned char* p, const unsigned char* end)
{
    unsigned char c = *p;
    int len;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4;
    else
        return 0;
    if (end - p < len)
        return 0;
    return isValidUtf8(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(len))) ? len : 0;
}

// A byte that is not UTF-8, carried as a lone surrogate (not the second half of a pair).
bool isEscapedByte(const QString& s, qsizetype i)
{
    const char16_t u = s.at(i).unicode();
    return u >= 0xDC80 && u <= 0xDCFF && !(i > 0 && s.at(i - 1).isHighSurrogate());
}

bool breaksTheLine(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

// One name: CP932 when all of its bytes read as CP932, otherwise U+FFFD for each stray byte.
QString displayName(const QString& name)
{
    const std::string bytes = pathToNative(name);
    QString cp932 = decodeText(bytes);
    QString shown;
    if (!cp932.contains(QChar::ReplacementCharacter)) {
        shown = cp932;
    } else {
        shown = name;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (isEscapedByte(name, i))
                shown[i] = QChar::ReplacementCharacter;
        }
    }
    return shown;
}

} // namespace

QString displayPath(const QString& path)
{
    bool escaped = false;
    bool breaking = false;
    for (QChar c : path) {
        escaped = escaped || c.isSurrogate();
        breaking = breaking || breaksTheLine(c.unicode());
    }
    if (!escaped && !breaking)
        return path;
    QString shown;
    if (escaped) {
        // Each name of the path on its own: a folder in UTF-8 may hold a file named in CP932.
        // "/" is never part of a CP932 character.
        const QStringList names = path.split(u'/');
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (i > 0)
                shown += u'/';
            bool lone = false;
            for (qsizetype k = 0; k < names[i].size(); ++k)
                lone = lone || isEscapedByte(names[i], k);
            shown += lone ? displayName(names[i]) : names[i];
        }
    } else {
        shown = path;
    }
    for (QChar& c : shown) {
        if (breaksTheLine(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return shown;
}

QString exportPath(const QString& path)
{
    for (QChar c : path) {
        if (c.isSurrogate())
            return displayPath(path);
    }
    return path;
}

QString pathFromNative(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return utf8ToQString(bytes);
    QString result;
    result.reserve(static_cast<qsizetype>(bytes.size()));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        int len = utf8SequenceLength(p, end);
        if (len == 0) {
            result += QChar(static_cast<char16_t>(0xDC00 + *p));
            ++p;
        } else {
            result += utf8ToQString(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(len)));
            p += len;
        }
    }
    return result;
}

std::string pathToNative(const QString& path)
{
    bool escaped = false;
    for (QChar ch : path) {
        if (ch.isSurrogate()) {
            escaped = true;
            break;
        }
    }
    if (!escaped)
        return path.toStdString();
    std::string result;
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            result += QString(path.constData() + i, 2).toStdString();
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            result += static_cast<char>(u - 0xDC00);
        } else {
            result += QString(QChar(u)).toStdString();
        }
    }
    return result;
}

} // namespace tarvik
