// The settings file: reading arbitrary bytes, the single-key write and the textual rewrites,
// in memory and through a real file. What is written reads back as written (cut as the write
// rules say), and lines that were not touched keep their bytes.
//
// Input (FuzzedDataProvider): section, key, value and an extra line as backslash-ended strings,
// then the file's bytes; the last byte picks the rewrite.
#include "config/IniDocument.h"
#include "config/SettingsStore.h"
#include "config/TextCodec.h"
#include "fuzz/FuzzCheck.h"

#include <QString>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace tarvik;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Splits at CR LF, lone CR and lone LF; a final terminator ends the last line, it does not
// start another.
std::vector<std::string_view> splitLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find_first_of("\r\n", pos);
        lines.push_back(bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
        if (bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return lines;
}

std::string_view withoutBom(std::string_view bytes)
{
    if (isValidUtf8(bytes) && bytes.substr(0, kBom.size()) == kBom)
        bytes.remove_prefix(kBom.size());
    return bytes;
}

// The file's lines as read: a UTF-8 file as UTF-8; in a CP932 file, a line that is valid UTF-8
// by itself (one added by a UTF-8 editor) as UTF-8 without a byte-order mark, the others as CP932.
QStringList linesAs(std::string_view bytes, bool utf8File)
{
    QStringList lines;
    for (std::string_view raw : splitLines(withoutBom(bytes))) {
        std::string utf8;
        if (utf8File) {
            utf8.assign(raw);
        } else if (isValidUtf8(raw)) {
            utf8.assign(raw.substr(raw.substr(0, kBom.size()) == kBom ? kBom.size() : 0));
        } else {
            Cp932Decoder decoder;
            decoder.decode(raw, utf8, true);
        }
        lines << fuzz::utf16(utf8);
    }
    return lines;
}

QStringList expectedLines(std::string_view bytes)
{
    return linesAs(bytes, isValidUtf8(bytes));
}

QString fromBytes(const std::string& s)
{
    return fuzz::utf16(s);
}

std::string_view view(const QByteArray& b)
{
    return std::string_view(b.constData(), static_cast<size_t>(b.size()));
}

// Every line of `after` whose text was a line of `before` still has one of that text's byte forms.
void checkUntouchedLinesKeepBytes(std::string_view before, std::string_view after)
{
    if (detectEncoding(before) != detectEncoding(after))
        return; // the file changed encoding to keep a new text: every line was encoded anew
    std::map<QString, std::set<std::string_view>> raws;
    const QStringList beforeLines = expectedLines(before);
    const std::vector<std::string_view> beforeRaw = splitLines(withoutBom(before));
    for (size_t i = 0; i < beforeRaw.size(); ++i)
        raws[beforeLines[static_cast<qsizetype>(i)]].insert(beforeRaw[i]);
    const QStringList afterLines = expectedLines(after);
    const std::vector<std::string_view> afterRaw = splitLines(withoutBom(after));
    for (size_t i = 0; i < afterRaw.size(); ++i) {
        auto it = raws.find(afterLines[static_cast<qsizetype>(i)]);
        if (it != raws.end())
            CHECK(it->second.count(afterRaw[i]) == 1);
    }
}

QByteArray readFile(const std::string& path)
{
    QByteArray out;
    FILE* f = std::fopen(path.c_str(), "rb");
    CHECK(f);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, static_cast<qsizetype>(n));
    std::fclose(f);
    return out;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    CHECK(f);
    CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    CHECK(std::fclose(f) == 0);
}

const std::string& scratchFile()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tarvik-fuzz-settings-" + std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

// The value as the single-key write stores it: up to the first line break, at most 512 UTF-16
// units without a split surrogate pair.
QString storedValue(const QString& value)
{
    QString v = value;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) == u'\r' || v.at(i) == u'\n') {
            v.truncate(i);
            break;
        }
    }
    if (v.size() > 512)
        v.truncate(v.at(511).isHighSurrogate() ? 511 : 512);
    return v;
}

