#include "counting/SourceFile.h"

#include "config/TextCodec.h"
#include "counting/FileRead.h"
#include "counting/BoundedLineCounter.h"
#include "counting/LineClassifier.h"
#include "counting/SourceEncoding.h"

#include <algorithm>
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

    auto fail = [&](int err) {
        result.status = Status::Unreadable;
        result.error = errnoText(err);
        return result;
    };

    LineCounter counter(syntax, countSymbolLines);
    counter.collectSteps(steps);
    // Buffers are kept per thread: a run reads many small files one after another.
    thread_local std::string raw;
    thread_local std::string text;
    if (static_cast<size_t>(st.st_size) <= kWholeFileLimit) {
        // Read to the real end, even if the file grew since fstat. The buffer only grows, so
        // that it is not cleared again for every file.
        size_t room = static_cast<size_t>(st.st_size) + 1;
        if (raw.size() < room)
            raw.resize(room);
        size_t got = 0;
        for (;;) {
            ssize_t n = readFully(fd.get(), raw.data() + got, room - got);
            if (n < 0)
                return fail(errno);
            got += static_cast<size_t>(n);
            if (got < room)
                break;
            room *= 2;
            raw.resize(room);
        }
        std::string_view bytes(raw.data(), got);
        if (isValidUtf8(bytes)) {
            counter.feed(bytes.substr(utf8BomLength(bytes)));
        } else {
            const SourceEncoding encoding = detectSourceEncoding(bytes);
            TextDecoder decoder(encoding.name.c_str(), encoding.unitSize);
            text.clear();
            decoder.decode(bytes.substr(encoding.bomLength), text, true);
            counter.feed(text);
        }
    } else {
        raw.resize(kPieceSize);
        Utf8Validator validator;
        bool utf8 = true;
        for (;;) {
            ssize_t n = readFully(fd.get(), raw.data(), raw.size());
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
            if (::lseek(fd.get(), 0, SEEK_SET) != 0)
                return fail(errno);
            std::string sample(kSampleSize, '\0');
            ssize_t n = readFully(fd.get(), sample.data(), sample.size());
            if (n < 0)
                return fail(errno);
            sample.resize(static_cast<size_t>(n));
            encoding = detectSourceEncoding(sample);
        }

        // A line may be as long as the file: it is held in a shortened form where that gives
        // the same result, and counted again in full only where it might not. Step texts are
        // wanted whole, so a file whose steps are collected is never shortened.
        std::vector<size_t> limits{BoundedLineCounter::kDefaultShortenAbove, SIZE_MAX};
        if (steps)
            limits.erase(limits.begin());
        for (size_t shortenAbove : limits) {
            if (::lseek(fd.get(), 0, SEEK_SET) != 0)
                return fail(errno);
            BoundedLineCounter streamed(syntax, countSymbolLines, shortenAbove);
            streamed.collectSteps(steps);
            TextDecoder decoder(encoding.name.c_str(), encoding.unitSize);
            std::string carry;
            bool first = true;
            for (;;) {
                ssize_t n = readFully(fd.get(), raw.data(), raw.size());
                if (n < 0)
                    return fail(errno);
                std::string_view piece(raw.data(), static_cast<size_t>(n));
                if (first)
                    piece.remove_prefix(utf8 ? utf8BomLength(piece) : std::min(encoding.bomLength, piece.size()));
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

} // namespace tarvik
