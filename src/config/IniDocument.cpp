#include "config/IniDocument.h"

#include <QStringDecoder>

namespace tarvik {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimmedBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

// A section header "[name]" gives its name; anything else gives nullopt.
std::optional<QString> sectionName(const QString& line)
{
    QString t = trimmedBlanks(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    qsizetype close = t.indexOf(u']');
    return trimmedBlanks(QStringView(t).mid(1, close < 0 ? -1 : close - 1));
}

struct KeyLine {
    QString key;
    QString value;
};

std::optional<KeyLine> keyLine(const QString& line)
{
    qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    QString key = trimmedBlanks(QStringView(line).left(eq));
    if (key.isEmpty() || key.startsWith(u';'))
        return std::nullopt;
    QStringView v = QStringView(line).mid(eq + 1);
    qsizetype e = v.size();
    while (e > 0 && isBlank(v[e - 1]))
        --e;
    v = v.left(e);
    // One pair of double quotes around a value is not part of it, as for the Windows profile
    // functions: that is how blanks at either end survive the trimming above.
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"')
        v = v.mid(1, v.size() - 2);
    return KeyLine{key, v.toString()};
}

QString fold(const QString& s) { return s.toCaseFolded(); }

} // namespace

IniDocument IniDocument::fromBytes(std::string_view bytes)
{
    IniDocument doc;
    // UTF-16 is known only by its mark (Windows editors write one); "FF FE" and "FE FF" never
    // begin a UTF-8 or a CP932 text.
    if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        doc.m_utf16 = bytes[0] == '\xFF' ? Utf16::LittleEndian : Utf16::BigEndian;
        doc.splitUtf16(bytes.substr(2));
        doc.reindex();
        return doc;
    }
    doc.m_encoding = detectEncoding(bytes);
    if (doc.m_encoding == TextEncoding::Utf8 && bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.m_bom = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    // CR LF, a lone CR and a lone LF all end a line; none of them occurs inside a CP932 character.
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        std::string_view raw = bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        Line line;
        line.raw = QByteArray(raw.data(), static_cast<qsizetype>(raw.size()));
        if (line.raw.isNull())
            line.raw = QByteArray("");
        line.text = doc.m_encoding == TextEncoding::Utf8 ? utf8ToQString(raw) : decodeText(raw);
        doc.m_lines.push_back(std::move(line));
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
        if (bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    doc.reindex();
    return doc;
}

void IniDocument::splitUtf16(std::string_view bytes)
{
    const bool big = m_utf16 == Utf16::BigEndian;
    auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(big ? (a << 8) | b : (b << 8) | a);
    };
    // Each line keeps its own bytes; a U+FEFF at a line's start is text, the file's mark is gone.
    QStringDecoder decoder(big ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = pos;
        while (end + 1 < bytes.size() && unit(end) != u'\r' && unit(end) != u'\n')
            end += 2;
        const bool lineBreak = end + 1 < bytes.size();
        if (!lineBreak)
            end = bytes.size(); // an odd last byte stays with the last line
        const std::string_view raw = bytes.substr(pos, end - pos);
        Line line;
        line.raw = QByteArray(raw.data(), static_cast<qsizetype>(raw.size()));
        if (line.raw.isNull())
            line.raw = QByteArray("");
        line.text = decoder.decode(QByteArrayView(raw.data(), static_cast<qsizetype>(raw.size())));
        // An odd last byte would put every unit after it out of step once a line end follows it:
        // that line is written from its text instead.
        if (raw.size() % 2 != 0)
            line.raw = QByteArray();
        m_lines.push_back(std::move(line));
        if (!lineBreak)
            break;
        const bool cr = unit(end) == u'\r';
        pos = end + 2;
        if (cr && pos + 1 < bytes.size() && unit(pos) == u'\n')
            pos += 2;
    }
}

void IniDocument::reindex()
{
    m_index.clear();
    m_sectionLine.clear();
    QHash<QString, int>* current = nullptr;
    for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
        const QString& text = m_lines[static_cast<size_t>(i)].text;
        if (auto name = sectionName(text)) {
            QString f = fold(*name);
            if (m_sectionLine.contains(f)) {
                current = nullptr; // a repeated section is not read, as with the first-wins rule
            } else {
                m_sectionLine.insert(f, i);
                current = &m_index[f];
            }
            continue;
        }
        if (!current)
            continue;
        if (auto kv = keyLine(text)) {
            QString k = fold(kv->key);
            if (!current->contains(k))
                current->insert(k, i);
        }
    }
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    auto s = m_index.constFind(fold(section));
    if (s == m_index.cend())
        return std::nullopt;
    auto k = s->constFind(fold(key));
    if (k == s->cend())
        return std::nullopt;
    return keyLine(m_lines[static_cast<size_t>(*k)].text)->value;
}

