// Every shipped engine is checked against self-describing samples: the first line of each
// sample states its own counts ("tarvik: executable N comment N total N"). The samples at the
// top of tests/samples are counted with the table as it was before engines had comment rules,
// and must keep their figures: a settings file without the rules counts exactly as before. The
// shipped table counts tests/samples/shipped, and the top samples that folder has no version of.
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
const QString kShippedSamples = QStringLiteral(TARVIK_SOURCE_DIR "/tests/samples/shipped");
const QString kIni = QStringLiteral(TARVIK_SOURCE_DIR "/data/Tarvik.ini");
const QString kClassicIni = QStringLiteral(TARVIK_SOURCE_DIR "/tests/counting/classic-Tarvik.ini");

struct Sample {
    QString path;
    QString ini;
};

// The shipped table's samples, as paths.
QStringList sampleFiles()
{
    const QStringList shipped = QDir(kShippedSamples).entryList(QDir::Files, QDir::Name);
    QStringList paths;
    for (const QString& f : QDir(kSamples).entryList(QDir::Files, QDir::Name)) {
        if (!shipped.contains(f))
            paths << kSamples + u'/' + f;
    }
    for (const QString& f : shipped)
        paths << kShippedSamples + u'/' + f;
    return paths;
}

std::vector<Sample> sampleVector()
{
    std::vector<Sample> samples;
    for (const QString& f : QDir(kSamples).entryList(QDir::Files, QDir::Name))
        samples.push_back({kSamples + u'/' + f, kClassicIni});
    for (const QString& path : sampleFiles())
        samples.push_back({path, kIni});
    return samples;
}

class Collect : public ResultSink {
public:
    void fileAnalysed(qsizetype, const FileResult& r) override { result = r; }
    FileResult result;
};

class SampleTest : public ::testing::TestWithParam<Sample> {};

} // namespace

TEST_P(SampleTest, CountsMatchTheSampleHeader)
{
    const QString path = GetParam().path;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString header = QString::fromUtf8(file.readLine());
    QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("tarvik: executable (\\d+) comment (\\d+) total (\\d+)")).match(header);
    ASSERT_TRUE(m.hasMatch()) << "no count header in " << path.toStdString();

    IniDocument settings;
    ASSERT_TRUE(SettingsStore::loadDocument(GetParam().ini, settings, nullptr));
    EngineTable engines(settings);
    ASSERT_GE(engines.engineIndexForPath(path), 0) << "no engine for " << path.toStdString();
    Collect sink;
    RunAnalysis({path}, engines, AnalysisOptions{true, 1}, sink);
    ASSERT_EQ(sink.result.outcome, FileOutcome::Counted);
    EXPECT_EQ(sink.result.counts,
              (FileCounts{m.captured(1).toLongLong(), m.captured(2).toLongLong(), m.captured(3).toLongLong()}));
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTest, ::testing::ValuesIn(sampleVector()),
                         [](const ::testing::TestParamInfo<Sample>& info) {
                             QString name = (info.param.ini == kIni ? QStringLiteral("Shipped_") : QStringLiteral("Classic_"))
                                 + info.param.path.section(u'/', -1);
                             for (QChar& c : name) {
                                 if (!c.isLetterOrNumber())
                                     c = u'_';
                             }
                             return name.toStdString();
                         });

TEST(ShippedSettings, EveryEngineHasASampleAndEveryTypeIsSearched)
{
    IniDocument settings;
    ASSERT_TRUE(SettingsStore::loadDocument(kIni, settings, nullptr));
    EngineTable engines(settings);
    QSet<QString> sampled;
    for (const QString& f : sampleFiles())
        sampled.insert(engines.engineForPath(f.section(u'/', -1)));
    const QStringList all = SettingsStore::profileValue(settings, QStringLiteral("Engin"), QStringLiteral("Anr_Eng")).split(u',');
    EXPECT_GE(all.size(), 10);
    for (const QString& engine : all)
        EXPECT_TRUE(sampled.contains(engine)) << "engine without a sample: " << engine.toStdString();

    FileTypeTable table = FileTypeTable::fromDocument(settings);
    EXPECT_GE(table.entries().size(), 25);
    for (const FileTypeEntry& e : table.entries()) {
        EXPECT_TRUE(e.searched()) << e.extension.toStdString();
        EXPECT_TRUE(all.contains(e.engine)) << e.extension.toStdString() << " uses an engine not in Anr_Eng";
        // Also types the file-type editor could not type (longer than five letters, upper case:
        // ".svelte", ".S"), each found through its entry, keys being read case-folded.
        EXPECT_FALSE(engines.engineForPath(QStringLiteral("x.") + e.extension).isEmpty()) << e.extension.toStdString();
    }
}
