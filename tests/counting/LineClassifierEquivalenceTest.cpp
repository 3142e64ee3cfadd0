// The classifier works on UTF-8 bytes with a fast path for plain lines and in-place removal.
// Here it is checked against the plain reading of the steps (tests/support), over random lines
// made of the characters that matter.
#include "counting/LineClassifier.h"
#include "support/ReferenceClassifier.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

using namespace tarvik;

namespace {

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
                               QStringLiteral("\u3000"), QStringLiteral("あ"), QStringLiteral("\t"),
                               QStringLiteral("\uFEFF")};
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
                test::ReferenceClassifier plain(QString::fromUtf8(t.lt), QString::fromUtf8(t.bs),
                                                QString::fromUtf8(t.be), symbols);
                for (int l = 0; l < 12; ++l) {
                    QString line;
                    const int length = static_cast<int>(rng.bounded(40));
                    for (int i = 0; i < length; ++i)
                        line += alphabet[rng.bounded(alphabet.size())];
                    const std::string utf8 = line.toStdString();
                    ASSERT_EQ(kindLetter(fast.classify(utf8)), kindLetter(plain.classify(line)))
                        << "line '" << utf8 << "' tokens '" << t.lt << "' '" << t.bs << "' '" << t.be << "'";
                }
            }
        }
    }
}
