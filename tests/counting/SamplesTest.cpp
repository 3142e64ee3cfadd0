// Every shipped engine is checked against self-describing samples: the first line of each
// sample states its own counts ("tarvik: executable N comment N total N").
#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"
#include "counting/AnalysisRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

namespace {

const QString kSamples = QStringLiteral(TARVIK_SOURCE_DIR "/tests/samples");
const QString kIni = QStringLiteral(TARVIK_SOURCE_DIR "/data/Tarvik.ini");

QStringList sampleFiles() { return QDir(kSamples).entryList(QDir::Files, QDir::Name); }

std::vector<QString> sampleVector()
{
    const QStringList files = sampleFiles();
    return {files.cbegin(), files.cend()};
}

class Collect : public ResultSink {
public:
    void fileAnalysed(qsizetype, const FileResult& r) override { result = r; }
    FileResult result;
};

class SampleTest : public ::testing::TestWithParam<QString> {};

} // namespace

TEST_P(SampleTest, CountsMatchTheSampleHeader)
{
    const QString path = kSamples + u'/' + GetParam();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString header = QString::fromUtf8(file.readLine());
    QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("tarvik: executable (\\d+) comment (\\d+) total (\\d+)")).match(header);
    ASSERT_TRUE(m.hasMatch()) << "no count header in " << GetParam().toStdString();

    IniDocument settings;
    ASSERT_TRUE(SettingsStore::loadDocument(kIni, settings, nullptr));
    EngineTable engines(settings);
    ASSERT_GE(engines.engineIndexForPath(path), 0) << "no engine for " << GetParam().toStdString();
    Collect sink;
    RunAnalysis({path}, engines, AnalysisOptions{true, 1}, sink);
    ASSERT_EQ(sink.result.outcome, FileOutcome::Counted);
    EXPECT_EQ(sink.result.counts,
              (FileCounts{m.captured(1).toLongLong(), m.captured(2).toLongLong(), m.captured(3).toLongLong()}));
}

INSTANTIATE_TEST_SUITE_P(Shipped, SampleTest, ::testing::ValuesIn(sampleVector()),
                         [](const ::testing::TestParamInfo<QString>& info) {
                             return info.param.toStdString().replace(info.param.indexOf(u'.'), 1, "_");
                         });

TEST(ShippedSettings, EveryEngineHasASampleAndEveryTypeIsSearched)
{
    IniDocument settings;
    ASSERT_TRUE(SettingsStore::loadDocument(kIni, settings, nullptr));
    EngineTable engines(settings);
    QSet<QString> sampled;
    for (const QString& f : sampleFiles())
        sampled.insert(engines.engineForPath(f));
    const QStringList all = SettingsStore::profileValue(settings, QStringLiteral("Engin"), QStringLiteral("Anr_Eng")).split(u',');
    EXPECT_GE(all.size(), 10);
    for (const QString& engine : all)
        EXPECT_TRUE(sampled.contains(engine)) << "engine without a sample: " << engine.toStdString();

    FileTypeTable table = FileTypeTable::fromDocument(settings);
    EXPECT_GE(table.entries().size(), 25);
    for (const FileTypeEntry& e : table.entries()) {
        EXPECT_TRUE(e.searched()) << e.extension.toStdString();
        EXPECT_TRUE(all.contains(e.engine)) << e.extension.toStdString() << " uses an engine not in Anr_Eng";
        EXPECT_LE(e.extension.size(), 5);
        EXPECT_EQ(e.extension, e.extension.toLower());
    }
}
