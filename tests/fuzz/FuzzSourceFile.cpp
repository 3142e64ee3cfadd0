// Source files read from disk count as their decoded text does: small files read whole, large
// ones streamed in pieces (the encoding learnt in a first pass, CP932 characters and CR LF cut by
// piece boundaries).
//
// Input: a flags byte (bit 3: count symbol lines; bits 0 to 2 all set: the file may be made large
// enough to be streamed), a byte placing a piece boundary, then the file's bytes.
#include "config/TextCodec.h"
#include "counting/LineClassifier.h"
#include "counting/SourceEncoding.h"
#include "counting/SourceFile.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace tarvik;

namespace {

const std::string& scratchFile()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp")
            + "/tarvik-fuzz-source-" + std::to_string(::getpid());
    }();
    return path;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    CHECK(f);
    CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    CHECK(std::fclose(f) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned flags = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const CommentSyntax syntax{"//", "/*", "*/"};
    const bool symbols = flags & 8;

    SourceFileCount counted;
    LineCountResult expected;
    // A 9 MiB file costs as much as a thousand small ones, and mutations keep the flag bits:
    // of the inputs that ask, only one in 256 (by a hash of its bytes, so that a finding
    // replays) is made large. The pieces themselves are fuzzed in small sizes elsewhere.
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    if ((flags & 7) == 7 && std::hash<std::string_view>()(whole) % 256 == 0) {
        // A long first line of "x", then the input, so that the boundary between the ninth and
        // tenth piece falls inside the input.
        constexpr size_t kPiece = 1u << 20, kStreamed = 9 * kPiece;
        static const std::string longLine(kStreamed, 'x');
        const size_t lead = kStreamed - std::min<size_t>(bytes.size(), 1 + data[1]);
        std::string file;
        file.reserve(lead + bytes.size());
        file.append(longLine, 0, lead - 1).append(1, '\n').append(bytes);
        writeFile(scratchFile(), file);
        counted = countSourceFile(scratchFile(), syntax, symbols);
        // The file begins with plain ASCII, so one that is not UTF-8 is judged CP932; a
        // byte-order mark after that line is no longer at the start and stays.
        std::string decoded;
        if (isValidUtf8(bytes)) {
            decoded.assign(bytes);
        } else {
            Cp932Decoder decoder;
            decoder.decode(bytes, decoded, true);
        }
        expected = CountFileLines(decoded, syntax, symbols);
        if (!expected.abandoned) {
            ++expected.counts.executable;
            ++expected.counts.total;
        }
    } else {
        writeFile(scratchFile(), bytes);
        counted = countSourceFile(scratchFile(), syntax, symbols);
        // Decoded as a file is: UTF-8 as it stands, anything else in the encoding detected.
        std::string decoded;
        if (isValidUtf8(bytes)) {
            decoded.assign(bytes.substr(utf8BomLength(bytes)));
        } else {
            const SourceEncoding encoding = detectSourceEncoding(bytes);
            TextDecoder decoder(encoding.name.c_str(), encoding.unitSize);
            decoder.decode(bytes.substr(encoding.bomLength), decoded, true);
        }
        expected = CountFileLines(decoded, syntax, symbols);
    }
    CHECK(counted.status == (expected.abandoned ? SourceFileCount::Status::Abandoned : SourceFileCount::Status::Counted));
    CHECK(counted.counts == expected.counts);
    ::unlink(scratchFile().c_str());
    return 0;
}
