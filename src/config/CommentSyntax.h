#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace tarvik {

class IniDocument;

// A pair of tokens that open and close something spanning lines: a block comment, or a string.
struct TokenPair {
    std::string open;
    std::string close;

    bool operator==(const TokenPair&) const = default;
};

// The richer comment rules an engine may have besides its three tokens, from section
// Anryze_Rule (keys "‹engine›.‹rule›"). All unset is an engine that counts exactly as before.
struct CommentRules {
    std::vector<std::string> lineTokens;      // ‹engine›.Line: more line-comment tokens
    std::vector<std::string> lineStartTokens; // ‹engine›.LineStart: line comments only as a line's first text
    std::vector<TokenPair> blockPairs;        // ‹engine›.Block: more block comments, "start end"
    bool nested = false;                      // ‹engine›.Nest=1: a block comment nests within its own pair
    std::string escape;                       // ‹engine›.Escape: the character that escapes the next in strings
    std::vector<TokenPair> multiline;         // ‹engine›.Multiline: strings that may span lines, "open [close]"
    bool docstrings = false;                  // ‹engine›.Docstring=1: a string standing as a statement is comment

    bool operator==(const CommentRules&) const = default;
    bool any() const;

    // The section and the rule names, in the order the values are written.
    static const QString& section();
    static const QStringList& ruleNames();
    static QString key(const QString& engine, const QString& rule) { return engine + u'.' + rule; }

    // One rule from its stored text; false (rules unchanged) when the text is malformed, with the
    // reason in `error`. The text of a list is comma-separated, blanks around an entry ignored.
    bool setRule(const QString& rule, const QString& text, QString* error = nullptr);
    // The stored text of one rule; empty when the rule is unset.
    QString ruleText(const QString& rule) const;

    // Every rule of an engine as the settings file holds it; a malformed value is left unset.
    static CommentRules fromDocument(const IniDocument& doc, const QString& engine);
    // Writes the engine's rules: a set rule gets its key, an unset one loses it (a section left
    // without keys goes too); a key whose value already reads as the rule is kept as written.
    // True when the document changed.
    bool writeTo(IniDocument& doc, const QString& engine) const;
};

// The comment tokens of an analysis engine, as UTF-8. An empty token is disabled and never
// matches. `rules` holds the richer rules, all unset for an engine that has none.
struct CommentSyntax {
    std::string lineToken;
    std::string blockStart;
    std::string blockEnd;
    CommentRules rules{};

    // From a stored engine definition "line,blockStart,blockEnd"; missing fields are disabled.
    static CommentSyntax fromDefinition(const QString& definition);
    // An engine's definition from Anryze_Pat together with its rules from Anryze_Rule.
    static CommentSyntax forEngine(const IniDocument& doc, const QString& engine);

    // Whether any rule beyond the three tokens is set: such an engine is counted by the
    // lexical classifier, any other one by the classic steps.
    bool extended() const { return rules.any(); }

    bool operator==(const CommentSyntax&) const = default;
};

} // namespace tarvik
