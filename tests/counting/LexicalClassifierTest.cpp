// The rules beyond the three tokens (section Anryze_Rule), one table per rule, each with small
// real-world snippets; then what holds for all of them: docstrings held back and steps kept in
// order, text fed in pieces, long streamed lines, and engines without rules left to the classic steps.
#include "counting/LexicalClassifier.h"

#include "counting/BoundedLineCounter.h"
#include "counting/LineClassifier.h"
#include "counting/SourceFile.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace tarvik;

namespace {

// An engine's tokens and rules, the rules written as the settings file holds them.
CommentSyntax engine(CommentSyntax tokens, std::initializer_list<std::pair<const char*, const char*>> rules)
{
    for (const auto& [rule, text] : rules) {
        QString error;
        EXPECT_TRUE(tokens.rules.setRule(QString::fromUtf8(rule), QString::fromUtf8(text), &error))
            << rule << ": " << error.toStdString();
    }
    EXPECT_TRUE(tokens.extended());
    return tokens;
}

struct Recorder : ResolvedLineSink {
    std::string kinds;
    std::vector<std::string> steps;
    void resolved(LineKind kind, std::string_view step) override
    {
        kinds += kind == LineKind::Blank ? 'B' : kind == LineKind::Comment ? 'C' : 'E';
        if (kind == LineKind::Executable)
            steps.emplace_back(step);
    }
};

Recorder classify(const CommentSyntax& syntax, std::initializer_list<std::string_view> lines, bool symbols = true)
{
    LexicalClassifier classifier(syntax, symbols);
    Recorder out;
    for (std::string_view line : lines)
        classifier.classify(line, true, out);
    classifier.finish(out);
    EXPECT_EQ(classifier.heldLines(), 0u);
    return out;
}

// One letter per line: B blank, C comment, E executable.
std::string kinds(const CommentSyntax& syntax, std::initializer_list<std::string_view> lines, bool symbols = true)
{
    return classify(syntax, lines, symbols).kinds;
}

using Steps = std::vector<std::string>;

Steps steps(const CommentSyntax& syntax, std::initializer_list<std::string_view> lines)
{
    return classify(syntax, lines).steps;
}

// The counts and steps of a whole text through the counter every caller uses.
std::pair<FileCounts, Steps> countText(std::string_view text, const CommentSyntax& syntax, bool symbols = true)
{
    LineCounter counter(syntax, symbols);
    Steps collected;
    counter.collectSteps(&collected);
    counter.feed(text);
    counter.finish();
    EXPECT_FALSE(counter.abandoned());
    return {counter.counts(), collected};
}

const CommentSyntax kC{"//", "/*", "*/"};
const CommentSyntax kHash{"#", "", ""};

CommentSyntax python()
{
    return engine(kHash, {{"Multiline", "\"\"\",'''"}, {"Docstring", "1"}});
}

} // namespace

// ‹engine›.Line: PHP also takes "#" as a line comment.
TEST(LexicalRules, MoreLineTokens)
{
    const CommentSyntax php = engine(kC, {{"Line", "#"}});
    EXPECT_EQ(kinds(php, {"# a shell-style comment", "   # indented", "// the usual one"}), "CCC");
    EXPECT_EQ(kinds(php, {"$x = 1; # note", "echo \"# not a comment\";", "$a = '#'; // c"}), "EEE");
    EXPECT_EQ(steps(php, {"$x = 1; # note", "echo \"# not a comment\";", "$a = '#'; // c"}),
              (Steps{"$x=1;", "echoA;", "$a=A;"}));
    // Several tokens, comma-separated; the base token still counts.
    const CommentSyntax cmd = engine(CommentSyntax{"", "", ""}, {{"Line", "#, ;"}});
    EXPECT_EQ(kinds(cmd, {"; ini style", "# shell style", "key=value ; trailing"}), "CCE");
}

