// The classifier works on UTF-8 bytes with a fast path for plain lines and in-place removal.
// Here it is checked against the plain reading of the steps on UTF-16 text, with QString's own
// replace-all, over random lines made of the characters that matter.
#include "counting/LineClassifier.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

using namespace tarvik;

namespace {

class PlainClassifier {
public:
    PlainClassifier(QString lt, QString bs, QString be, bool symbols)
        : m_lt(std::move(lt)), m_bs(std::move(bs)), m_be(std::move(be)), m_symbols(symbols)
    {
    }

    char classify(const QString& line)
    {
        QString k = line;
        k.remove(u'\t').remove(u' ').remove(QChar(0x3000));
        if (!m_symbols) {
            for (QChar c : QStringLiteral("{};()/"))
                k.remove(c);
        }
        if (k.isEmpty())
            return 'B';
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
                return 'X';
        }
        p = find(w, m_lt);
        if (p >= 0)
            w.truncate(p);
        w.remove(u'\t').remove(u' ').remove(QChar(0x3000));
        return w.isEmpty() ? 'C' : 'E';
    }

private:
    static qsizetype find(const QString& w, const QString& token, qsizetype from = 0)
    {
        return token.isEmpty() ? -1 : w.indexOf(token, from);
    }
    void locate(const QString& w, qsizetype& s, qsizetype& e) const
    {
        s = find(w, m_bs);
        e = s >= 0 ? find(w, m_be, s + m_bs.size()) : find(w, m_be);
    }

    QString m_lt, m_bs, m_be;
    bool m_symbols;
    bool m_inside = false;
};

char kindLetter(std::optional<LineKind> k)
{
    return !k ? 'X' : *k == LineKind::Blank ? 'B' : *k == LineKind::Comment ? 'C' : 'E';
}

} // namespace

TEST(LineClassifierEquivalence, RandomLinesClassifyAsThePlainSteps)
{
    const QStringList alphabet{QStringLiteral("/"), QStringLiteral("*"), QStringLiteral("\""), QStringLiteral("'"),
                               QStringLiteral(" "), QStringLiteral("x"), QStringLiteral("}"), QStringLiteral("-"),
                               QStringLiteral("<"), QStringLiteral("!"), QStringLiteral(">"), QStringLiteral("#"),
                               QStringLiteral("\u3000"), QStringLiteral("あ"), QStringLiteral("\t")};
    struct Tokens {
        const char* lt;
        const char* bs;
        const char* be;
    };
    const Tokens syntaxes[] = {{"//", "/*", "*/"}, {"", "<!--", "-->"}, {"'", "", ""},    {"/", "/*", "*/"},
                               {"#", "<#", "#>"},  {"--", "--<", ">"},  {"あ", "*", "*"}, {"", "", ""}};
    QRandomGenerator rng(20261207);
    for (const Tokens& t : syntaxes) {
        const CommentSyntax syntax{t.lt, t.bs, t.be};
        for (bool symbols : {true, false}) {
            for (int file = 0; file < 400; ++file) {
                LineClassifier fast(syntax, symbols);
                PlainClassifier plain(QString::fromUtf8(t.lt), QString::fromUtf8(t.bs), QString::fromUtf8(t.be), symbols);
                for (int l = 0; l < 12; ++l) {
                    QString line;
                    const int length = static_cast<int>(rng.bounded(40));
                    for (int i = 0; i < length; ++i)
                        line += alphabet[rng.bounded(alphabet.size())];
                    const std::string utf8 = line.toStdString();
                    ASSERT_EQ(kindLetter(fast.classify(utf8)), plain.classify(line))
                        << "line '" << utf8 << "' tokens '" << t.lt << "' '" << t.bs << "' '" << t.be << "'";
                }
            }
        }
    }
}
