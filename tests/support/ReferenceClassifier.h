#pragma once

#include "counting/LineClassifier.h"

#include <QString>

#include <optional>
#include <string_view>

namespace tarvik::test {

// The classification steps read plainly, on UTF-16 text with QString's own replace-all and no
// shortcuts: what the production classifier must agree with. Quadratic; for short inputs only.
class ReferenceClassifier {
public:
    ReferenceClassifier(QString lineToken, QString blockStart, QString blockEnd, bool countSymbolLines);

    // nullopt when the pass limit was reached.
    std::optional<LineKind> classify(const QString& line);

private:
    static qsizetype find(const QString& w, const QString& token, qsizetype from = 0);
    void locate(const QString& w, qsizetype& s, qsizetype& e) const;

    QString m_lt, m_bs, m_be;
    bool m_symbols;
    bool m_inside = false;
};

// A whole text split at CR LF, lone CR and lone LF (a last line without terminator counts) and
// classified line by line; counting stops at the first line that reaches the pass limit.
// The text and the tokens must be valid UTF-8, as decoded text always is.
LineCountResult referenceCountLines(std::string_view utf8Text, const CommentSyntax& syntax, bool countSymbolLines);

} // namespace tarvik::test