// ‹engine›.LineStart: tokens that are a comment only as the first text of a line.
TEST(LexicalRules, LineStartTokens)
{
    const CommentSyntax vim = engine(CommentSyntax{"", "", ""}, {{"LineStart", "\""}});
    EXPECT_EQ(kinds(vim, {"\" a comment", "  \" indented comment", "echo \"x\"", "let s = \"a\" \" not at line start"}),
              "CCEE");
    EXPECT_EQ(steps(vim, {"echo \"x\""}), (Steps{"echoA"}));

    const CommentSyntax batch = engine(CommentSyntax{"", "", ""}, {{"LineStart", "REM,rem,::"}});
    EXPECT_EQ(kinds(batch, {"REM a remark", "rem lower case", "@echo off", ":: a label used as comment", "REM"}),
              "CCECC");
    // A word token needs a word's end after it; elsewhere on the line it is text.
    EXPECT_EQ(kinds(batch, {"REMOVE_TEMP=1", "REM.", "echo REM is not a comment here", "set x=1 :: neither"}),
              "ECEE");
    // A line that begins inside a block comment has no line start.
    const CommentSyntax both = engine(kC, {{"LineStart", "REM"}});
    EXPECT_EQ(kinds(both, {"/* open", "REM */ x = 1;"}), "CE");
}

// ‹engine›.Block: more block comments, each closed only by its own end.
TEST(LexicalRules, MoreBlockPairs)
{
    const CommentSyntax pascal = engine(CommentSyntax{"//", "{", "}"}, {{"Block", "(* *)"}});
    EXPECT_EQ(kinds(pascal, {"(* old style *)", "x := 1; (* note *)", "(* spans", "   lines *)", "{ brace", "comment }"}),
              "CECCCC");
    EXPECT_EQ(kinds(pascal, {"(* a { inside *) x := 2;", "y := 3;"}), "EE");
    EXPECT_EQ(kinds(pascal, {"{ a (* inside }", "y := 3;"}), "CE");
    EXPECT_EQ(kinds(pascal, {"writeln('(* not a comment *)');", "z := 4;"}), "EE");

    // Lua: "--[==[" is longer than "--[[" and "--", and only "]==]" ends it.
    const CommentSyntax lua = engine(CommentSyntax{"--", "--[[", "]]"}, {{"Block", "--[==[ ]==], --[=[ ]=]"}});
    EXPECT_EQ(kinds(lua, {"--[==[", "t[a[1]] still comment", "]==] x = 1"}), "CCE");
    EXPECT_EQ(kinds(lua, {"--[[ short ]] y = 2", "-- line", "--[=[ one ]=]", "z = 3"}), "ECCE");
    EXPECT_EQ(steps(lua, {"--[==[ c ]==] x = 1 -- note"}), (Steps{"x=1"}));
}

// ‹engine›.Nest: a block comment nests within its own pair (Rust, Swift, Haskell, Scala).
TEST(LexicalRules, NestedBlockComments)
{
    const CommentSyntax rust = engine(kC, {{"Nest", "1"}});
    const CommentSyntax flat = engine(kC, {{"Escape", "\\"}}); // extended, not nested
    EXPECT_EQ(kinds(rust, {"/* outer /* inner */ still outer */ let x = 1;"}), "E");
    EXPECT_EQ(kinds(rust, {"/* a /* b */", "still comment */", "fn main() {}"}), "CCE");
    EXPECT_EQ(kinds(flat, {"/* a /* b */", "still comment */", "fn main() {}"}), "CEE");
    EXPECT_EQ(kinds(rust, {"/* 1 /* 2 /* 3", "*/ */", "*/ let y = 2;"}), "CCE");
    // Another pair's tokens do not nest.
    const CommentSyntax haskell = engine(CommentSyntax{"--", "{-", "-}"}, {{"Nest", "1"}, {"Block", "/* */"}});
    EXPECT_EQ(kinds(haskell, {"{- a /* -}", "x = 1"}), "CE");
}

