#include "output/ResultGridModel.h"

#include "support/DelimitedText.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

using namespace tarvik;

namespace {

FileResult result(const QString& path, FileOutcome outcome, FileCounts counts = {})
{
    FileResult r = FileResult::forPath(path);
    r.outcome = outcome;
    r.counts = counts;
    return r;
}

QStringList rowTexts(const ResultGridModel& model, int row)
{
    QStringList texts;
    for (int column = 0; column < ResultGridModel::kColumnCount; ++column)
        texts.append(model.index(row, column).data().toString());
    return texts;
}

QColor background(const ResultGridModel& model, int row, int column)
{
    return qvariant_cast<QBrush>(model.index(row, column).data(Qt::BackgroundRole)).color();
}

int alignment(const ResultGridModel& model, int row, int column)
{
    return model.index(row, column).data(Qt::TextAlignmentRole).toInt();
}

QColor ordinary() { return QApplication::palette().color(QPalette::HighlightedText); }

// Four files, one of each outcome, and the totals row.
void writeMixedRun(ResultGridModel& model)
{
    model.beginRun(4);
    model.WriteResultRow(0, result(QStringLiteral("/src/app/main.cpp"), FileOutcome::Counted, {12, 3, 20}));
    model.WriteResultRow(1, result(QStringLiteral("/src/gone.c"), FileOutcome::Missing));
    model.WriteResultRow(2, result(QStringLiteral("README"), FileOutcome::NoEngine));
    model.WriteResultRow(3, result(QStringLiteral("/x/odd.bas"), FileOutcome::NotAnalysable));
    model.WriteTotalsRow(4, 1234567, QStringLiteral("2004/05/09"), QStringLiteral(","));
}

} // namespace

