#include "counting/LineClassifier.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using namespace tarvik;

namespace {

const CommentSyntax kC{"//", "/*", "*/"};

// One letter per line: B blank, C comment, E executable, X abandoned.
std::string kinds(std::initializer_list<std::string_view> lines, const CommentSyntax& syntax = kC,
                  bool symbolLines = true)
{
    LineClassifier classifier(syntax, symbolLines);
    std::string out;
    for (std::string_view line : lines) {
        std::optional<LineKind> k = classifier.classify(line);
        out += !k ? 'X' : *k == LineKind::Blank ? 'B' : *k == LineKind::Comment ? 'C' : 'E';
    }
    return out;
}

FileCounts count(std::string_view text, const CommentSyntax& syntax = kC, bool symbolLines = true)
{
    LineCountResult r = CountFileLines(text, syntax, symbolLines);
    EXPECT_FALSE(r.abandoned);
    return r.counts;
}

const char* kWorkedExample = "// header\r\n"
                             "\r\n"
                             "int main() {\r\n"
                             "  /* start\r\n"
                             "     still comment */ return 0;\r\n"
                             "}\r\n";

} // namespace

TEST(LineClassifier, WorkedExampleWithSymbolLinesOn)
{
    EXPECT_EQ(count(kWorkedExample), (FileCounts{3, 2, 6}));
}

TEST(LineClassifier, WorkedExampleWithSymbolLinesOff)
{
    EXPECT_EQ(count(kWorkedExample, kC, false), (FileCounts{2, 2, 6}));
}

TEST(LineClassifier, BlankLinesAreWhitespaceOnlyAndLeaveTheBlockStateAlone)
{
    EXPECT_EQ(count(""), (FileCounts{0, 0, 0}));
    EXPECT_EQ(kinds({" \t\xE3\x80\x80 "}), "B");
    // Inside a block comment a blank line stays Blank and the comment stays open.
    EXPECT_EQ(kinds({"/* open", " \t\xE3\x80\x80", "still */ x;"}), "CBE");
}

TEST(LineClassifier, SymbolOnlyLinesDependOnTheOption)
{
    EXPECT_EQ(kinds({"}", "//", "};"}, kC, true), "ECE");
    EXPECT_EQ(kinds({"}", "//", "};"}, kC, false), "BBB");
    // The comment's letters survive the blank test; the brace survives the cut.
    EXPECT_EQ(kinds({"} // end"}, kC, false), "E");
}

TEST(LineClassifier, LineCommentsCutTheRestOfTheLine)
{
    EXPECT_EQ(kinds({"x = 1; // note", "   // only a comment"}), "EC");
}

TEST(LineClassifier, BlockCommentsAcrossLines)
{
    EXPECT_EQ(kinds({"/* start", "middle", "end */ x = 1;", "y;"}), "CCEE");
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("x = 1; /* start"), LineKind::Executable);
    EXPECT_TRUE(c.insideBlockComment());
    EXPECT_EQ(c.classify("end */"), LineKind::Comment);
    EXPECT_FALSE(c.insideBlockComment());
}

TEST(LineClassifier, CommentsWithinOneLine)
{
    EXPECT_EQ(kinds({"x = 1; /* note */ y = 2;"}), "E");
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("/* a */ /* b"), LineKind::Comment);
    EXPECT_TRUE(c.insideBlockComment());
}

TEST(LineClassifier, QuotedTextHidesCommentTokens)
{
    EXPECT_EQ(kinds({"print(\"// not a comment\");"}), "E");
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("s = \"/* not a comment\";"), LineKind::Executable);
    EXPECT_FALSE(c.insideBlockComment());
    // A lone string still leaves code behind.
    EXPECT_EQ(kinds({"\"just a string\""}), "E");
}

TEST(LineClassifier, BlockStartAfterLineTokenOpensNothing)
{
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("x = 1; // see /* here"), LineKind::Executable);
    EXPECT_FALSE(c.insideBlockComment());
    EXPECT_EQ(c.classify("next;"), LineKind::Executable);
}

TEST(LineClassifier, StrayBlockEndStaysInTheLine)
{
    EXPECT_EQ(kinds({"*/"}), "E");
    EXPECT_EQ(kinds({"*/ // x"}), "E");
}

TEST(LineClassifier, BlockStartWinsOverLineTokenAtTheSamePosition)
{
    const CommentSyntax slash{"/", "/*", "*/"};
    LineClassifier c(slash, true);
    EXPECT_EQ(c.classify("/* comment"), LineKind::Comment);
    EXPECT_TRUE(c.insideBlockComment());
}

TEST(LineClassifier, DoubleQuotesArePairedBeforeSingleQuotes)
{
    // '"' pairs its double quote with the next one, masking the comment token between them.
    EXPECT_EQ(kinds({"c = '\"'; // \" x"}), "E");
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("c = '\"'; /* \" */"), LineKind::Executable);
    EXPECT_FALSE(c.insideBlockComment()); // "/*" went with the masked span; "*/" is a stray end
}

TEST(LineClassifier, ApostropheInASingleQuoteCommentMakesItCode)
{
    const CommentSyntax vb{"'", "", ""};
    EXPECT_EQ(kinds({"' a comment", "' it's a comment with 'quotes"}, vb), "CE");
}

