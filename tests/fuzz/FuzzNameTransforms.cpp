// The extension normalisation of the file-type editor and the stored form of FTP passwords,
// on arbitrary text (the input's UTF-8, with invalid bytes as U+FFFD, or its raw UTF-16 units
// when the first byte is odd, lone surrogates included).
#include "config/FileTypeEditor.h"
#include "ftp/FtpHostList.h"
#include "fuzz/FuzzCheck.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace tarvik;

namespace {

void checkNormalizeExtension(const QString& text)
{
    const QString ext = NormalizeExtension(text);
    // Dots and blanks, narrow or wide, are gone; no wide ASCII form and no capital letter is left.
    for (QChar c : ext) {
        const char16_t u = c.unicode();
        CHECK(u != u'.' && u != u' ' && u != 0x3000 && u != 0xFF0E);
        CHECK(!(u >= 0xFF01 && u <= 0xFF5E));
        CHECK(!(u >= u'A' && u <= u'Z'));
    }
    CHECK(NormalizeExtension(ext) == ext);
    // Whatever was typed wide reads as typed narrow.
    QString narrow;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        narrow += u >= 0xFF01 && u <= 0xFF5E ? QChar(static_cast<char16_t>(u - 0xFEE0)) : u == 0x3000 ? QChar(u' ') : c;
    }
    CHECK(NormalizeExtension(narrow) == ext);
}

void checkTransformPassword(const QString& password, const QString& mode)
{
    const QString stored = FtpHostList::TransformPassword(QStringLiteral("SET"), password);
    CHECK(stored.size() == password.size());
    // The stored form is one field of a comma-separated record.
    CHECK(!stored.contains(u','));
    QString expected = password;
    expected.replace(u'J', u';');
    CHECK(FtpHostList::TransformPassword(QStringLiteral("UNSET"), stored) == expected);
    for (qsizetype i = 0; i < password.size(); ++i) {
        if (password.at(i).unicode() >= 128)
            CHECK(stored.at(i) == password.at(i));
        else
            CHECK(stored.at(i).unicode() < 128);
    }
    if (mode != u"SET" && mode != u"UNSET")
        CHECK(FtpHostList::TransformPassword(mode, password).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const qsizetype n = static_cast<qsizetype>(size - 1);
    QString text;
    if (data[0] & 1) {
        text.resize(n / 2);
        std::memcpy(text.data(), bytes, static_cast<size_t>(n / 2) * 2);
    } else {
        text = QString::fromUtf8(bytes, n);
    }
    checkNormalizeExtension(text);
    // The mode is the text up to its first blank, the password what follows.
    const qsizetype blank = text.indexOf(u' ');
    checkTransformPassword(blank < 0 ? text : text.mid(blank + 1), blank < 0 ? QString() : text.left(blank));
    return 0;
}
