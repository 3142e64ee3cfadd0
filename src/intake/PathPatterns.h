#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Patterns in the manner of .gitignore, matched against paths relative to a walked folder
// ("src/gen/a.c", names as the file system's bytes):
// - a pattern without "/" (but a trailing one) matches a name at any depth; with one, the path
//   from the pattern's base, whose leading "/" is optional;
// - "*" and "?" match within one name, "[a-z]" a character of a class, "**" any number of
//   folders ("**/x", "a/**/b", "a/**");
// - a trailing "/" matches folders only; a leading "!" takes back what an earlier pattern
//   left out; blank lines and lines starting with "#" are ignored; "\" quotes the next character.
// The last pattern that matches decides.
class PathPatterns {
public:
    // `base` is the folder the pattern was written in, relative like the paths ("" or "a/b/").
    void add(std::string_view pattern, std::string_view base = {});
    void addLines(std::string_view text, std::string_view base = {});
    bool empty() const { return m_rules.empty(); }

    enum class Verdict { None, Excluded, Included };
    Verdict match(std::string_view relative, bool directory) const;
    bool excludes(std::string_view relative, bool directory) const { return match(relative, directory) == Verdict::Excluded; }

    // A pattern that can never match anything, for a clear refusal of a typing error.
    static bool valid(std::string_view pattern);

private:
    struct Rule {
        std::string base;
        size_t baseNames = 0; // names in `base`
        std::vector<std::string> segments; // the pattern split at "/"; "**" spans names
        bool negated = false;
        bool directoryOnly = false;
        bool anchored = false;
    };
    std::vector<Rule> m_rules;
};

// The text of a .gitignore or exclude file; empty when there is none, or it is not a regular
// file of at most 1 MiB.
std::string readRulesFile(const std::string& path);

// Folders of version control systems: never the user's source, never entered.
bool isVersionControlFolder(std::string_view name);

// Decides which entries of one walk are left out, by their path relative to the walked folder.
class WalkFilter {
public:
    virtual ~WalkFilter() = default;
    // Before the entries of a folder are judged: "" for the walked folder itself, else "a/b";
    // `full` is its path in the file system.
    virtual void entering(const std::string& relative, const std::string& full)
    {
        (void)relative;
        (void)full;
    }
    virtual bool excludes(std::string_view relative, bool directory) const = 0;
};

// What the user asked to leave out: patterns, and with `gitignore` the .gitignore files found
// in the walked folders (each applies to its own folder and below).
struct Exclusions {
    QStringList patterns;
    bool gitignore = false;
    bool any() const { return gitignore || !patterns.isEmpty(); }
};

// The filter of `exclusions` for a walk of an ordinary folder.
std::unique_ptr<WalkFilter> makePatternFilter(const Exclusions& exclusions);

} // namespace tarvik
