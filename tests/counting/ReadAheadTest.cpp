#include "counting/ReadAhead.h"

#include "config/NativePath.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

// The indices a ReadAhead asked for, to see how far it ran ahead.
struct Asked {
    std::mutex mutex;
    std::vector<qsizetype> indices;
    qsizetype count()
    {
        std::lock_guard lock(mutex);
        return static_cast<qsizetype>(indices.size());
    }
    // Waits until `n` were asked for (or a while has gone by), then a little more, for any beyond.
    qsizetype settle(qsizetype n)
    {
        for (int i = 0; i < 500 && count() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return count();
    }
};

} // namespace

// Readers stay within their files and bytes of the consumer, and go on as it moves.
TEST(ReadAhead, StaysWithinItsBoundsAheadOfTheConsumer)
{
    Asked asked;
    {
        ReadAhead ahead(3 * ReadAhead::kMaxFilesAhead, [&](qsizetype i) {
            std::lock_guard lock(asked.mutex);
            asked.indices.push_back(i);
            return std::string(); // nothing to open
        });
        EXPECT_EQ(asked.settle(ReadAhead::kMaxFilesAhead), ReadAhead::kMaxFilesAhead);
        ahead.reached(100);
        EXPECT_EQ(asked.settle(ReadAhead::kMaxFilesAhead + 100), ReadAhead::kMaxFilesAhead + 100);
    }
    std::sort(asked.indices.begin(), asked.indices.end());
    for (qsizetype i = 0; i < asked.count(); ++i)
        ASSERT_EQ(asked.indices[static_cast<size_t>(i)], i); // each once, in order

    // Large files (sparse) count for what is asked of each: with one reader, it stops once they
    // make the byte bound.
    const int atBound = static_cast<int>(ReadAhead::kMaxBytesAhead / ReadAhead::kMaxBytesPerFile);
    TempDir dir;
    for (int i = 0; i < atBound + 2; ++i) {
        QFile f(dir.path(QStringLiteral("big%1").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(qint64(40) << 20));
    }
    Asked big;
    ReadAhead ahead(atBound + 2, [&](qsizetype i) {
        std::lock_guard lock(big.mutex);
        big.indices.push_back(i);
        return pathToNative(dir.path(QStringLiteral("big%1").arg(i)));
    }, 1);
    EXPECT_EQ(big.settle(atBound), atBound);
    ahead.reached(1);
    EXPECT_EQ(big.settle(atBound + 1), atBound + 1);
}