TEST(LineClassifier, MaskingReplacesEveryOccurrenceOfTheQuotedText)
{
    // The first pair is "a"; its other occurrence is replaced too, so the quote after "b"
    // pairs with nothing and "//" is a real comment afterwards.
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("\"a\" \"b\"a\" //"), LineKind::Executable);
    // Same text, but the comment is all that remains of the second line.
    EXPECT_EQ(kinds({"//\"a\""}), "C");
}

TEST(LineClassifier, RemovalTakesEveryOccurrence)
{
    // Case A removes "/*x*/" everywhere in the line at once.
    EXPECT_EQ(kinds({"/*x*/ /*x*/"}), "C");
    // A line token before the block start removes every block-start token of the line.
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("// a /* b /* c"), LineKind::Comment);
    EXPECT_FALSE(c.insideBlockComment());
}

TEST(LineClassifier, RemovingACommentCanJoinItsNeighboursIntoANewToken)
{
    // "<!" and "--" meet once "<!--c-->" goes: the first line opens a comment.
    const CommentSyntax html{"", "<!--", "-->"};
    EXPECT_EQ(count("<!<!--c-->--\nstill inside\n-->x\n", html), (FileCounts{1, 2, 3}));
    EXPECT_EQ(kinds({"<!<!--c-->--", "still inside", "-->x"}, html), "CCE");
}

TEST(LineClassifier, CasesAreTriedInTableOrderOnEveryPass)
{
    // Inside a comment, "end */ /* b" first cuts at the new start (case B), then the old
    // end token closes the comment (case C): the line ends outside.
    LineClassifier c(kC, true);
    EXPECT_EQ(c.classify("/* open"), LineKind::Comment);
    EXPECT_EQ(c.classify("end */ /* b"), LineKind::Comment);
    EXPECT_FALSE(c.insideBlockComment());
}

TEST(LineClassifier, LinesEndAtCrLfLoneCrAndLoneLf)
{
    EXPECT_EQ(count("a;\nb;\rc;\r\nd;"), (FileCounts{4, 0, 4}));
    EXPECT_EQ(count("a;\n\n"), (FileCounts{1, 0, 2}));
    EXPECT_EQ(count("a;\r\n"), (FileCounts{1, 0, 1}));
}

TEST(LineClassifier, TextArrivingInPiecesCountsLikeTheWhole)
{
    const std::string text = "x;\r\n/* a\r\n b */ y;\r\n\r\n// c\rz;\nlast";
    const FileCounts whole = count(text);
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        LineCounter counter(kC, true);
        counter.feed(std::string_view(text).substr(0, cut));
        counter.feed(std::string_view(text).substr(cut));
        counter.finish();
        EXPECT_EQ(counter.counts(), whole) << "cut at " << cut;
    }
}

TEST(LineClassifier, BlockFileStateDoesNotCarryIntoTheNextFile)
{
    EXPECT_EQ(count("/* never closed\nstill\n"), (FileCounts{0, 2, 2}));
    EXPECT_EQ(count("x;\n"), (FileCounts{1, 0, 1}));
}

TEST(LineClassifier, VeryLongLinesClassifyNormally)
{
    std::string line(100000, 'x');
    line += " /* c */ ";
    line.append(50000, 'y');
    line += " // tail";
    EXPECT_EQ(count(line), (FileCounts{1, 0, 1}));
    std::string comment = "//" + std::string(100000, 'z');
    EXPECT_EQ(count(comment), (FileCounts{0, 1, 1}));
}

TEST(LineClassifier, MultiCharacterBlockTokensUseTheirRealLength)
{
    const CommentSyntax markup{"", "<!--", "-->"};
    // "<!-->" must not count as an opened-and-closed comment: the end is searched behind "<!--".
    LineClassifier c(markup, true);
    EXPECT_EQ(c.classify("<!--> still comment"), LineKind::Comment);
    EXPECT_TRUE(c.insideBlockComment());
    EXPECT_EQ(c.classify("end -->"), LineKind::Comment);
    EXPECT_EQ(kinds({"<p>x</p> <!-- note -->", "<!-- whole -->"}, markup), "EC");
}

TEST(LineClassifier, OneCharacterBlockTokensLeaveNoCommentBehind)
{
    const CommentSyntax pascal{"//", "{", "}"};
    EXPECT_EQ(kinds({"{ comment }", "x := 1; { c }", "{ open", "close }"}, pascal), "CECC");
}

TEST(LineClassifier, DisabledTokensNeverMatch)
{
    const CommentSyntax none{"", "", ""};
    EXPECT_EQ(kinds({"// x", "/* y */", std::string_view("a\0b", 3)}, none), "EEE");
    // A NUL byte in the text is ordinary text, never a disabled token.
    EXPECT_EQ(kinds({std::string_view("\0", 1)}), "E");
}

TEST(LineClassifier, PassLimitAbandonsTheFile)
{
    // Every comment differs, so each pass removes one: 20001 of them need more than the limit.
    auto line = [](int comments) {
        std::string s;
        for (int i = 0; i < comments; ++i)
            s += "/*" + std::to_string(i) + "*/";
        return s;
    };
    LineCountResult r = CountFileLines("x;\n" + line(20001) + "\ny;\n", kC, true);
    EXPECT_TRUE(r.abandoned);
    EXPECT_EQ(r.counts, (FileCounts{1, 0, 1})); // the abandoned line and those after are not read

    LineCountResult ok = CountFileLines(line(20000), kC, true);
    EXPECT_FALSE(ok.abandoned);
    EXPECT_EQ(ok.counts, (FileCounts{0, 1, 1}));
}
