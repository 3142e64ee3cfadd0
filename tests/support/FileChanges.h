#pragma once

#include "counting/VersionDiff.h"

#include <QString>

namespace tarvik::test {

// One compared file as a version comparison reports it: a new file has no old path, a deleted
// one no new path; the versions live under /v1 and /v2.
inline FileChange fileChange(const QString& relative, ChangeStatus status, int64_t oldSteps, int64_t newSteps,
                             StepChanges steps, FileOutcome outcome = FileOutcome::Counted)
{
    FileChange c;
    c.relativePath = relative;
    c.oldPath = status == ChangeStatus::New ? QString() : QStringLiteral("/v1/") + relative;
    c.newPath = status == ChangeStatus::Deleted ? QString() : QStringLiteral("/v2/") + relative;
    c.status = status;
    c.outcome = outcome;
    c.oldSteps = oldSteps;
    c.newSteps = newSteps;
    c.steps = steps;
    return c;
}

} // namespace tarvik::test
