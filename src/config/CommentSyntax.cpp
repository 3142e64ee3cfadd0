#include "config/CommentSyntax.h"

#include <QStringList>

namespace tarvik {

CommentSyntax CommentSyntax::fromDefinition(const QString& definition)
{
    const QStringList fields = definition.split(u',');
    auto field = [&](qsizetype i) { return i < fields.size() ? fields[i].toStdString() : std::string(); };
    return CommentSyntax{field(0), field(1), field(2)};
}

} // namespace tarvik