// ‹engine›.Escape: the character that takes the next one out of a string's end.
TEST(LexicalRules, EscapeCharacter)
{
    const CommentSyntax c = engine(kC, {{"Escape", "\\"}});
    EXPECT_EQ(kinds(c, {"s = \"a\\\"b /*\";", "x = 1; /* real */", "int y;"}), "EEE");
    EXPECT_EQ(steps(c, {"s = \"a\\\"b /*\";"}), (Steps{"s=A;"}));
    // Without it the string ends at the second quote and a comment opens.
    EXPECT_EQ(kinds(kC, {"s = \"a\\\"b /*\";", "x = 1;", "int y; */"}), "ECC");
    EXPECT_EQ(kinds(c, {"c = '\\'';  // quote", "d = '\\\\'; // backslash", "e = \"\\\\\" /* c */"}), "EEE");
    EXPECT_EQ(steps(c, {"e = \"\\\\\" /* c */ + 1"}), (Steps{"e=A+1"}));
    // A doubled quote ends the string and begins the next one: SQL and VB strings come out whole.
    const CommentSyntax sql = engine(CommentSyntax{"--", "/*", "*/"}, {{"Escape", "'"}});
    EXPECT_EQ(steps(sql, {"select 'it''s -- fine' -- real"}), (Steps{"selectAA"}));
}

// ‹engine›.Multiline: strings that span lines (a JS template literal, Python's triple quotes).
TEST(LexicalRules, MultiLineStrings)
{
    const CommentSyntax js = engine(kC, {{"Multiline", "`"}, {"Escape", "\\"}});
    EXPECT_EQ(kinds(js, {"const s = `a /* not a comment", "still the string */ ${x}", "`; // done", "y = 1;"}), "EEEE");
    EXPECT_EQ(steps(js, {"const s = `a /* not a comment", "still the string */", "`; // done", "y = 1;"}),
              (Steps{"consts=A", "A", "A;", "y=1;"}));
    // Blank lines inside a string stay blank; an escaped delimiter does not end it.
    EXPECT_EQ(kinds(js, {"t = `", "", "  \t", "\\` // still text", "`;"}), "EBBEE");

    const CommentSyntax py = engine(kHash, {{"Multiline", "\"\"\",'''"}});
    EXPECT_EQ(kinds(py, {"x = \"\"\"", "# not a comment", "\"\"\"", "# a comment"}), "EEEC");
    // Asymmetric delimiters: Lua's long strings.
    const CommentSyntax lua = engine(CommentSyntax{"--", "--[[", "]]"}, {{"Multiline", "[[ ]]"}});
    EXPECT_EQ(kinds(lua, {"s = [[", "-- text", "]] -- comment"}), "EEE");
}

// ‹engine›.Docstring: a string standing as a statement of its own is a comment.
TEST(LexicalRules, PythonDocstrings)
{
    const CommentSyntax py = python();
    // Module, class and function docstrings; a blank line inside stays blank.
    EXPECT_EQ(kinds(py, {"\"\"\"Module docstring.", "", "More text.", "\"\"\"", "import os"}), "CBCCE");
    EXPECT_EQ(kinds(py, {"class A:", "    \"\"\"Class doc.\"\"\"", "    def f(self):", "        \"\"\"Function doc.", "",
                         "        Args: x", "        \"\"\"", "        return 1"}),
              "ECECBCCE");
    // A docstring on lines of its own in the middle of a function.
    EXPECT_EQ(kinds(py, {"def g():", "    x = 1", "    \"\"\"", "    a note in the middle", "    \"\"\"", "    return x"}),
              "EECCCE");
    // One line, the ''' form, a comment after it, adjacent strings.
    EXPECT_EQ(kinds(py, {"\"\"\"Return x.\"\"\"", "'''single'''", "'''a", "b''' # trailing comment", "\"a\" 'b'"}),
              "CCCCC");
    // Strings that are part of a statement stay code.
    EXPECT_EQ(kinds(py, {"x = \"\"\"a", "b\"\"\""}), "EE");
    EXPECT_EQ(kinds(py, {"f(\"\"\"a", "b\"\"\")"}), "EE");
    EXPECT_EQ(kinds(py, {"\"\"\"a", "b\"\"\".format(1)"}), "EE");
    EXPECT_EQ(kinds(py, {"\"%s\" % x", "'''a''' + b", "\"\"\"a\"\"\"; x = 1"}), "EEE");
    // Inside brackets or after a continuation a string does not begin a statement.
    EXPECT_EQ(kinds(py, {"foo(", "    \"\"\"not a docstring\"\"\"", ")"}), "EEE");
    EXPECT_EQ(kinds(py, {"foo(", "    \"\"\"not a docstring\"\"\"", ")"}, false), "EEB");
    EXPECT_EQ(kinds(py, {"d = {", "    'a': 1,", "}", "'''doc'''"}, false), "EEBC");
    EXPECT_EQ(kinds(py, {"x = 1 + \\", "    \"\"\"s\"\"\"", "'''doc'''"}), "EEC");
    // Brackets in strings and comments do not count.
    EXPECT_EQ(kinds(py, {"s = '('  # (", "'''doc'''"}), "EC");
    // A candidate still open at the end of the text is a docstring.
    EXPECT_EQ(kinds(py, {"x = 1", "\"\"\"never closed", "y = 2"}), "ECC");
}

