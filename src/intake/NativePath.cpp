#include "intake/NativePath.h"

#include "config/TextCodec.h"

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

} // namespace

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