// A file that begins with a UTF-16 mark is read and written in UTF-16; the byte model of the
// other checks is that of the 8-bit encodings.
bool isUtf16(std::string_view bytes)
{
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

void checkDocument(std::string_view bytes)
{
    const IniDocument doc = IniDocument::fromBytes(bytes);
    if (isUtf16(bytes)) {
        // Unchanged, it reads back as the same lines, behind the same mark.
        const QByteArray out = doc.toBytes();
        CHECK(out.left(2) == QByteArray(bytes.data(), 2));
        CHECK(IniDocument::fromBytes(view(out)).lines() == doc.lines());
        return;
    }
    CHECK(doc.encoding() == detectEncoding(bytes));
    CHECK(doc.lines() == expectedLines(bytes));
    // Unchanged, the document writes back its own bytes with CR LF line ends.
    QByteArray expected;
    if (doc.encoding() == TextEncoding::Utf8 && bytes.substr(0, kBom.size()) == kBom)
        expected.append(kBom.data(), static_cast<qsizetype>(kBom.size()));
    for (std::string_view raw : splitLines(withoutBom(bytes)))
        expected.append(raw.data(), static_cast<qsizetype>(raw.size())).append("\r\n");
    CHECK(doc.toBytes() == expected);
}

void checkSetValue(std::string_view bytes, const QString& section, const QString& key, const QString& value)
{
    IniDocument doc = IniDocument::fromBytes(bytes);
    const QByteArray before = doc.toBytes();
    if (!doc.setValue(section, key, value)) {
        CHECK(doc.toBytes() == before);
        return;
    }
    const QByteArray after = doc.toBytes();
    const IniDocument reread = IniDocument::fromBytes(view(after));
    CHECK(reread.lines() == doc.lines());
    // Blanks at either end and surrounding quotes survive: such values are written quoted.
    CHECK(reread.value(section, key) == std::optional<QString>(value));
    if (!isUtf16(bytes))
        checkUntouchedLinesKeepBytes(view(before), view(after));
}

void checkWriteSetting(std::string_view bytes, const QString& section, const QString& key, const QString& value)
{
    writeFile(scratchFile(), bytes);
    SettingsStore store(QString::fromStdString(scratchFile()));
    if (!store.WriteSetting(section, key, value)) {
        CHECK(readFile(scratchFile()) == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    const QByteArray after = readFile(scratchFile());
    const IniDocument reread = IniDocument::fromBytes(view(after));
    const QString stored = storedValue(value);
    CHECK(reread.value(section, key) == std::optional<QString>(stored));
    if (!isUtf16(bytes))
        checkUntouchedLinesKeepBytes(bytes, view(after));

    // The read gives at most 499 bytes of the file's encoding and never splits a character.
    if (stored.startsWith(u'%'))
        return;
    const QString read = store.read(section, key);
    CHECK(stored.startsWith(read));
    QByteArray encoded;
    CHECK(encodeText(read, reread.encoding(), encoded) && encoded.size() <= 499);
    if (read.size() < stored.size()) {
        const qsizetype next = stored.at(read.size()).isHighSurrogate() ? 2 : 1;
        CHECK(encodeText(stored.left(read.size() + next), reread.encoding(), encoded) && encoded.size() > 499);
    }
}

void checkRewrite(std::string_view bytes, const QString& section, const QString& line, uint8_t kind)
{
    writeFile(scratchFile(), bytes);
    SettingsStore store(QString::fromStdString(scratchFile()));
    QStringList edited;
    auto edit = [&](const QStringList& lines) {
        edited = lines;
        switch (kind % 4) {
        case 0:
            SettingsStore::insertAtEndOfSection(edited, section, line);
            break;
        case 1:
            edited.removeIf([&](const QString& l) { return l.startsWith(line); });
            break;
        case 2:
            if (!edited.isEmpty())
                edited[(kind / 4) % edited.size()] = line;
            break;
        default:
            break;
        }
        return edited;
    };
    QString why;
    if (!store.rewriteLines(edit, &why)) {
        // Refused, with a reason, when the file or what it would become cannot be read (UTF-16
        // without its mark); the file is then untouched.
        CHECK(!why.isEmpty());
        CHECK(readFile(scratchFile()) == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    const QByteArray after = readFile(scratchFile());
    if (isUtf16(bytes)) {
        CHECK(after.left(2) == QByteArray(bytes.data(), 2));
        CHECK(IniDocument::fromBytes(view(after)).lines() == edited);
        return;
    }
    if (expectedLines(view(after)) != edited) {
        // Only allowed case: CP932 lines that, once the lines that made the file invalid UTF-8
        // are gone, happen to be valid UTF-8 and so read as UTF-8.
        CHECK(detectEncoding(bytes) == TextEncoding::Cp932 && detectEncoding(view(after)) == TextEncoding::Utf8);
        if (linesAs(view(after), false) != edited) {
            const QStringList read = expectedLines(view(after));
            for (qsizetype i = 0; i < std::max(read.size(), edited.size()); ++i)
                std::fprintf(stderr, "%lld: read '%s' edited '%s'\n", static_cast<long long>(i),
                             i < read.size() ? read[i].toUtf8().toPercentEncoding(" =[];").constData() : "-",
                             i < edited.size() ? edited[i].toUtf8().toPercentEncoding(" =[];").constData() : "-");
        }
        CHECK(linesAs(view(after), false) == edited);
        return;
    }
    checkUntouchedLinesKeepBytes(bytes, view(after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString section = fromBytes(in.ConsumeRandomLengthString(64));
    const QString key = fromBytes(in.ConsumeRandomLengthString(64));
    const QString value = fromBytes(in.ConsumeRandomLengthString(1024));
    // A rewrite hands over lines, never line breaks.
    QString line = fromBytes(in.ConsumeRandomLengthString(256));
    line.remove(u'\r').remove(u'\n');
    QString lineSection = section;
    lineSection.remove(u'\r').remove(u'\n');
    const uint8_t kind = in.ConsumeIntegral<uint8_t>();
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    checkDocument(bytes);
    checkSetValue(bytes, section, key, value);
    checkWriteSetting(bytes, section, key, value);
    checkRewrite(bytes, lineSection, line, kind);
    ::unlink(scratchFile().c_str());
    return 0;
}
