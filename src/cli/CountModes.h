#pragma once

#include "cli/CountOptions.h"

#include <memory>
#include <optional>

namespace tarvik {

class AuthorSteps;
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

protected:
    // The steps by author, when they were asked for and the mode reads a repository's history.
    virtual AuthorSteps* authors() { return nullptr; }
    // The run's error, else the history's that the authors' table could not read.
    std::optional<RunError> runError(const std::optional<RunError>& error);
};

} // namespace tarvik