class ResultGridModelTest : public QObject {
    Q_OBJECT

private slots:
    void headerAndWidths()
    {
        ResultGridModel model;
        QCOMPARE(model.columnCount(), 6);
        QStringList titles;
        for (int column = 0; column < 6; ++column) {
            titles.append(model.headerData(column, Qt::Horizontal).toString());
            QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("Program ＩＤ"), QStringLiteral("パス"), QStringLiteral("実行行"),
                                      QStringLiteral("コメント行"), QStringLiteral("総行数"), QString()}));
        QCOMPARE(ResultGridModel::columnWidthTwips(0) + ResultGridModel::columnWidthTwips(1), 5500);
        QCOMPARE(ResultGridModel::columnWidthTwips(4), 2200);
        QCOMPARE(ResultGridModel::columnWidthTwips(5), 10000);
    }

    void mixedRunTexts()
    {
        ResultGridModel model;
        writeMixedRun(model);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(rowTexts(model, 0), (QStringList{QStringLiteral("main.cpp"), QStringLiteral("/src/app/"),
                                                  QStringLiteral("12"), QStringLiteral("3"), QStringLiteral("20"),
                                                  QString()}));
        QCOMPARE(rowTexts(model, 1), (QStringList{QStringLiteral("gone.c"), QStringLiteral("/src/"),
                                                  QStringLiteral("       ファイル未存在"), QStringLiteral("0"),
                                                  QStringLiteral("0"), QString()}));
        QCOMPARE(rowTexts(model, 2), (QStringList{QStringLiteral("README"), QString(),
                                                  QStringLiteral("       不明なファイル"), QStringLiteral("0"),
                                                  QStringLiteral("0"), QString()}));
        QCOMPARE(model.cellText(3, 2), QStringLiteral("       解析不能ファイル"));
        QCOMPARE(rowTexts(model, 4), (QStringList{QStringLiteral("解析結果"), QStringLiteral("総実行行数は"),
                                                  QStringLiteral("1234,567 KStep です"), QStringLiteral("2004/05/09"),
                                                  QStringLiteral("Tarvik"), QString()}));
        QCOMPARE(model.cellText(5, 0), QString());
    }

    void mixedRunLook()
    {
        ResultGridModel model;
        writeMixedRun(model);
        const QColor lightRed(255, 128, 128);
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(background(model, 0, column), ordinary());
            QCOMPARE(background(model, 1, column), lightRed);
            QCOMPARE(background(model, 2, column), QColor(255, 255, 128));
            QCOMPARE(background(model, 3, column), lightRed);
            QCOMPARE(background(model, 4, column), QColor(0, 255, 255));
        }
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(alignment(model, 1, column), int(Qt::AlignRight | Qt::AlignVCenter));
            QCOMPARE(alignment(model, 4, column), int(Qt::AlignCenter));
        }
    }

    void writesSignalTheirRow()
    {
        ResultGridModel model;
        model.beginRun(2);
        QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
        model.WriteResultRow(1, result(QStringLiteral("/a/b.c"), FileOutcome::Missing));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toModelIndex(), model.index(1, 0));
        QCOMPARE(spy[0][1].toModelIndex(), model.index(1, 5));
    }

    void shorterRunKeepsRowsItDidNotReach()
    {
        ResultGridModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        writeMixedRun(model);
        model.beginRun(2); // a run that will stop with an error before writing anything
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(rowTexts(model, 0), QStringList(6, QString()));
        QCOMPARE(background(model, 0, 0), ordinary());
        QCOMPARE(background(model, 0, 5), ordinary());
        QCOMPARE(model.cellText(1, 0), QStringLiteral("gone.c"));
        QCOMPARE(model.cellText(2, 2), QStringLiteral("       不明なファイル"));

        model.beginRun(6);
        QCOMPARE(model.rowCount(), 7);
        QCOMPARE(model.cellText(2, 0), QStringLiteral("README"));
        QCOMPARE(rowTexts(model, 5), QStringList(6, QString()));
        QCOMPARE(background(model, 6, 3), ordinary());
    }

    void emptyRun()
    {
        ResultGridModel model;
        writeMixedRun(model);
        model.beginRun(0);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(rowTexts(model, 0), QStringList(6, QString()));
        QCOMPARE(background(model, 0, 2), ordinary());
        QVERIFY(!model.index(0, 0).data(Qt::TextAlignmentRole).isValid());
    }

    void selectionOpensBottomRowFirst()
    {
        ResultGridModel model;
        model.beginRun(5);
        for (int row = 0; row < 5; ++row)
            model.WriteResultRow(row, result(QStringLiteral("/d%1/f%1.c").arg(row), FileOutcome::Counted));
        const QStringList expected{QStringLiteral("/d4/f4.c"), QStringLiteral("/d3/f3.c"), QStringLiteral("/d2/f2.c")};
        QCOMPARE(model.pathsToOpen(2, 4, 0), expected);
        QCOMPARE(model.pathsToOpen(4, 2, 3), expected);
        QCOMPARE(model.pathsToOpen(3, 3, 1), QStringList{QStringLiteral("/d3/f3.c")});
        QCOMPARE(model.pathsToOpen(0, 4, 5), QStringList()); // the filler column is always empty
    }

    void runResultsAreTheRowsTheRunWrote()
    {
        ResultGridModel model;
        writeMixedRun(model);
        QList<FileResult> results = model.runResults();
        QCOMPARE(results.size(), 4);
        QCOMPARE(results[0].path, QStringLiteral("/src/app/main.cpp"));
        QCOMPARE(results[0].programId, QStringLiteral("main.cpp"));
        QCOMPARE(results[0].directory, QStringLiteral("/src/app/"));
        QCOMPARE(results[0].outcome, FileOutcome::Counted);
        QCOMPARE(results[0].counts.comment, 3);
        QCOMPARE(results[2].path, QStringLiteral("README"));
        QCOMPARE(results[2].outcome, FileOutcome::NoEngine);
        QCOMPARE(results[3].outcome, FileOutcome::NotAnalysable);

        // A run that ended after its first file: the rows below still show the run before.
        model.beginRun(4);
        QVERIFY(model.runResults().isEmpty());
        model.WriteResultRow(0, result(QStringLiteral("/n/new.c"), FileOutcome::Counted, {1, 1, 1}));
        QCOMPARE(model.cellText(1, 0), QStringLiteral("gone.c"));
        QCOMPARE(model.runRowCount(), 1);
        results = model.runResults();
        QCOMPARE(results.size(), 1);
        QCOMPARE(results[0].path, QStringLiteral("/n/new.c"));
    }

    void tabSeparatedRowsAreAsShownUnderTheTitles()
    {
        ResultGridModel model;
        writeMixedRun(model);
        model.WriteResultRow(2, result(QStringLiteral("/d/ a\tb .c"), FileOutcome::Counted, {7, 0, 9}));
        bool ok = false;
        const QList<QStringList> records =
            test::parseDelimited(model.tabSeparatedText({0, 1, 2, 4, 7}), u'\t', &ok);
        QVERIFY(ok);
        QCOMPARE(records.size(), 5); // row 7 is outside the grid
        QCOMPARE(records[0], (QStringList{QStringLiteral("Program ＩＤ"), QStringLiteral("パス"),
                                          QStringLiteral("実行行"), QStringLiteral("コメント行"),
                                          QStringLiteral("総行数")}));
        QCOMPARE(records[1], (QStringList{QStringLiteral("main.cpp"), QStringLiteral("/src/app/"),
                                          QStringLiteral("12"), QStringLiteral("3"), QStringLiteral("20")}));
        // The display's padding goes; a name keeps its own blanks.
        QCOMPARE(records[2], (QStringList{QStringLiteral("gone.c"), QStringLiteral("/src/"),
                                          QStringLiteral("ファイル未存在"), QStringLiteral("0"), QStringLiteral("0")}));
        QCOMPARE(records[3], (QStringList{QStringLiteral(" a\tb .c"), QStringLiteral("/d/"), QStringLiteral("7"),
                                          QStringLiteral("0"), QStringLiteral("9")}));
        QCOMPARE(records[4], (QStringList{QStringLiteral("解析結果"), QStringLiteral("総実行行数は"),
                                          QStringLiteral("1234,567 KStep です"), QStringLiteral("2004/05/09"),
                                          QStringLiteral("Tarvik")}));

        // Empty rows give nothing; the titles are always there.
        model.beginRun(3);
        QCOMPARE(test::parseDelimited(model.tabSeparatedText({0}), u'\t').size(), 1);
    }

    void emptyRowsAndTestedColumn()
    {
        ResultGridModel model;
        model.beginRun(4);
        model.WriteResultRow(0, result(QStringLiteral("top.c"), FileOutcome::Counted)); // no directory
        model.WriteResultRow(1, result(QStringLiteral("/d/mid.c"), FileOutcome::Counted));
        model.WriteResultRow(3, result(QStringLiteral("/d/low.c"), FileOutcome::Counted)); // row 2 stays empty
        model.WriteTotalsRow(4, 0, QStringLiteral("d"), QStringLiteral("."));

        // Opening the totals row moves the test to the directory column, which row 0 lacks.
        QCOMPARE(model.pathsToOpen(0, 4, 0),
                 (QStringList{QStringLiteral("総実行行数は解析結果"), QStringLiteral("/d/low.c"),
                              QStringLiteral("/d/mid.c")}));
        // Tested in column 0 only until something was opened.
        QCOMPARE(model.pathsToOpen(0, 0, 0), QStringList{QStringLiteral("top.c")});
        QCOMPARE(model.pathsToOpen(0, 0, 1), QStringList());
        QCOMPARE(model.pathsToOpen(2, 2, 0), QStringList());
        QCOMPARE(model.pathsToOpen(9, 9, 0), QStringList());
    }
};

QTEST_MAIN(ResultGridModelTest)
#include "ResultGridModelTest.moc"