TEST(LexicalRules, StepsStayInOrderAcrossHeldLines)
{
    const CommentSyntax py = python();
    const Recorder r = classify(py, {"a = 1", "\"\"\"doc", "", "more\"\"\"", "b = 2", "\"\"\"c", "", "d\"\"\" + e", "f = 3"});
    EXPECT_EQ(r.kinds, "ECBCEEBEE");
    EXPECT_EQ(r.steps, (Steps{"a=1", "b=2", "A", "A+e", "f=3"}));

    const auto [counts, collected] = countText("a = 1\n\"\"\"doc\n\nmore\"\"\"\nb = 2\n\"\"\"c\n\nd\"\"\" + e\nf = 3\n", py);
    EXPECT_EQ(counts, (FileCounts{5, 2, 9}));
    EXPECT_EQ(collected, r.steps);
    // Without steps the held lines are only counted: the same figures.
    EXPECT_EQ(CountFileLines("a = 1\n\"\"\"doc\n\nmore\"\"\"\nb = 2\n\"\"\"c\n\nd\"\"\" + e\nf = 3", py, true).counts,
              counts);
}

TEST(LexicalRules, LongestTokenWinsAndBlockBeforeLine)
{
    // "--[[" against "--": the longer one.
    const CommentSyntax lua = engine(CommentSyntax{"--", "--[[", "]]"}, {{"Nest", "0"}, {"Escape", "\\"}});
    EXPECT_EQ(kinds(lua, {"--[[ opens", "]] x = 1"}), "CE");
    // Tokens of equal length: the block comment first.
    const CommentSyntax same = engine(CommentSyntax{"#", "#", "!"}, {{"Escape", "\\"}});
    EXPECT_EQ(kinds(same, {"x # opens", "closes ! y"}), "EE");
    // A comment token beats a quote of the same length (VB's ').
    const CommentSyntax vb = engine(CommentSyntax{"'", "", ""}, {{"Escape", "\\"}});
    EXPECT_EQ(kinds(vb, {"' it's a comment", "x = 1 ' and 'this' too"}), "CE");
    EXPECT_EQ(steps(vb, {"x = 1 ' and 'this' too"}), (Steps{"x=1"}));
}

TEST(LexicalRules, BlankTestComesFirstAsInTheClassicSteps)
{
    const CommentSyntax c = engine(kC, {{"Escape", "\\"}});
    EXPECT_EQ(kinds(c, {"}", "//", "};", " \t\xE3\x80\x80 ", "} // end"}, true), "ECEBE");
    EXPECT_EQ(kinds(c, {"}", "//", "};", " \t\xE3\x80\x80 ", "} // end"}, false), "BBBBE");
    // A blank line inside a comment stays blank, and the comment stays open.
    EXPECT_EQ(kinds(c, {"/* open", " \t\xE3\x80\x80", "still */ x;"}), "CBE");
    // Ideographic spaces are whitespace outside comments too.
    EXPECT_EQ(kinds(c, {"\xE3\x80\x80/* c */\xE3\x80\x80"}), "C");
}

