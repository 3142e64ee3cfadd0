#pragma once

#include <QString>

#include <string>

namespace tarvik {

// The three comment tokens of an analysis engine, as UTF-8. An empty token is disabled and
// never matches.
struct CommentSyntax {
    std::string lineToken;
    std::string blockStart;
    std::string blockEnd;

    // From a stored engine definition "line,blockStart,blockEnd"; missing fields are disabled.
    static CommentSyntax fromDefinition(const QString& definition);

    bool operator==(const CommentSyntax&) const = default;
};

} // namespace tarvik
