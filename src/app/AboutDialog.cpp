#include "app/AboutDialog.h"

#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

namespace {

constexpr int kIconSize = 32;

// The program's window icon; a plain drawn one when the program has none, so the box never
// shows a hole.
QPixmap programIcon()
{
    const QIcon icon = QGuiApplication::windowIcon();
    if (!icon.isNull())
        return icon.pixmap(kIconSize, kIconSize);
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 96, 160));
    painter.drawRoundedRect(QRectF(1, 1, kIconSize - 2, kIconSize - 2), 5, 5);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("T"));
    return pixmap;
}

// "Ver 3.0.00   更新日 ： 2004.05.09" from the build's version and date: the last part of the
// version in two digits, the date with dots.
QString versionLine()
{
    const QStringList parts = QStringLiteral(TARVIK_VERSION).split(u'.');
    const QString version = parts.value(0) + u'.' + parts.value(1) + u'.' + parts.value(2).rightJustified(2, u'0');
    return QStringLiteral("Ver ") + version + QStringLiteral("   更新日 ： ")
           + QStringLiteral(TARVIK_RELEASE_DATE).replace(u'-', u'.');
}

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QFrame* horizontalLine(const QString& name, QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Tarvik ﾊﾞｰｼﾞｮﾝ情報"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(programIcon());
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    QLabel* title = namedLabel(QStringLiteral("lblTitle"), QStringLiteral("Tarvik"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* titleBlock = new QGridLayout;
    titleBlock->setHorizontalSpacing(16);
    titleBlock->addWidget(icon, 0, 0, 3, 1);
    titleBlock->addWidget(title, 0, 1);
    titleBlock->addWidget(namedLabel(QStringLiteral("lblVersion"), versionLine(),
                                     this), 1, 1);
    titleBlock->addWidget(namedLabel(QStringLiteral("lblDescription"),
                                     QStringLiteral("ソースコードのステップ数を計測します"), this), 2, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* footer = new QHBoxLayout;
    footer->addWidget(namedLabel(QStringLiteral("lblDisclaimer"), QStringLiteral("警告: なし"), this), 1);
    footer->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(titleBlock);
    layout->addWidget(horizontalLine(QStringLiteral("Line1"), this));
    layout->addWidget(namedLabel(QStringLiteral("Label1"), QStringLiteral("リリース： Tarvik 開発チーム"), this));
    layout->addWidget(horizontalLine(QStringLiteral("Line2"), this));
    layout->addLayout(footer);
}

} // namespace tarvik