TEST(LexicalRules, PiecesCrLfAndStreamingGiveTheSameCounts)
{
    const CommentSyntax py = python();
    std::string text;
    const char* unit = "def f(x):\r\n    \"\"\"Doc\r\n\r\n    more\"\"\"\r\n    return (x +\r\n        1)  # c\r\n"
                       "s = '''a\rb''' + 'x'\n\"\"\"tail\"\"\"\r\n";
    for (int i = 0; i < 50; ++i)
        text += unit;
    text += "\"\"\"open at the end";
    const auto whole = countText(text, py);
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        LineCounter counter(py, true);
        Steps collected;
        counter.collectSteps(&collected);
        for (size_t at = 0; at < text.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 17, text.size() - at);
            counter.feed(std::string_view(text).substr(at, n));
            at += n;
        }
        counter.finish();
        EXPECT_EQ(counter.counts(), whole.first);
        EXPECT_EQ(collected, whole.second);
    }
    // Streamed with long lines shortened: the same figures.
    const std::string longLines = "x = '" + std::string(5000, 'y') + "' # " + std::string(5000, 'z') + "\n\"\"\""
                                  + std::string(3000, 'q') + "\n" + std::string(3000, 'r') + "\"\"\"\n" + text;
    for (size_t shortenAbove : {size_t{8}, size_t{100}}) {
        BoundedLineCounter bounded(py, true, shortenAbove);
        for (size_t at = 0; at < longLines.size(); at += 97)
            bounded.feed(std::string_view(longLines).substr(at, 97));
        bounded.finish();
        EXPECT_FALSE(bounded.needsExactCount());
        EXPECT_GT(bounded.shortenedLines(), 0u);
        EXPECT_EQ(bounded.counts(), CountFileLines(longLines, py, true).counts);
    }
    const SourceFileCount bytes = countSourceBytes(text, py, true);
    EXPECT_EQ(bytes.counts, whole.first);
}

// Deep nesting, many escapes and many held lines go by in time linear in the text.
TEST(LexicalRules, PathologicalLinesStayLinear)
{
    const CommentSyntax rust = engine(kC, {{"Nest", "1"}, {"Escape", "\\"}, {"Multiline", "`"}});
    std::string deep(2'000'000, ' ');
    for (size_t i = 0; i + 2 <= deep.size(); i += 4)
        deep.replace(i, 2, "/*");
    EXPECT_EQ(CountFileLines(deep + "\nx\n", rust, true).counts, (FileCounts{0, 2, 2}));
    const std::string escapes = "\"" + std::string(2'000'001, '\\') + "\" /* c */";
    EXPECT_EQ(CountFileLines(escapes + "\nx;\n", rust, true).counts, (FileCounts{2, 0, 2}));
    std::string held = "\"\"\"\n";
    for (int i = 0; i < 200000; ++i)
        held += "line\n\n";
    held += "\"\"\" + x\n";
    const auto [counts, collected] = countText(held, python());
    EXPECT_EQ(counts, (FileCounts{200002, 0, 400002}));
    EXPECT_EQ(collected.back(), "A+x");
}

// An engine without rules is counted by the classic steps, figures and steps as before.
TEST(LexicalRules, EngineWithoutRulesTakesTheClassicPath)
{
    const std::vector<std::string> tricky{
        "'a \"b' /* c \"\nx = 1;\n",                   // quote masking keeps the comment from opening
        "s = \"a\\\"b /*\";\nx = 1;\nint y; */ z;\n",  // no escape: a comment opens in the string's tail
        "x = 1; /* a */ y /* b */ z;\n/* c\n*/\n",
        "\"\"\"doc\"\"\"\nv = 'it''s' // c\n",
        "/* a /* b */ c */ d;\n}\n\xE3\x80\x80\n",
    };
    for (const CommentSyntax& syntax : {kC, CommentSyntax{"#", "", ""}, CommentSyntax{"'", "/*", "*/"}}) {
        ASSERT_FALSE(syntax.extended());
        for (bool symbols : {true, false}) {
            for (const std::string& text : tricky) {
                // The classic classifier line by line, as LineCounter used it before the rules came.
                LineClassifier classic(syntax, symbols);
                FileCounts counts;
                Steps expected;
                size_t start = 0;
                for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
                    std::string step;
                    const std::optional<LineKind> k = classic.classify(std::string_view(text).substr(start, end - start), &step);
                    ASSERT_TRUE(k);
                    ++counts.total;
                    if (*k == LineKind::Executable) {
                        ++counts.executable;
                        expected.push_back(step);
                    } else if (*k == LineKind::Comment) {
                        ++counts.comment;
                    }
                }
                const auto [got, collected] = countText(text, syntax, symbols);
                EXPECT_EQ(got, counts) << text;
                EXPECT_EQ(collected, expected) << text;
            }
        }
    }
    // The lexical classifier would tell the first text otherwise: the old path was taken.
    LexicalClassifier lexical(kC, true);
    Recorder out;
    lexical.classify("'a \"b' /* c \"", true, out);
    lexical.classify("x = 1;", true, out);
    EXPECT_EQ(out.kinds, "EC");
    EXPECT_EQ(countText("'a \"b' /* c \"\nx = 1;\n", kC).first, (FileCounts{2, 0, 2}));
}

