#pragma once

#include "cli/CountOptions.h"

#include <memory>
#include <optional>

namespace tarvik {

class CountSession;

// One mode of the command: counting files from the disk or of a revision, or comparing two
// folders or two revisions. Each checks and opens what it reads before any output is begun,
// then runs into the session's output.
class CountMode {
public:
    virtual ~CountMode() = default;
    static std::unique_ptr<CountMode> create(CountOptions::Mode mode);

    // A status to exit with when what the run reads cannot be had (said why on standard error).
    virtual std::optional<int> prepare(CountSession& session) = 0;
    virtual int run(CountSession& session) = 0;
};

} // namespace tarvik
