// The 集計 pane on real files: its tables follow the last run, its charts keep a colour per file
// type, save as PNG and print after the results.
#include "app/MainWindow.h"
#include "app/SummaryPane.h"

#include "support/RecordingLauncher.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <memory>

using namespace tarvik;
using tarvik::test::child;
using tarvik::test::RecordingLauncher;
using tarvik::test::ScriptedPrompter;
using tarvik::test::TempDir;
using Kind = ScriptedPrompter::Kind;

namespace {

const QByteArray kIni = "[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n[Engin]\r\nList=c,cpp\r\nAnr_Eng=C_STYLE\r\n"
                        "Lang_c=C_STYLE,C言語ソース,1\r\nLang_cpp=C_STYLE,C++ソース,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

QStringList column(QTableWidget* table, int c)
{
    QStringList cells;
    for (int r = 0; r < table->rowCount(); ++r)
        cells << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return cells;
}

bool hasColour(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                return true;
        }
    }
    return false;
}

} // namespace

class SummaryPaneTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingLauncher> m_launcher;
    std::unique_ptr<MainWindow> m_window;

    QAction* action(const char* name) { return m_window->findChild<QAction*>(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_launcher = std::make_unique<RecordingLauncher>();
        m_dir->write(QStringLiteral("Tarvik.ini"), kIni);
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        m_window->setPrinterSource([] { return std::unique_ptr<QPrinter>(); });
        m_window->resize(1000, 700);
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        QVERIFY(m_prompter->done());
    }

    void subtotalsFollowTheRunTheDepthAndKeepTheirColours()
    {
        const QString tree = m_dir->path(QStringLiteral("tree"));
        m_dir->write(QStringLiteral("tree/main.c"), "a;\n");
        m_dir->write(QStringLiteral("tree/core/x.c"), "a;\nb;\n");
        m_dir->write(QStringLiteral("tree/core/deep/y.cpp"), "a;\nb;\nc;\n// note\n");
        m_dir->write(QStringLiteral("tree/ui/z.c"), "a;\n");
        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        QVERIFY(test::dropFiles(*m_window, {m_dir->write(QStringLiteral("notes.txt"), "text\n")}));

        SummaryPane* pane = m_window->summaryPane();
        QVERIFY(pane->isHidden());
        action("Mn_kaiseki")->trigger();
        action("Mn_Syukei")->trigger();
        QVERIFY(!pane->isHidden());
        QVERIFY(action("Mn_Syukei")->isChecked());

        auto* byType = child<QTableWidget>(*pane, "ByTypeTable");
        QCOMPARE(column(byType, 0), (QStringList{QStringLiteral("C言語ソース"), QStringLiteral("C++ソース"),
                                               QStringLiteral("不明なファイル"), QStringLiteral("合計")}));
        auto* byFolder = child<QTableWidget>(*pane, "ByFolderTable");
        const QStringList folders = column(byFolder, 0);
        QCOMPARE(folders.size(), 5); // the tree, core, ui, the dropped file's folder, the total
        QVERIFY(folders[1].endsWith(QStringLiteral("tree/core/")));
        QCOMPARE(byFolder->item(1, 2)->text(), QStringLiteral("5")); // x.c and y.cpp below it

        child<QSpinBox>(*pane, "FolderDepth")->setValue(2);
        QVERIFY(column(byFolder, 0).contains(tree + QStringLiteral("/core/deep/")));

        // The type chart keeps each type's colour; saved as PNG it shows both.
        const QString png = m_dir->path(QStringLiteral("chart.png"));
        m_prompter->expect(Kind::SaveFile, {}, {png});
        child<QPushButton>(*pane, "SaveChartPng")->click();
        QCOMPARE(m_prompter->lastFilter, QStringLiteral("PNG 画像 (*.png)"));
        if (qEnvironmentVariableIsSet("TARVIK_KEEP_PNG"))
            QFile::copy(png, QString::fromLocal8Bit(qgetenv("TARVIK_KEEP_PNG")));
        const QImage image(png);
        QVERIFY(!image.isNull());
        QVERIFY(hasColour(image, SummaryPane::typeColour(QStringLiteral("C言語ソース"))));
        QVERIFY(hasColour(image, SummaryPane::typeColour(QStringLiteral("C++ソース"))));

        // Printed, the charts follow the results on a page of their own.
        const QString pdf = m_dir->path(QStringLiteral("out.pdf"));
        m_prompter->expect(Kind::OkCancel, QStringLiteral("印刷しますか"), {QStringLiteral("ok")})
            .expect(Kind::YesNo, {}, {QStringLiteral("yes")})
            .expect(Kind::SaveFile, {}, {pdf});
        action("Mn_FilePrint")->trigger();
        if (qEnvironmentVariableIsSet("TARVIK_KEEP_PDF"))
            QFile::copy(pdf, QString::fromLocal8Bit(qgetenv("TARVIK_KEEP_PDF")));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QStringList pages = QString::fromUtf8(text.readAllStandardOutput()).remove(u' ').split(u'\f');
        QVERIFY(pages.size() >= 2);
        QVERIFY(pages[1].contains(QStringLiteral("種類別の実行行")));
        QVERIFY(!pages[0].contains(QStringLiteral("種類別の実行行")));

        action("Mn_Syukei")->trigger();
        QVERIFY(pane->isHidden());
    }
};

QTEST_MAIN(SummaryPaneTest)
#include "SummaryPaneTest.moc"
