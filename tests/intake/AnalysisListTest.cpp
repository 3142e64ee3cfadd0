#include "intake/AnalysisList.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(AnalysisList, RegistrationKeepsOrderAndExactUniqueness)
{
    AnalysisList list;
    EXPECT_TRUE(list.RegisterPath(QStringLiteral("/src/a.c")));
    EXPECT_TRUE(list.RegisterPath(QStringLiteral("/SRC/a.c")));
    EXPECT_FALSE(list.RegisterPath(QStringLiteral("/src/a.c")));
    EXPECT_TRUE(list.RegisterPath(QStringLiteral("/src/b.c")));
    EXPECT_EQ(list.entries(), (QStringList{QStringLiteral("/src/a.c"), QStringLiteral("/SRC/a.c"), QStringLiteral("/src/b.c")}));
}

TEST(AnalysisList, RemovedEntriesCanBeRegisteredAgain)
{
    AnalysisList list;
    for (int i = 0; i < 5; ++i)
        list.RegisterPath(QString::number(i));
    EXPECT_EQ(list.removeAt({4, 1, 2, 2}), 3);
    EXPECT_EQ(list.entries(), (QStringList{QStringLiteral("0"), QStringLiteral("3")}));
    EXPECT_TRUE(list.RegisterPath(QStringLiteral("2")));
    EXPECT_FALSE(list.RegisterPath(QStringLiteral("3")));
}

TEST(AnalysisList, HoldsMoreThan32767Entries)
{
    AnalysisList list;
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(list.RegisterPath(QStringLiteral("/tree/%1.c").arg(i)));
    EXPECT_FALSE(list.RegisterPath(QStringLiteral("/tree/99999.c")));
    EXPECT_EQ(list.size(), 100000);
}