QString IniDocument::storedForm(const QString& value)
{
    const bool blankAtEnd = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
    const bool quoted = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
    return blankAtEnd || quoted ? u'"' + value + u'"' : value;
}

QString IniDocument::keyLineText(const QString& key, const QString& value) { return key + u'=' + storedForm(value); }

bool IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    auto unsafe = [](const QString& s) { return s.contains(u'\r') || s.contains(u'\n'); };
    if (section.isEmpty() || key.isEmpty() || unsafe(section) || unsafe(key) || unsafe(value)
        || section.contains(u']') || key.contains(u'=') || trimmedBlanks(key) != key)
        return false;
    // Names the reader would not find again: blanks around a section name are not part of it,
    // and a line starting with "[" or ";" is a section header or a comment, never a key.
    if (trimmedBlanks(section) != section || key.startsWith(u'[') || key.startsWith(u';'))
        return false;

    auto s = m_index.constFind(fold(section));
    if (s != m_index.cend()) {
        auto k = s->constFind(fold(key));
        if (k != s->cend()) {
            Line& line = m_lines[static_cast<size_t>(*k)];
            line.text = keyLineText(keyLine(line.text)->key, value);
            line.raw = QByteArray();
            return true;
        }
        // After the last non-blank line of the section.
        size_t insertAt = static_cast<size_t>(m_sectionLine.value(fold(section))) + 1;
        for (size_t i = insertAt; i < m_lines.size() && !sectionName(m_lines[i].text); ++i) {
            if (!trimmedBlanks(m_lines[i].text).isEmpty())
                insertAt = i + 1;
        }
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{keyLineText(key, value), {}});
    } else {
        m_lines.push_back(Line{u'[' + section + u']', {}});
        m_lines.push_back(Line{keyLineText(key, value), {}});
    }
    reindex();
    return true;
}

QByteArray IniDocument::toBytes() const
{
    if (m_utf16 != Utf16::No) {
        const bool big = m_utf16 == Utf16::BigEndian;
        QByteArray out;
        auto put = [&](QStringView text) {
            for (QChar c : text) {
                const char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xFF);
                out += big ? hi : lo;
                out += big ? lo : hi;
            }
        };
        put(u"\uFEFF");
        for (const Line& line : m_lines) {
            if (line.raw.isNull())
                put(line.text);
            else
                out += line.raw;
            put(u"\r\n");
        }
        return out;
    }
    auto build = [this](TextEncoding enc, QByteArray& out) {
        out.clear();
        // A first line starting with U+FEFF needs a mark in front, or it would be read as one.
        const bool markFirst = !m_lines.empty() && m_lines.front().text.startsWith(QChar(0xFEFF));
        if (enc == TextEncoding::Utf8 && (m_bom || markFirst))
            out += QByteArray(kUtf8Bom.data(), static_cast<qsizetype>(kUtf8Bom.size()));
        QByteArray encoded;
        for (const Line& line : m_lines) {
            if (!line.raw.isNull() && enc == m_encoding) {
                out += line.raw;
            } else {
                if (!encodeText(line.text, enc, encoded))
                    return false;
                out += encoded;
            }
            out += "\r\n";
        }
        return true;
    };
    QByteArray out;
    if (!build(m_encoding, out))
        build(TextEncoding::Utf8, out);
    // CP932 bytes that happen to be valid UTF-8 (once a change removed the lines that were not)
    // would be read as UTF-8, other text than was written.
    else if (m_encoding == TextEncoding::Cp932
             && fromBytes(std::string_view(out.constData(), static_cast<size_t>(out.size()))).lines() != lines())
        build(TextEncoding::Utf8, out);
    return out;
}

QStringList IniDocument::lines() const
{
    QStringList result;
    result.reserve(static_cast<qsizetype>(m_lines.size()));
    for (const Line& line : m_lines)
        result << line.text;
    return result;
}

void IniDocument::setLines(const QStringList& lines)
{
    QHash<QString, QByteArray> original;
    for (const Line& line : m_lines) {
        if (!line.raw.isNull())
            original.insert(line.text, line.raw);
    }
    m_lines.clear();
    for (const QString& text : lines)
        m_lines.push_back(Line{text, original.value(text)});
    reindex();
}

} // namespace tarvik
