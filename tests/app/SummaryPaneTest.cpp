// The 集計 pane on real files: its tables follow the last run, its charts keep a colour per file
// type, save as PNG and print after the results.
#include "app/MainWindow.h"
#include "app/SummaryPane.h"
#include "config/SettingsStore.h"

#include "support/RecordingLauncher.h"
#include "support/ScriptedDialogRunner.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/WindowDriver.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QStatusBar>
#include <QFile>
#include <QGraphicsTextItem>
#include <QHorizontalStackedBarSeries>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QValueAxis>

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

// A chart's bars from the top: "label=value".
QStringList bars(SummaryPane& pane, const char* chartName)
{
    QChart* chart = child<QChartView>(pane, chartName)->chart();
    const auto* axis = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Vertical).value(0));
    const auto* series = qobject_cast<QHorizontalStackedBarSeries*>(chart->series().value(0));
    QStringList out;
    if (!axis || !series)
        return out;
    for (int i = axis->count() - 1; i >= 0; --i) {
        qreal value = 0;
        for (const QBarSet* set : series->barSets())
            value += set->at(i);
        out << axis->at(i) + u'=' + QString::number(value);
    }
    return out;
}

// The texts a chart draws: its names, its figures, its title.
QStringList drawnTexts(QChartView* view)
{
    QStringList texts;
    for (const QGraphicsItem* item : view->scene()->items()) {
        if (const auto* text = dynamic_cast<const QGraphicsTextItem*>(item); text && text->isVisible())
            texts << text->toPlainText();
    }
    return texts;
}

