#include "output/DiffGridModel.h"

#include "support/FileChanges.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QSet>
#include <QTest>

using namespace tarvik;

namespace {

using test::fileChange;

QStringList rowTexts(const DiffGridModel& model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts.append(model.index(row, column).data().toString());
    return texts;
}

QColor background(const DiffGridModel& model, int row, int column = 0)
{
    return qvariant_cast<QBrush>(model.index(row, column).data(Qt::BackgroundRole)).color();
}

} // namespace

class DiffGridModelTest : public QObject {
    Q_OBJECT

private slots:
    void rowsColoursAndTotals()
    {
        // One file of each status, a file that could not be compared, and the totals as the
        // comparison would have summed them.
        const QList<FileChange> changes{
            fileChange(QStringLiteral("a.c"), ChangeStatus::Changed, 10, 12, {3, 2, 1}),
            fileChange(QStringLiteral("b.c"), ChangeStatus::Unchanged, 4, 4, {}),
            fileChange(QStringLiteral("sub/new.c"), ChangeStatus::New, 0, 7, {7, 0, 0}),
            fileChange(QStringLiteral("sub/old.c"), ChangeStatus::Deleted, 5, 0, {0, 0, 5}),
            fileChange(QStringLiteral("x.txt"), ChangeStatus::Changed, 0, 0, {}, FileOutcome::NoEngine),
        };
        DiffTotals totals;
        totals.newFiles = 1;
        totals.deletedFiles = 1;
        totals.changedFiles = 2;
        totals.unchangedFiles = 1;
        totals.oldSteps = 19;
        totals.newSteps = 23;
        totals.steps = {10, 2, 6};
        DiffGridModel model(changes, totals, QStringLiteral(","));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(model.columnCount(), 8);
        QStringList titles;
        for (int column = 0; column < 8; ++column)
            titles << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{QStringLiteral("状態"), QStringLiteral("ファイル"), QStringLiteral("旧ステップ"),
                                      QStringLiteral("新ステップ"), QStringLiteral("追加"), QStringLiteral("変更"),
                                      QStringLiteral("削除"), QStringLiteral("流用")}));

        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(rowTexts(model, 0), (QStringList{QStringLiteral("変更"), QStringLiteral("a.c"), QStringLiteral("10"),
                                                  QStringLiteral("12"), QStringLiteral("3"), QStringLiteral("2"),
                                                  QStringLiteral("1"), QStringLiteral("7")}));
        QCOMPARE(rowTexts(model, 2), (QStringList{QStringLiteral("新規"), QStringLiteral("sub/new.c"), QStringLiteral("-"),
                                                  QStringLiteral("7"), QStringLiteral("7"), QStringLiteral("0"),
                                                  QStringLiteral("0"), QStringLiteral("0")}));
        QCOMPARE(rowTexts(model, 3).mid(2), (QStringList{QStringLiteral("5"), QStringLiteral("-"), QStringLiteral("0"),
                                                         QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("0")}));
        // Not compared: the outcome in place of the figures, and only there.
        QCOMPARE(rowTexts(model, 4), (QStringList{QStringLiteral("変更"), QStringLiteral("x.txt"),
                                                  QStringLiteral("不明なファイル"), QString(), QString(), QString(),
                                                  QString(), QString()}));
        QVERIFY(model.showsOutcome(4));
        QVERIFY(!model.showsOutcome(0));
        QVERIFY(!model.showsOutcome(5));
        // Totals: files per status, the step sums, the modification size (10 + 2 steps).
        QVERIFY(model.isTotalsRow(5));
        QCOMPARE(rowTexts(model, 5),
                 (QStringList{QStringLiteral("合計"),
                              QStringLiteral("新規 1  削除 1  変更 2  変更なし 1    改造規模 0,012 KStep"),
                              QStringLiteral("19"), QStringLiteral("23"), QStringLiteral("10"), QStringLiteral("2"),
                              QStringLiteral("6"), QStringLiteral("11")}));

        // Each status has its own light background on every cell of its rows; the totals row another.
        QSet<QRgb> colours;
        for (int row : {0, 1, 2, 3, 5}) {
            colours.insert(background(model, row).rgb());
            for (int column = 1; column < 8; ++column)
                QCOMPARE(background(model, row, column), background(model, row));
        }
        QCOMPARE(colours.size(), 5);
        QCOMPARE(background(model, 4), background(model, 0)); // colour by status, compared or not
        QCOMPARE(background(model, 2), DiffGridModel::statusColour(ChangeStatus::New));
        QCOMPARE(background(model, 5), DiffGridModel::totalsColour());
        for (ChangeStatus s : {ChangeStatus::New, ChangeStatus::Deleted, ChangeStatus::Changed, ChangeStatus::Unchanged}) {
            QVERIFY2(DiffGridModel::statusColour(s).lightness() >= 180, qPrintable(changeStatusText(s)));
        }
        QCOMPARE(qvariant_cast<QBrush>(model.index(0, 0).data(Qt::ForegroundRole)).color(), QColor(Qt::black));

        QCOMPARE(model.index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(model.index(0, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(model.index(0, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("旧: /v1/a.c\n新: /v2/a.c"));
        QCOMPARE(model.index(2, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("新: /v2/sub/new.c"));
        QCOMPARE(model.cellText(6, 0), QString());
        QCOMPARE(model.cellText(0, 8), QString());
    }

    void emptyComparisonIsTheTotalsRowAlone()
    {
        DiffGridModel model({}, DiffTotals{}, QStringLiteral("."));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.cellText(0, 1), QStringLiteral("新規 0  削除 0  変更 0  変更なし 0    改造規模 0.000 KStep"));
    }
};

QTEST_MAIN(DiffGridModelTest)
#include "DiffGridModelTest.moc"
