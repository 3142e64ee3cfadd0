#include "counting/SourceFile.h"

#include "config/TextCodec.h"
#include "counting/FileRead.h"
#include "counting/BoundedLineCounter.h"
#include "counting/GeneratedMark.h"
#include "counting/LineClassifier.h"
#include "counting/SourceEncoding.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

using Status = SourceFileCount::Status;

// Files up to this size are read in one piece; larger ones are streamed twice (once to learn
// the encoding, once to count).
constexpr size_t kWholeFileLimit = 8u << 20;
constexpr size_t kPieceSize = 1u << 20;
constexpr size_t kSampleSize = 4u << 20;

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

Status statusOfStat(int rc, const struct stat& st, int err, QString* error)
{
    if (rc != 0) {
        // The file is not there (or a link leads nowhere): that is an ordinary result.
        if (err == ENOENT || err == ENOTDIR || err == ELOOP || err == ENAMETOOLONG)
            return Status::NotAFile;
        if (error)
            *error = errnoText(err);
        return Status::Unreadable;
    }
    return S_ISREG(st.st_mode) ? Status::Counted : Status::NotAFile;
}


// The bytes of one file from its start, in pieces; rewind() starts again.
class ByteReader {
public:
    virtual ~ByteReader() = default;
    // Up to `want` bytes, fewer only at the end; -1 with errno set on failure.
    virtual ssize_t read(char* buf, size_t want) = 0;
    virtual bool rewind() = 0;
    // The whole rest in one view when the bytes are in memory already.
    virtual std::optional<std::string_view> whole() const { return std::nullopt; }
};

class FdReader : public ByteReader {
public:
    explicit FdReader(int fd) : m_fd(fd) {}
    ssize_t read(char* buf, size_t want) override { return readFully(m_fd, buf, want); }
    bool rewind() override { return ::lseek(m_fd, 0, SEEK_SET) == 0; }

private:
    int m_fd;
};