// Random text of the bytes that matter, under several sets of rules: fed whole, in pieces, or
// streamed with long stretches shortened, it counts the same, with the same steps.
TEST(LexicalRules, RandomTextCountsTheSameHoweverItIsFed)
{
    const std::vector<std::string> alphabet{"//", "/*", "*/", "\"", "'", "\\", "\"\"\"", "'''", "`", "(", ")", "[",
                                            "]", "{", "}", "#", "REM", "--[[", "]]", "(*", "*)", " ", "\t",
                                            "\xE3\x80\x80", "x", "yy", "A", "\xE6\x97\xA5", "\n", "\r\n", "\r"};
    const CommentSyntax syntaxes[] = {
        python(),
        engine(kC, {{"Escape", "\\"}, {"Nest", "1"}, {"Multiline", "`"}}),
        engine(CommentSyntax{"--", "--[[", "]]"}, {{"Block", "(* *)"}, {"LineStart", "REM,#"}, {"Multiline", "[[ ]]"}}),
        engine(kHash, {{"Line", "//"}, {"Escape", "'"}, {"Docstring", "1"}}),
    };
    std::mt19937 rng(20261207);
    size_t shortened = 0;
    for (const CommentSyntax& syntax : syntaxes) {
        for (int round = 0; round < 600; ++round) {
            std::string text;
            const size_t parts = rng() % (round % 10 == 0 ? 400 : 60); // now and then lines of many stops
            for (size_t p = 0; p < parts; ++p) {
                const std::string& piece = alphabet[rng() % alphabet.size()];
                // Now and then a long stretch, for the streamed count to shorten.
                text += rng() % 40 == 0 ? std::string(50 + rng() % 50, piece == "x" ? 'x' : 'q') : piece;
            }
            const bool symbols = rng() % 2;
            const auto whole = countText(text, syntax, symbols);
            int64_t lines = 0;
            for (size_t i = 0; i < text.size(); ++i)
                lines += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
            const bool unterminated = !text.empty() && text.back() != '\n' && text.back() != '\r';
            ASSERT_EQ(whole.first.total, lines + (unterminated ? 1 : 0)) << text;

            LineCounter pieces(syntax, symbols);
            Steps collected;
            pieces.collectSteps(&collected);
            for (size_t at = 0; at < text.size();) {
                const size_t n = std::min<size_t>(1 + rng() % 9, text.size() - at);
                pieces.feed(std::string_view(text).substr(at, n));
                at += n;
            }
            pieces.finish();
            ASSERT_EQ(pieces.counts(), whole.first) << text;
            ASSERT_EQ(collected, whole.second) << text;

            BoundedLineCounter bounded(syntax, symbols, 1 + rng() % 12);
            for (size_t at = 0; at < text.size();) {
                const size_t n = std::min<size_t>(1 + rng() % 30, text.size() - at);
                bounded.feed(std::string_view(text).substr(at, n));
                at += n;
            }
            bounded.finish();
            ASSERT_FALSE(bounded.needsExactCount());
            ASSERT_EQ(bounded.counts(), whole.first) << text;
            shortened += bounded.shortenedLines();
        }
    }
    EXPECT_GT(shortened, 100u);
}
