#include "support/ReferenceClassifier.h"

#include <QStringDecoder>

namespace tarvik::test {

ReferenceClassifier::ReferenceClassifier(QString lineToken, QString blockStart, QString blockEnd, bool countSymbolLines)
    : m_lt(std::move(lineToken)), m_bs(std::move(blockStart)), m_be(std::move(blockEnd)), m_symbols(countSymbolLines)
{
}

std::optional<LineKind> ReferenceClassifier::classify(const QString& line)
{
    QString k = line;
    k.remove(u'\t').remove(u' ').remove(QChar(0x3000));
    if (!m_symbols) {
        for (QChar c : QStringLiteral("{};()/"))
            k.remove(c);
    }
    if (k.isEmpty())
        return LineKind::Blank;
    QString w = line;
    for (QChar q : {QChar(u'"'), QChar(u'\'')}) {
        for (;;) {
            qsizetype a = w.indexOf(q);
            qsizetype b = a < 0 ? -1 : w.indexOf(q, a + 1);
            if (b < 0)
                break;
            w.replace(w.mid(a, b - a + 1), QStringLiteral("A"));
        }
    }
    qsizetype s, e;
    locate(w, s, e);
    qsizetype p = find(w, m_lt);
    if (p >= 0 && s >= 0 && p < s) {
        w.remove(m_bs);
        s = e = -1;
    }
    for (int passes = 0;;) {
        if (s >= 0 && e >= 0 && !m_inside) {
            w.remove(w.mid(s, e + m_be.size() - s));
        } else if (s >= 0 && e < 0) {
            w.truncate(s);
            m_inside = true;
        } else if (e >= 0 && m_inside) {
            w.remove(w.left(e + m_be.size()));
            m_inside = false;
        } else if (s < 0 && e >= 0) {
            break;
        } else if (m_inside) {
            w.clear();
        }
        locate(w, s, e);
        ++passes;
        if (s < 0 && e < 0)
            break;
        if (passes >= LineClassifier::kPassLimit)
            return std::nullopt;
    }
    p = find(w, m_lt);
    if (p >= 0)
        w.truncate(p);
    w.remove(u'\t').remove(u' ').remove(QChar(0x3000));
    return w.isEmpty() ? LineKind::Comment : LineKind::Executable;
}

qsizetype ReferenceClassifier::find(const QString& w, const QString& token, qsizetype from)
{
    return token.isEmpty() ? -1 : w.indexOf(token, from);
}

void ReferenceClassifier::locate(const QString& w, qsizetype& s, qsizetype& e) const
{
    s = find(w, m_bs);
    e = s >= 0 ? find(w, m_be, s + m_bs.size()) : find(w, m_be);
}

namespace {

// Every character as it stands: QString::fromUtf8 would drop a U+FEFF at the start of a line.
QString utf16(std::string_view utf8)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

} // namespace

LineCountResult referenceCountLines(std::string_view utf8Text, const CommentSyntax& syntax, bool countSymbolLines)
{
    ReferenceClassifier classifier(utf16(syntax.lineToken), utf16(syntax.blockStart), utf16(syntax.blockEnd),
                                   countSymbolLines);
    LineCountResult result;
    size_t pos = 0;
    while (pos < utf8Text.size()) {
        size_t end = utf8Text.find_first_of("\r\n", pos);
        std::string_view line = utf8Text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        std::optional<LineKind> kind = classifier.classify(utf16(line));
        if (!kind) {
            result.abandoned = true;
            return result;
        }
        ++result.counts.total;
        if (*kind == LineKind::Executable)
            ++result.counts.executable;
        else if (*kind == LineKind::Comment)
            ++result.counts.comment;
        if (end == std::string_view::npos)
            break;
        pos = end + 1;
        if (utf8Text[end] == '\r' && pos < utf8Text.size() && utf8Text[pos] == '\n')
            ++pos;
    }
    return result;
}

} // namespace tarvik::test
