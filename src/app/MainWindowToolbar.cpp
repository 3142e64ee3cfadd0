// The toolbar: its six buttons and what each one starts.
#include "app/MainWindow.h"

#include <QPainter>
#include <QPixmap>
#include <QToolBar>

namespace tarvik {

namespace {

// Toolbar buttons: key, tool tip, theme icon, drawn symbol when the theme has none.
struct ToolButton {
    const char16_t* key;
    const char16_t* tip;
    const char* themeIcon;
    const char16_t* symbol;
    QColor colour;
};

const ToolButton kToolButtons[] = {
    {u"解析ファイルを開く(Local)", u"ローカルファイルを開く", "document-open", u"F", QColor(70, 130, 180)},
    {u"解析ファイルを開く(Directry)", u"ローカルディレクトリを開く", "folder-open", u"D", QColor(218, 165, 32)},
    {u"解析ファイルを開く(NetWork)", u"ネットワークファイルを開く", "network-server", u"N", QColor(60, 150, 90)},
    {u"保存", u"ログファイルを作成します(*.tvk)", "document-save", u"S", QColor(100, 100, 200)},
    {u"印刷", u"結果を印刷します", "document-print", u"P", QColor(120, 120, 120)},
    {u"解析", u"登録ファイルを解析します", "system-run", u"▶", QColor(200, 60, 60)},
};

QIcon toolIcon(const ToolButton& b)
{
    QIcon themed = QIcon::fromTheme(QString::fromLatin1(b.themeIcon));
    if (!themed.isNull())
        return themed;
    // No icon theme (a bare X server, for instance): draw a plain, visible one.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(b.colour);
    p.setPen(b.colour.darker(150));
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(18);
    p.setFont(f);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromUtf16(b.symbol));
    return QIcon(pm);
}

} // namespace

void MainWindow::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    for (const ToolButton& b : kToolButtons) {
        const QString key = QString::fromUtf16(b.key);
        QAction* a = m_toolbar->addAction(toolIcon(b), key);
        a->setObjectName(key);
        a->setToolTip(QString::fromUtf16(b.tip));
        connect(a, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    }
}

void MainWindow::Toolbar1_ButtonClick(const QString& key)
{
    if (key == QString::fromUtf16(kToolButtons[0].key))
        OpenLocalFiles();
    else if (key == QString::fromUtf16(kToolButtons[1].key))
        OpenLocalDirectory();
    else if (key == QString::fromUtf16(kToolButtons[2].key))
        OpenServerDialog();
    else if (key == QString::fromUtf16(kToolButtons[3].key))
        SaveLog();
    else if (key == QString::fromUtf16(kToolButtons[4].key))
        PrintResults();
    else if (key == QString::fromUtf16(kToolButtons[5].key))
        RunAnalysis();
}

} // namespace tarvik
