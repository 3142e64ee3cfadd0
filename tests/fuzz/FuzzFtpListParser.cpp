// LIST replies as a server might send them: split into lines as the session does, each line
// parsed. A parsed name is part of its line, decoded as names are, and never empty.
#include "config/TextCodec.h"
#include "ftp/FtpSession.h"
#include "fuzz/FuzzCheck.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tarvik;

namespace {

void checkLine(const QByteArray& line)
{
    const FtpEntry entry = parseListLine(line);
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);

    CHECK(entry.attributes == 0 || entry.attributes == FtpEntry::kDirectory || entry.attributes == FtpEntry::kNormal);
    if (entry.attributes == 0) {
        CHECK(entry.rawName == text);
    } else {
        CHECK(!entry.rawName.isEmpty());
        CHECK(text.contains(entry.rawName));
        // A link's target is cut off; every other name runs to the end of the line.
        if (text[0] != 'l')
            CHECK(text.endsWith(entry.rawName));
    }
    // A name is shown as decoded, a NUL included, so that it cannot pass for a shorter name; one
    // over 260 bytes is shown cut.
    if (entry.rawName.size() <= 260)
        CHECK(entry.name == decodeText(std::string_view(entry.rawName.constData(), static_cast<size_t>(entry.rawName.size()))));
    else
        CHECK(entry.rawName.left(260).contains('\0') == entry.name.contains(QChar(0)));
    CHECK(entry.shortName.toUtf8().size() <= 14);

    const FtpEntry again = parseListLine(line);
    CHECK(again.attributes == entry.attributes && again.rawName == entry.rawName && again.name == entry.name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkLine(reply); // one line handed over whole, terminators and all
    for (QByteArray line : reply.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        checkLine(line);
    }
    return 0;
}
