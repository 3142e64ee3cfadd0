#pragma once

#include <cstdint>

namespace tarvik {

// Executable, comment and total line counts of one file; total = executable + comment + blank.
struct FileCounts {
    int64_t executable = 0;
    int64_t comment = 0;
    int64_t total = 0;

    bool operator==(const FileCounts&) const = default;
};

} // namespace tarvik