// What X11 desktops bind and the offscreen platform does not: a text field takes Ctrl+E (to the
// end of the line) before the window's shortcuts see it.
class EndOfLineKey : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride
            && static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_E))
            event->accept();
        return false;
    }
};

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

    // Groups only, the largest first; past 30 bars the smallest are one. A long folder keeps its
    // end, a kind that two engines name shows its engine, and the tables leave the row code out.
    void chartsShowTheLargestGroupsFirstAndGatherTheSmallest()
    {
        using K = FigureTable::Kind;
        SummaryPane pane(*m_prompter, [] { return QString(); });
        m_prompter->expect(Kind::Message, QStringLiteral("保存できるグラフがありません。先に解析して下さい。"));
        child<QPushButton>(pane, "SaveChartPng")->click();

        const auto column = [](const char* header, const char* key, K kind) {
            return FigureTable::Column{QString::fromUtf8(header), QString::fromLatin1(key), kind};
        };
        FigureTable byFolder{QStringLiteral("フォルダ別"),
                             {column("フォルダ", "folder", K::Text), column("実行行", "executable", K::Count),
                              column("区分", "row", K::Text)},
                             {}};
        const QString longFolder = QStringLiteral("/home/") + QString(50, u'x') + QStringLiteral("/src/");
        byFolder.rows.push_back({longFolder, int64_t{100}, QStringLiteral("folder")});
        for (int i = 1; i <= 32; ++i)
            byFolder.rows.push_back({QStringLiteral("f%1/").arg(i), int64_t{i}, QStringLiteral("folder")});
        byFolder.rows.push_back({QStringLiteral("不明なファイル"), int64_t{0}, QStringLiteral("no_engine")});
        byFolder.rows.push_back({QStringLiteral("合計"), int64_t{628}, QStringLiteral("total")});
        const FigureTable byType{QStringLiteral("種類別"),
                                 {column("種類", "kind", K::Text), column("エンジン", "engine", K::Text),
                                  column("実行行", "executable", K::Count), column("区分", "row", K::Text)},
                                 {{QStringLiteral("C言語ソース"), QStringLiteral("C_STYLE"), int64_t{5}, QStringLiteral("kind")},
                                  {QStringLiteral("Pythonスクリプト"), QStringLiteral("HASH"), int64_t{3}, QStringLiteral("kind")},
                                  {QStringLiteral("C言語ソース"), QStringLiteral("OLD_C"), int64_t{7}, QStringLiteral("kind")},
                                  {QStringLiteral("合計"), QString(), int64_t{15}, QStringLiteral("total")}}};
        pane.showTables(byType, byFolder);

        QStringList folders = bars(pane, "ByFolderChart");
        const QString longest = folders.takeFirst();
        QVERIFY2(longest.startsWith(QStringLiteral("/home/xx")) && longest.endsWith(QStringLiteral("xx/src/=100"))
                     && longest.contains(u'…'),
                 qPrintable(longest));
        QStringList rest;
        for (int i = 32; i >= 5; --i)
            rest << QStringLiteral("f%1/=%1").arg(i);
        rest << QStringLiteral("その他 4 件=10");
        QCOMPARE(folders, rest);
        QCOMPARE(bars(pane, "ByTypeChart"), (QStringList{QStringLiteral("C言語ソース (OLD_C)=7"), QStringLiteral("C言語ソース (C_STYLE)=5"),
                                                         QStringLiteral("Pythonスクリプト=3")}));
        const auto* axis = qobject_cast<QValueAxis*>(child<QChartView>(pane, "ByTypeChart")->chart()->axes(Qt::Horizontal).value(0));
        QVERIFY(axis);
        QCOMPARE(axis->max(), 7.0); // the longest bar spans the chart, a mark per line
        QCOMPARE(axis->tickInterval(), 1.0);
        auto* table = child<QTableWidget>(pane, "ByTypeTable");
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("実行行"));
    }

    // Before a run the pane says what to do. After it, at the window's first size and at a wider
    // one (the pane a third of it), every name and figure is drawn whole, grouped by thousands;
    // 30 bars scroll rather than shrink. A width the user drags stays.
    void chartsAreReadableAtThePanesSize()
    {
        SummaryPane* pane = m_window->summaryPane();
        action("Mn_Syukei")->trigger();
        auto* hint = child<QLabel>(*pane, "SummaryHint");
        QVERIFY(!hint->isHidden());
        QVERIFY(hint->text().contains(QStringLiteral("「解析」(F5)")));
        QVERIFY(QTest::qWaitForWindowActive(m_window.get())); // placed as the settings say, once

        const QString tree = m_dir->path(QStringLiteral("tree"));
        for (int i = 1; i <= 31; ++i) {
            const int lines = i * 40 + (i == 31 ? 12000 : 0);
            m_dir->write(QStringLiteral("tree/module_with_a_long_name_%1/source/x.c").arg(i), QByteArray("a;\n").repeated(lines));
        }
        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        action("Mn_kaiseki")->trigger();
        QVERIFY(hint->isHidden());
        auto* byType = child<QTableWidget>(*pane, "ByTypeTable");
        QCOMPARE(byType->horizontalHeaderItem(3)->text(), QStringLiteral("実行行"));
        QCOMPARE(byType->item(0, 3)->text(), QStringLiteral("31,840"));
        QCOMPARE(byType->item(0, 3)->data(Qt::UserRole).toLongLong(), 31840);

        auto* tabs = child<QTabWidget>(*pane, "SummaryTabs");
        for (const int width : {0, 1500}) {
            if (width > 0) {
                m_window->resize(width, 800);
                QTRY_COMPARE(pane->width() / 10, width / 3 / 10);
            }
            for (const auto& [tab, name] : {std::pair{0, "ByTypeChart"}, std::pair{1, "ByFolderChart"}}) {
                tabs->setCurrentIndex(tab);
                QTest::qWait(20);
                auto* view = child<QChartView>(*pane, name);
                auto* names = qobject_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Vertical).value(0));
                QStringList drawn = drawnTexts(view);
                for (const QString& category : names->categories())
                    QVERIFY2(drawn.removeOne(category), qPrintable(category + u' ' + drawn.join(u'|')));
                drawn.removeAll(QString());
                drawn.removeOne(view->chart()->title());
                for (const QString& figure : drawn)
                    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{1,3}(,\\d{3})*$")).match(figure).hasMatch(), qPrintable(figure));
                QVERIFY2(drawn.contains(QStringLiteral("0")) && !drawn.filter(QStringLiteral(",")).isEmpty(), qPrintable(drawn.join(u'|')));
            }
        }
        // Past 30 bars the smallest are one, and the bars keep their height: the chart scrolls.
        const QStringList folders = bars(*pane, "ByFolderChart");
        QCOMPARE(folders.size(), 30);
        QVERIFY2(folders.first().startsWith(QStringLiteral("modul")) && folders.first().endsWith(QStringLiteral("name_31/=13240")),
                 qPrintable(folders.first())); // where the folders part, cut in the middle
        QVERIFY(folders.last().startsWith(QStringLiteral("その他 2 件=")));
        auto* scroll = child<QScrollArea>(*pane, "ByFolderScroll");
        QVERIFY(child<QChartView>(*pane, "ByFolderChart")->height() > scroll->viewport()->height());

        const QPoint splitter(pane->x() - 2, pane->y() + pane->height() / 2);
        const auto mouse = [this](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
            QMouseEvent event(type, at, m_window->mapToGlobal(at), Qt::LeftButton, held, {});
            QApplication::sendEvent(m_window.get(), &event);
        };
        mouse(QEvent::MouseButtonPress, splitter, Qt::LeftButton);
        mouse(QEvent::MouseMove, splitter - QPoint(60, 0), Qt::LeftButton);
        QTest::qWait(20); // the window moves its splitter on a timer
        mouse(QEvent::MouseButtonRelease, splitter - QPoint(60, 0), Qt::NoButton);
        const int dragged = pane->width();
        QVERIFY(dragged > 1500 / 3 + 30);
        QCOMPARE(pane->userWidth(), dragged);
        m_window->resize(1700, 800);
        QTest::qWait(20);
        QCOMPARE(pane->width(), dragged);
    }

    // Shown, its depth and its tab are where the last exit left them; a settings file without
    // them starts the pane hidden at depth 1. Ctrl+E in the depth box is still the exit request.
    void thePaneIsKeptForTheNextStartAndCtrlEStillExits()
    {
        SummaryPane* pane = m_window->summaryPane();
        QVERIFY(pane->isHidden());
        QCOMPARE(pane->folderDepth(), 1);
        action("Mn_Syukei")->trigger();
        auto* depth = child<QSpinBox>(*pane, "FolderDepth");
        depth->setValue(3);
        child<QTabWidget>(*pane, "SummaryTabs")->setCurrentIndex(1);
        pane->setUserWidth(420); // as if dragged there

        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        depth->setFocus();
        QTRY_VERIFY(depth->hasFocus());
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("no")});
        EndOfLineKey endOfLine;
        QApplication::focusWidget()->installEventFilter(&endOfLine);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        QVERIFY(m_prompter->done());

        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(m_window->close());
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        pane = m_window->summaryPane();
        QVERIFY(!pane->isHidden());
        QVERIFY(action("Mn_Syukei")->isChecked());
        QCOMPARE(pane->folderDepth(), 3);
        QCOMPARE(child<QTabWidget>(*pane, "SummaryTabs")->currentIndex(), 1);
        m_window->showRestored();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_COMPARE(pane->width(), 420);

        action("Mn_Syukei")->trigger();
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(m_window->close());
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        QVERIFY(m_window->summaryPane()->isHidden());
    }

    // Categories are edited from 基本設定; the run after has a カテゴリ別 tab whose groups add up
    // to the total, whose chart saves as PNG, and which the next start shows again. Without
    // categories there is no such tab.
    void categoriesAreEditedInBasicSettingsAndGetATabOfTheirOwn()
    {
        test::ScriptedDialogRunner dialogs;
        m_window->setDialogRunner(dialogs);
        m_dir->write(QStringLiteral("tree/main.c"), "a;\n");
        m_dir->write(QStringLiteral("tree/test/t.c"), "a;\nb;\n");
        m_dir->write(QStringLiteral("tree/test/u.cpp"), "a;\nb;\nc;\n");
        m_dir->write(QStringLiteral("tree/vendor/v.c"), "a;\nb;\nc;\nd;\n");
        m_prompter->expect(Kind::ChooseFolder, {}, {m_dir->path(QStringLiteral("tree"))}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        action("Mn_Syukei")->trigger();
        action("Mn_kaiseki")->trigger();
        SummaryPane* pane = m_window->summaryPane();
        QVERIFY(!child<QTabWidget>(*pane, "SummaryTabs")->isTabVisible(2));

        m_prompter->expect(Kind::Message, QStringLiteral("「本体」はどのカテゴリにも当たらないファイルの集計名です。別の名前にして下さい。"));
        dialogs
            .then([](QDialog& form2) {
                child<QPushButton>(form2, "CommandCategory")->click();
                form2.reject();
            })
            .then([&](QDialog& form) {
                QCOMPARE(form.objectName(), QStringLiteral("FormCategory"));
                auto* table = child<QTableWidget>(form, "CategoryTable");
                QCOMPARE(table->rowCount(), 0);
                for (const char* row : {"テスト|test/; *_test.*", "本体|vendor/"}) {
                    child<QPushButton>(form, "CommandAdd")->click();
                    const QStringList cells = QString::fromUtf8(row).split(u'|');
                    table->item(table->rowCount() - 1, 0)->setText(cells[0]);
                    table->item(table->rowCount() - 1, 1)->setText(cells[1]);
                }
                child<QPushButton>(form, "CommandOK")->click();
                QCOMPARE(form.result(), int(QDialog::Rejected)); // still open for the name to be corrected
                table->item(1, 0)->setText(QStringLiteral("外部"));
                child<QPushButton>(form, "CommandUp")->click();
                child<QPushButton>(form, "CommandOK")->click();
            });
        action("Mn_Kihon")->trigger();
        SettingsStore settings(m_dir->path(QStringLiteral("Tarvik.ini")));
        QCOMPARE(settings.read(QStringLiteral("Category"), QStringLiteral("Cat_2")), QStringLiteral("テスト;test/;*_test.*"));

        action("Mn_kaiseki")->trigger();
        QVERIFY(pane->categoryTabShown());
        auto* table = child<QTableWidget>(*pane, "ByCategoryTable");
        QCOMPARE(table->rowCount(), 4);
        const auto lines = [table](int row) { return table->item(row, 2)->data(Qt::UserRole).toLongLong(); };
        QCOMPARE(lines(0) + lines(1) + lines(2), lines(3));
        QCOMPARE(bars(*pane, "ByCategoryChart"), (QStringList{QStringLiteral("テスト=5"), QStringLiteral("外部=4"), QStringLiteral("本体=1")}));

        child<QTabWidget>(*pane, "SummaryTabs")->setCurrentIndex(2);
        QCOMPARE(pane->shownTab(), 3); // 未登録の種類 keeps the 2 it always had
        const QString png = m_dir->path(QStringLiteral("category.png"));
        m_prompter->expect(Kind::SaveFile, {}, {png});
        child<QPushButton>(*pane, "SaveChartPng")->click();
        QVERIFY(!QImage(png).isNull());
        m_prompter->expect(Kind::YesNo, QStringLiteral("終了しますか？"), {QStringLiteral("yes")});
        QVERIFY(m_window->close());
        m_window = std::make_unique<MainWindow>(m_dir->path(QStringLiteral("Tarvik.ini")), *m_prompter, *m_launcher);
        QCOMPARE(child<QTabWidget>(*m_window->summaryPane(), "SummaryTabs")->currentIndex(), 2);
    }

    // A folder search says what it passed over; from the pane a kind is registered in one step.
    void filesPassedOverAreShownAndAKindIsRegisteredFromThePane()
    {
        test::ScriptedDialogRunner dialogs;
        m_window->setDialogRunner(dialogs);
        const QString tree = m_dir->path(QStringLiteral("tree"));
        m_dir->write(QStringLiteral("tree/main.c"), "a;\n");
        m_dir->write(QStringLiteral("tree/Makefile"), "all:\n");
        m_dir->write(QStringLiteral("tree/data/a.json"), "{\"a\": 1}\n");
        m_dir->write(QStringLiteral("tree/data/b.json"), "{}\n");
        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("登録数は1ファイルです　未登録の種類のファイル 3 件は登録していません"));

        SummaryPane* pane = m_window->summaryPane();
        auto* table = child<QTableWidget>(*pane, "UnregisteredTable");
        QCOMPARE(column(table, 0), (QStringList{QStringLiteral(".json"), QStringLiteral("Makefile")}));
        QCOMPARE(column(table, 1), (QStringList{QStringLiteral("2"), QStringLiteral("1")}));
        QCOMPARE(column(table, 2), (QStringList{QStringLiteral("12"), QStringLiteral("5")}));

        auto* registerKind = child<QPushButton>(*pane, "RegisterKind");
        QVERIFY(!registerKind->isEnabled()); // nothing selected yet
        table->selectRow(1);
        dialogs.then([](QDialog& form3) {
            QCOMPARE(form3.objectName(), QStringLiteral("Form3"));
            QCOMPARE(child<QLineEdit>(form3, "Text1")->text(), QStringLiteral("Makefile"));
            QCOMPARE(child<QComboBox>(form3, "Combo2")->currentText(), QStringLiteral("ファイル名"));
            child<QLineEdit>(form3, "Text2")->setText(QStringLiteral("Make"));
            child<QPushButton>(form3, "Command1")->click();
        });
        registerKind->click();
        QVERIFY(dialogs.done());
        QCOMPARE(column(table, 0), QStringList{QStringLiteral(".json")});
        SettingsStore settings(m_dir->path(QStringLiteral("Tarvik.ini")));
        QCOMPARE(settings.read(QStringLiteral("Engin"), QStringLiteral("Name_List")), QStringLiteral("Makefile"));
        QCOMPARE(settings.read(QStringLiteral("Engin"), QStringLiteral("Name_Makefile")), QStringLiteral("C_STYLE,Make,1"));

        // The next search takes the file by its name.
        m_prompter->expect(Kind::ChooseFolder, {}, {tree}).expect(Kind::ChooseFolder, {}, {});
        action("Mn_DirOpen")->trigger();
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("登録数は1ファイルです　未登録の種類のファイル 2 件は登録していません"));
        QCOMPARE(column(table, 0), QStringList{QStringLiteral(".json")});
    }
};

QTEST_MAIN(SummaryPaneTest)
#include "SummaryPaneTest.moc"
