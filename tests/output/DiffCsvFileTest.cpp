#include "output/DiffCsvFile.h"

#include "output/DiffCsvFile.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

TEST(DiffCsvFile, ByteOrderMarkThenTheCommandLineRowsAndAFailureSaysWhy)
{
    TempDir dir;
    FileChange a;
    a.relativePath = QStringLiteral("日本/a,b.c");
    a.newPath = QStringLiteral("/new/日本/a,b.c");
    a.status = ChangeStatus::New;
    a.newSteps = a.steps.added = 3;
    FileChange b;
    b.relativePath = QStringLiteral("-z.c");
    b.oldPath = QStringLiteral("/old/-z.c");
    b.newPath = QStringLiteral("/new/-z.c");
    b.outcome = FileOutcome::NotAnalysable;
    QString error;
    ASSERT_TRUE(SaveDiffCsv(dir.path(QStringLiteral("d.csv")), {a, b}, &error)) << error.toStdString();
    EXPECT_EQ(QString::fromUtf8(dir.read(QStringLiteral("d.csv"))),
              QString::fromUtf8(QByteArray("\xEF\xBB\xBF") + DiffCsv::header() + "\"日本/a,b.c\",新規,Counted,0,3,3,0,0,,\"/new/日本/a,b.c\",added,0\r\n"
                  + "'-z.c,変更なし,NotAnalysable,0,0,0,0,0,/old/-z.c,/new/-z.c,unchanged,0\r\n"));

    const QString bad = dir.path(QStringLiteral("no/such/dir/d.csv"));
    EXPECT_FALSE(SaveDiffCsv(bad, {a}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(bad));
}
