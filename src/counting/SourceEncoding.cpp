#include "counting/SourceEncoding.h"

#include "config/TextCodec.h"

#include <uchardet/uchardet.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace tarvik {

namespace {

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// The detector settles real text within a few hundred non-ASCII characters and then ignores
// the rest, but on bytes it cannot make out (a binary, random data) every probe it has reads
// every byte, at about a microsecond a byte. It is given the sample only up to this many bytes
// above 0x7F, so that its cost is bounded whatever follows.
constexpr size_t kDetectorHighBytes = 8192;

std::string_view detectorSample(std::string_view sample)
{
    size_t high = 0;
    size_t i = 0;
    for (uint64_t word; i + 8 <= sample.size(); i += 8) {
        std::memcpy(&word, sample.data() + i, 8);
        const auto n = static_cast<size_t>(__builtin_popcountll(word & 0x8080808080808080ull));
        if (high + n >= kDetectorHighBytes)
            break;
        high += n;
    }
    for (; i < sample.size(); ++i) {
        if ((static_cast<unsigned char>(sample[i]) & 0x80) && ++high == kDetectorHighBytes)
            return sample.substr(0, i + 1);
    }
    return sample;
}

std::string detectorAnswer(std::string_view sample)
{
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector)
        return {};
    if (uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0)
        return {};
    uchardet_data_end(detector.get());
    const char* charset = uchardet_get_charset(detector.get());
    return charset ? std::string(charset) : std::string();
}

// True when every byte sequence is a CP932 character: such bytes are read as CP932 even when
// the detector guesses a Western or Chinese encoding, which short Japanese files often draw.
bool isValidCp932(std::string_view bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return true;
    char buffer[4096];
    char* src = const_cast<char*>(bytes.data());
    size_t left = bytes.size();
    bool valid = true;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) && errno != E2BIG) {
            valid = false;
            break;
        }
    }
    iconv_close(cd);
    return valid;
}

bool iconvKnows(const std::string& name)
{
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

} // namespace

size_t utf8BomLength(std::string_view bytes) { return startsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0; }

SourceEncoding detectSourceEncoding(std::string_view sample)
{
    if (startsWith(sample, "\xFF\xFE"))
        return {"UTF-16LE", 2, 2};
    if (startsWith(sample, "\xFE\xFF"))
        return {"UTF-16BE", 2, 2};
    if (startsWith(sample, "\xEF\xBB\xBF"))
        return {"UTF-8", 3, 1}; // a mark, then bytes that are not all UTF-8

    const std::string answer = detectorAnswer(detectorSample(sample));
    if (answer == "EUC-JP")
        return {"EUC-JP", 0, 1};
    if (answer.empty() || answer == "SHIFT_JIS" || answer == "ASCII" || answer == "UTF-8")
        return {"CP932", 0, 1};
    if (!isValidCp932(sample) && iconvKnows(answer))
        return {answer, 0, 1};
    return {"CP932", 0, 1};
}

} // namespace tarvik
