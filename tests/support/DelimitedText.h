#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tarvik::test {

// Reads delimited text as a spreadsheet does on opening or pasting it: records end with CR LF,
// a field in double quotes may hold the separator, line breaks and doubled quotes. Returns no
// records and sets `ok` false when the text is not well formed.
inline QList<QStringList> parseDelimited(const QString& text, QChar separator, bool* ok = nullptr)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    auto fail = [&] {
        if (ok)
            *ok = false;
        return QList<QStringList>();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == u'"') {
            if (!field.isEmpty() || wasQuoted)
                return fail(); // a quote inside an unquoted field
            quoted = wasQuoted = true;
        } else if (c == separator) {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << field;
            records << record;
            record.clear();
            field.clear();
            wasQuoted = false;
            ++i;
        } else if (c == u'\r' || c == u'\n' || wasQuoted) {
            return fail(); // a bare line break, or text after a closing quote
        } else {
            field += c;
        }
    }
    if (quoted || !field.isEmpty() || !record.isEmpty())
        return fail(); // the last record must end with CR LF
    if (ok)
        *ok = true;
    return records;
}

} // namespace tarvik::test
