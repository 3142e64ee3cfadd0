#include "app/ProgramIcons.h"

namespace tarvik {

QIcon toolbarIcon(const QString& themeName)
{
    QIcon own;
    own.addFile(QStringLiteral(":/toolbar/%1.png").arg(themeName), QSize(24, 24));
    own.addFile(QStringLiteral(":/toolbar/%1@2x.png").arg(themeName), QSize(48, 48));
    return QIcon::fromTheme(themeName, own);
}

QIcon programIcon(const QString& appId)
{
    return QIcon::fromTheme(appId, QIcon(QStringLiteral(":/tarvik.png")));
}

} // namespace tarvik