class MemoryReader : public ByteReader {
public:
    explicit MemoryReader(std::string_view bytes) : m_bytes(bytes) {}
    ssize_t read(char* buf, size_t want) override
    {
        const size_t n = std::min(want, m_bytes.size() - m_at);
        std::memcpy(buf, m_bytes.data() + m_at, n);
        m_at += n;
        return static_cast<ssize_t>(n);
    }
    bool rewind() override
    {
        m_at = 0;
        return true;
    }
    std::optional<std::string_view> whole() const override { return m_bytes; }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

// Counts a file held whole; returns whether it carries a generator's mark.
bool countWhole(std::string_view bytes, LineCounter& counter)
{
    thread_local std::string text;
    if (isValidUtf8(bytes)) {
        counter.feed(bytes.substr(utf8BomLength(bytes)));
        return hasGeneratorMark(bytes, SourceEncoding{});
    }
    const SourceEncoding encoding = detectSourceEncoding(bytes);
    TextDecoder decoder(encoding.name.c_str(), encoding.unitSize);
    text.clear();
    decoder.decode(bytes.substr(encoding.bomLength), text, true);
    counter.feed(text);
    return hasGeneratorMark(bytes, encoding);
}

// `size` is what the file held when it was opened; a file that grows meanwhile is read to its
// real end all the same.
SourceFileCount countBytes(ByteReader& reader, uint64_t size, const CommentSyntax& syntax, bool countSymbolLines,
                           std::vector<std::string>* steps, std::vector<int64_t>* lines = nullptr)
{
    SourceFileCount result;
    auto fail = [&](int err) {
        result.status = Status::Unreadable;
        result.error = errnoText(err);
        return result;
    };

    LineCounter counter(syntax, countSymbolLines);
    counter.collectSteps(steps);
    counter.collectLines(lines);
    // Buffers are kept per thread: a run reads many small files one after another.
    thread_local std::string raw;
    std::string text;
    if (size <= kWholeFileLimit) {
        if (const std::optional<std::string_view> bytes = reader.whole()) {
            result.generated = countWhole(*bytes, counter);
        } else {
            // Read to the real end, even if the file grew since it was opened. The buffer only
            // grows, so that it is not cleared again for every file.
            size_t room = static_cast<size_t>(size) + 1;
            if (raw.size() < room)
                raw.resize(room);
            size_t got = 0;
            for (;;) {
                ssize_t n = reader.read(raw.data() + got, room - got);
                if (n < 0)
                    return fail(errno);
                got += static_cast<size_t>(n);
                if (got < room)
                    break;
                room *= 2;
                raw.resize(room);
            }
            result.generated = countWhole(std::string_view(raw.data(), got), counter);
        }
    } else {
        raw.resize(kPieceSize);
        Utf8Validator validator;
        bool utf8 = true;
        for (;;) {
            ssize_t n = reader.read(raw.data(), raw.size());
            if (n < 0)
                return fail(errno);
            if (n == 0)
                break;
            if (!validator.feed(std::string_view(raw.data(), static_cast<size_t>(n)))) {
                utf8 = false;
                break;
            }
        }
        utf8 = utf8 && validator.finish();

        // The encoding of a large file that is not UTF-8 is judged on its beginning.
        SourceEncoding encoding;
        if (!utf8) {
            if (!reader.rewind())
                return fail(errno);
            std::string sample(kSampleSize, '\0');
            ssize_t n = reader.read(sample.data(), sample.size());
            if (n < 0)
                return fail(errno);
            sample.resize(static_cast<size_t>(n));
            encoding = detectSourceEncoding(sample);
        }

        // A line may be as long as the file: it is held in a shortened form where that gives
        // the same result, and counted again in full only where it might not. Step texts are
        // wanted whole, so a file whose steps are collected is never shortened; nor one whose
        // line numbers are, which a second pass would collect twice.
        std::vector<size_t> limits{BoundedLineCounter::kDefaultShortenAbove, SIZE_MAX};
        if (steps || lines)
            limits.erase(limits.begin());
        for (size_t shortenAbove : limits) {
            if (!reader.rewind())
                return fail(errno);
            BoundedLineCounter streamed(syntax, countSymbolLines, shortenAbove);
            streamed.collectSteps(steps);
            streamed.collectLines(lines);
            TextDecoder decoder(encoding.name.c_str(), encoding.unitSize);
            std::string carry;
            bool first = true;
            for (;;) {
                ssize_t n = reader.read(raw.data(), raw.size());
                if (n < 0)
                    return fail(errno);
                std::string_view piece(raw.data(), static_cast<size_t>(n));
                if (first) {
                    result.generated = hasGeneratorMark(piece, utf8 ? SourceEncoding{} : encoding);
                    piece.remove_prefix(utf8 ? utf8BomLength(piece) : std::min(encoding.bomLength, piece.size()));
                }
                if (utf8) {
                    if (!streamed.feed(piece))
                        break;
                } else {
                    carry.append(piece);
                    text.clear();
                    size_t used = decoder.decode(carry, text, n == 0);
                    carry.erase(0, used);
                    if (!streamed.feed(text))
                        break;
                }
                first = false;
                if (n == 0)
                    break;
            }
            streamed.finish();
            if (streamed.needsExactCount())
                continue;
            result.counts = streamed.counts();
            result.status = streamed.abandoned() ? Status::Abandoned : Status::Counted;
            return result;
        }
        return fail(EIO); // not reached: the unshortened count always settles
    }
    counter.finish();
    result.counts = counter.counts();
    result.status = counter.abandoned() ? Status::Abandoned : Status::Counted;
    return result;
}

} // namespace

SourceFileCount::Status probeSourceFile(const std::string& nativePath, QString* error)
{
    struct stat st {};
    int rc = ::stat(nativePath.c_str(), &st);
    return statusOfStat(rc, st, errno, error);
}

SourceFileCount countSourceFile(const std::string& nativePath, const CommentSyntax& syntax, bool countSymbolLines,
                                std::vector<std::string>* steps)
{
    SourceFileCount result;
    result.status = probeSourceFile(nativePath, &result.error);
    if (result.status != Status::Counted)
        return result;

    // O_NONBLOCK: if the path was swapped for a FIFO since the test above, open must not hang.
    Fd fd(::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        int err = errno;
        result.status = statusOfStat(-1, {}, err, &result.error);
        if (result.status == Status::NotAFile)
            return result;
        result.status = Status::Unreadable;
        result.error = errnoText(err);
        return result;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.status = Status::NotAFile;
        return result;
    }

    FdReader reader(fd.get());
    return countBytes(reader, static_cast<uint64_t>(st.st_size), syntax, countSymbolLines, steps);
}

SourceFileCount countSourceBytes(std::string_view bytes, const CommentSyntax& syntax, bool countSymbolLines,
                                 std::vector<std::string>* steps)
{
    MemoryReader reader(bytes);
    return countBytes(reader, bytes.size(), syntax, countSymbolLines, steps);
}

SourceFileCount executableLinesOfBytes(std::string_view bytes, const CommentSyntax& syntax, bool countSymbolLines,
                                       std::vector<int64_t>& lines, std::vector<std::string>* steps)
{
    lines.clear();
    if (steps)
        steps->clear();
    MemoryReader reader(bytes);
    return countBytes(reader, bytes.size(), syntax, countSymbolLines, steps, &lines);
}

} // namespace tarvik
