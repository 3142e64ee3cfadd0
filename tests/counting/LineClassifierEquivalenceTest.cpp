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

// The counter finds each line's end, its first solid byte and its interesting bytes in one scan
// of sixteen-byte blocks and hands them to the classifier: over random texts with every kind
// of line end, lines across block edges, past the scan's position limit and split into random
// pieces, the counts match the plain steps and the step texts match classifying line by line.
TEST(LineClassifierEquivalence, ScannedTextsCountAsThePlainSteps)
{
    const std::vector<std::string> alphabet{"/", "*", "\"", "'", " ", "x", ";", "(", "\t", "\u3000", "あ",
                                            "\n", "\r", "\r\n", "<!--", "-->", "#", "**********"};
    const CommentSyntax syntaxes[] = {{"//", "/*", "*/"}, {"", "<!--", "-->"}, {"#", "", ""}, {"*", "*", "*"}};
    QRandomGenerator rng(20261208);
    for (const CommentSyntax& syntax : syntaxes) {
        for (bool symbols : {true, false}) {
            for (int file = 0; file < 300; ++file) {
                std::string text;
                const int pieces = static_cast<int>(rng.bounded(60));
                for (int i = 0; i < pieces; ++i) {
                    // Runs of one piece make long lines, long blanks and many interesting bytes.
                    const std::string& piece = alphabet[rng.bounded(static_cast<quint32>(alphabet.size()))];
                    for (int r = rng.bounded(4) == 0 ? static_cast<int>(rng.bounded(40)) : 1; r > 0; --r)
                        text += piece;
                }
                const LineCountResult expected = test::referenceCountLines(text, syntax, symbols);

                LineCounter whole(syntax, symbols);
                std::vector<std::string> steps;
                whole.collectSteps(&steps);
                whole.feed(text);
                whole.finish();
                ASSERT_EQ(whole.counts(), expected.counts) << text;
                ASSERT_EQ(whole.abandoned(), expected.abandoned) << text;

                LineCounter split(syntax, symbols);
                for (size_t at = 0; at < text.size();) {
                    const size_t n = std::min(text.size() - at, static_cast<size_t>(rng.bounded(20)));
                    split.feed(std::string_view(text).substr(at, n));
                    at += n;
                }
                split.finish();
                ASSERT_EQ(split.counts(), expected.counts) << text;

                // Step texts as the classifier gives them for each line on its own.
                LineClassifier byLine(syntax, symbols);
                std::vector<std::string> lineSteps;
                for (size_t at = 0; at <= text.size();) {
                    size_t end = text.find_first_of("\r\n", at);
                    if (end == std::string::npos && at == text.size())
                        break;
                    end = end == std::string::npos ? text.size() : end;
                    std::string step;
                    const auto kind = byLine.classify(std::string_view(text).substr(at, end - at), &step);
                    if (!kind)
                        break;
                    if (*kind == LineKind::Executable)
                        lineSteps.push_back(step);
                    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
                }
                ASSERT_EQ(steps, lineSteps) << text;
            }
        }
    }
}
