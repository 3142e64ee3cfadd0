#include "config/CommentSyntax.h"

#include "config/IniDocument.h"
#include "config/SettingsStore.h"

#include <QStringList>

#include <optional>

namespace tarvik {

namespace {

const QString kLine = QStringLiteral("Line");
const QString kLineStart = QStringLiteral("LineStart");
const QString kBlock = QStringLiteral("Block");
const QString kNest = QStringLiteral("Nest");
const QString kEscape = QStringLiteral("Escape");
const QString kMultiline = QStringLiteral("Multiline");
const QString kDocstring = QStringLiteral("Docstring");

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == QChar(0x3000); }

QString trimmedBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The comma-separated entries of a list, blanks around each removed, empty ones dropped.
QStringList entries(const QString& text)
{
    QStringList out;
    for (const QString& entry : text.split(u',')) {
        const QString t = trimmedBlanks(entry);
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

// The blank-separated words of one entry.
QStringList words(const QString& entry)
{
    QStringList out;
    QString word;
    for (QChar c : entry) {
        if (isBlank(c)) {
            if (!word.isEmpty())
                out << word;
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        out << word;
    return out;
}

bool refuse(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

bool parsePairs(const QString& text, bool closeOptional, std::vector<TokenPair>& pairs, QString* error)
{
    std::vector<TokenPair> out;
    for (const QString& entry : entries(text)) {
        const QStringList w = words(entry);
        if (w.size() == 2)
            out.push_back({w[0].toStdString(), w[1].toStdString()});
        else if (w.size() == 1 && closeOptional)
            out.push_back({w[0].toStdString(), w[0].toStdString()});
        else if (closeOptional)
            return refuse(error, QStringLiteral("複数行の文字列「%1」は、開始と終了が同じなら1つ、"
                                                "違えば2つを空白で区切って書いてください。")
                                     .arg(entry));
        else
            return refuse(error,
                          QStringLiteral("ブロックコメント「%1」は、開始と終了を空白で区切って書いてください。").arg(entry));
    }
    pairs = std::move(out);
    return true;
}

bool parseFlag(const QString& rule, const QString& text, bool& flag, QString* error)
{
    const QString t = trimmedBlanks(text);
    if (t.isEmpty() || t == u"0")
        flag = false;
    else if (t == u"1")
        flag = true;
    else
        return refuse(error, QStringLiteral("%1 には 1 か 0 を書いてください。").arg(rule));
    return true;
}

QString pairsText(const std::vector<TokenPair>& pairs, bool closeOptional)
{
    QStringList out;
    for (const TokenPair& p : pairs) {
        const QString open = QString::fromStdString(p.open);
        out << (closeOptional && p.close == p.open ? open : open + u' ' + QString::fromStdString(p.close));
    }
    return out.join(u',');
}

QString tokensText(const std::vector<std::string>& tokens)
{
    QStringList out;
    for (const std::string& t : tokens)
        out << QString::fromStdString(t);
    return out.join(u',');
}

std::vector<std::string> tokensOf(const QString& text)
{
    std::vector<std::string> out;
    for (const QString& t : entries(text))
        out.push_back(t.toStdString());
    return out;
}

// A key line of `section` (case-insensitive, as the reader matches names) named `key`.
bool isKeyLine(const QString& line, const QString& key)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq > 0 && trimmedBlanks(line.left(eq)).compare(key, Qt::CaseInsensitive) == 0;
}

std::optional<QString> sectionOf(const QString& line)
{
    const QString t = trimmedBlanks(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return trimmedBlanks(t.mid(1, close < 0 ? -1 : close - 1));
}

// Removes every line of the section that sets `key`; the section's header goes too when only
// blank lines are left under it. True when a line went.
bool removeKey(IniDocument& doc, const QString& section, const QString& key)
{
    QStringList lines = doc.lines();
    const qsizetype before = lines.size();
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const std::optional<QString> name = sectionOf(lines[i]))
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
        else if (inSection && isKeyLine(lines[i], key))
            lines.removeAt(i--);
    }
    if (lines.size() == before)
        return false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = sectionOf(lines[i]);
        if (!name || name->compare(section, Qt::CaseInsensitive) != 0)
            continue;
        qsizetype end = i + 1;
        bool empty = true;
        for (; end < lines.size() && !sectionOf(lines[end]); ++end)
            empty = empty && trimmedBlanks(lines[end]).isEmpty();
        if (empty)
            lines.removeAt(i--);
    }
    doc.setLines(lines);
    return true;
}

} // namespace

bool CommentRules::any() const
{
    return !lineTokens.empty() || !lineStartTokens.empty() || !blockPairs.empty() || nested || !escape.empty()
           || !multiline.empty() || docstrings;
}

const QString& CommentRules::section()
{
    static const QString name = QStringLiteral("Anryze_Rule");
    return name;
}

const QStringList& CommentRules::ruleNames()
{
    static const QStringList names{kLine, kLineStart, kBlock, kNest, kEscape, kMultiline, kDocstring};
    return names;
}

bool CommentRules::setRule(const QString& rule, const QString& text, QString* error)
{
    if (rule == kLine) {
        lineTokens = tokensOf(text);
    } else if (rule == kLineStart) {
        lineStartTokens = tokensOf(text);
    } else if (rule == kBlock) {
        return parsePairs(text, false, blockPairs, error);
    } else if (rule == kNest) {
        return parseFlag(rule, text, nested, error);
    } else if (rule == kEscape) {
        const QString t = trimmedBlanks(text);
        const std::u32string chars = t.toStdU32String();
        if (chars.size() > 1)
            return refuse(error, QStringLiteral("エスケープ文字「%1」は1文字で書いてください。").arg(t));
        escape = t.toStdString();
    } else if (rule == kMultiline) {
        return parsePairs(text, true, multiline, error);
    } else if (rule == kDocstring) {
        return parseFlag(rule, text, docstrings, error);
    } else {
        return refuse(error, QStringLiteral("規則「%1」はありません。").arg(rule));
    }
    return true;
}

QString CommentRules::ruleText(const QString& rule) const
{
    if (rule == kLine)
        return tokensText(lineTokens);
    if (rule == kLineStart)
        return tokensText(lineStartTokens);
    if (rule == kBlock)
        return pairsText(blockPairs, false);
    if (rule == kNest)
        return nested ? QStringLiteral("1") : QString();
    if (rule == kEscape)
        return QString::fromStdString(escape);
    if (rule == kMultiline)
        return pairsText(multiline, true);
    if (rule == kDocstring)
        return docstrings ? QStringLiteral("1") : QString();
    return {};
}

CommentRules CommentRules::fromDocument(const IniDocument& doc, const QString& engine)
{
    CommentRules rules;
    if (engine.isEmpty())
        return rules;
    // Read as written: a token is text, not a path, so no %NAME% expansion and no length cut.
    for (const QString& rule : ruleNames()) {
        if (const std::optional<QString> value = doc.value(section(), key(engine, rule)))
            rules.setRule(rule, *value);
    }
    return rules;
}

bool CommentRules::writeTo(IniDocument& doc, const QString& engine) const
{
    bool changed = false;
    for (const QString& rule : ruleNames()) {
        const QString k = key(engine, rule);
        const QString text = ruleText(rule);
        // A value that already says the same, however it is spelt, stays as the user wrote it.
        if (const std::optional<QString> stored = doc.value(section(), k)) {
            CommentRules read;
            if (read.setRule(rule, *stored) && read.ruleText(rule) == text)
                continue;
        } else if (text.isEmpty()) {
            continue;
        }
        if (text.isEmpty())
            removeKey(doc, section(), k);
        else
            doc.setValue(section(), k, text);
        changed = true;
    }
    return changed;
}

CommentSyntax CommentSyntax::fromDefinition(const QString& definition)
{
    const QStringList fields = definition.split(u',');
    auto field = [&](qsizetype i) { return i < fields.size() ? fields[i].toStdString() : std::string(); };
    return CommentSyntax{field(0), field(1), field(2)};
}

CommentSyntax CommentSyntax::forEngine(const IniDocument& doc, const QString& engine)
{
    CommentSyntax syntax = fromDefinition(SettingsStore::profileValue(doc, QStringLiteral("Anryze_Pat"), engine));
    syntax.rules = CommentRules::fromDocument(doc, engine);
    return syntax;
}

} // namespace tarvik
