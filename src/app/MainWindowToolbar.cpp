// The toolbar: its six buttons and what each one starts.
#include "app/MainWindow.h"

#include "app/ProgramIcons.h"

#include <QToolBar>

namespace tarvik {

namespace {

// Toolbar buttons: key, tool tip, icon name (the theme's, else our own picture of it).
struct ToolButton {
    const char16_t* key;
    const char16_t* tip;
    const char* icon;
};

const ToolButton kToolButtons[] = {
    {u"解析ファイルを開く(Local)", u"ローカルファイルを開く", "document-open"},
    {u"解析ファイルを開く(Directry)", u"ローカルディレクトリを開く", "folder-open"},
    {u"解析ファイルを開く(NetWork)", u"ネットワークファイルを開く", "network-server"},
    {u"保存", u"ログファイルを作成します(*.tvk)", "document-save"},
    {u"印刷", u"結果を印刷します", "document-print"},
    {u"解析", u"登録ファイルを解析します", "media-playback-start"},
};

} // namespace

void MainWindow::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    for (const ToolButton& b : kToolButtons) {
        const QString key = QString::fromUtf16(b.key);
        QAction* a = m_toolbar->addAction(toolbarIcon(QString::fromLatin1(b.icon)), key);
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
