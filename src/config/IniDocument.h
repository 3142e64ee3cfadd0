#pragma once

#include "config/TextCodec.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>
#include <vector>

namespace tarvik {

// An INI file held as its lines. Untouched lines keep their exact bytes when the file is
// written back; section and key names are matched without regard to letter case, the first
// section and the first key of a name winning.
class IniDocument {
public:
    IniDocument() = default;
    static IniDocument fromBytes(std::string_view bytes);

    // The 8-bit encoding in which read limits are counted: UTF-8 for a UTF-16 file.
    TextEncoding encoding() const { return m_encoding; }
    bool isEmpty() const { return m_lines.empty(); }

    // The stored value as written after "=", trailing blanks removed, then one pair of double
    // quotes around it removed; nullopt when absent.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // How a value is written so that it reads back unchanged: inside double quotes when it
    // begins or ends with a blank, or begins and ends with a double quote; otherwise as it is.
    static QString storedForm(const QString& value);
    // The line "key=value" with the value in its stored form, for writers that edit lines.
    static QString keyLineText(const QString& key, const QString& value);

    // Replaces the value of an existing key (its spelling is kept), or adds the key after the
    // last non-blank line of its section, or adds the section at the end of the file.
    // Returns false for names that cannot be stored in an INI line or would not read back.
    bool setValue(const QString& section, const QString& key, const QString& value);

    // Lines joined with CR LF and closed by one CR LF, in the file's own encoding (UTF-8 if
    // some text has no CP932 form, so that nothing is lost). A file that began with a UTF-16
    // byte-order mark is written in UTF-16 of the same byte order, behind the same mark.
    QByteArray toBytes() const;

    QStringList lines() const;
    // Replaces all lines; lines whose text is unchanged keep their original bytes.
    void setLines(const QStringList& lines);

private:
    struct Line {
        QString text;
        QByteArray raw; // null when the line was changed and must be encoded anew
    };
    enum class Utf16 { No, LittleEndian, BigEndian };
    void splitUtf16(std::string_view bytes);
    void reindex();

    std::vector<Line> m_lines;
    TextEncoding m_encoding = TextEncoding::Utf8;
    bool m_bom = false;
    Utf16 m_utf16 = Utf16::No;
    // case-folded section name -> case-folded key -> line index; first occurrence only
    QHash<QString, QHash<QString, int>> m_index;
    QHash<QString, int> m_sectionLine;
};

} // namespace tarvik
