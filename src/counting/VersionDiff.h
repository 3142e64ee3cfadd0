#pragma once

#include "counting/AnalysisRun.h"
#include "intake/DirectoryWalk.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

class EngineTable;

// Modification size between two versions of a source tree: files are paired by their path
// relative to each root, and each pair's steps (the text left of each executable line once
// comments and whitespace are removed) are compared with a diff.

enum class ChangeStatus { New, Deleted, Changed, Unchanged };
QString changeStatusText(ChangeStatus status); // "新規", "削除", "変更", "変更なし"
// The same for programs, in every language: "added", "deleted", "changed", "unchanged".
QString changeStatusCode(ChangeStatus status);

struct StepChanges {
    int64_t added = 0;
    int64_t changed = 0;
    int64_t deleted = 0;
    bool operator==(const StepChanges&) const = default;
};

// The shortest edit script between two step sequences, counted per hunk (a run of edits
// between unchanged steps): changed = min(added, deleted) of the hunk, the rest added or
// deleted.
StepChanges CompareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps);

// What the edit script made of one step of the new version.
enum class StepEdit : uint8_t { Unchanged, Added, Changed };
// The same script and figures, and in `newEdits` one entry per new step: within a hunk its
// first `changed` new steps are the changed ones, the rest added. Counting the entries gives
// the figures returned.
StepChanges CompareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps,
                         std::vector<StepEdit>& newEdits);

struct FileChange {
    QString relativePath;
    QString oldPath; // empty when the file is only in the new version
    QString newPath; // empty when the file is only in the old version
    QString renamedFrom; // the old relative path when the file was moved
    bool generated = false; // a version present was made by a code generator
    ChangeStatus status = ChangeStatus::Unchanged;
    // Counted when every version present was counted; otherwise the outcome that kept the
    // file from being compared (its steps then count nowhere).
    FileOutcome outcome = FileOutcome::Counted;
    int64_t oldSteps = 0;
    int64_t newSteps = 0;
    StepChanges steps;
    QString typeKey{}; // as FileResult::typeKey, for its newest version

    // 流用: the new version's steps carried over unchanged (those neither added nor changed).
    int64_t reusedSteps() const { return newSteps - steps.added - steps.changed; }
};

struct DiffTotals {
    qsizetype newFiles = 0;
    qsizetype deletedFiles = 0;
    qsizetype changedFiles = 0;
    qsizetype unchangedFiles = 0;
    int64_t oldSteps = 0;
    int64_t newSteps = 0;
    StepChanges steps;
    // Pairs with a generated version, and their steps (in the figures above when counted).
    qsizetype generatedFiles = 0;
    StepChanges generatedSteps;
    // Added and changed steps: the modification size.
    int64_t modifiedSteps() const { return steps.added + steps.changed; }
    // 流用: the new version's steps carried over unchanged.
    int64_t reusedSteps() const { return newSteps - steps.added - steps.changed; }
};

struct DiffSummary {
    qsizetype handledFiles = 0;
    DiffTotals totals;
    QList<SkippedDirectory> skipped;  // directories of either tree that could not be listed
    UnregisteredFiles unregistered;   // files of either tree the walk passed over (a path of both once)
    std::optional<RunError> error;    // a file that exists but could not be read ends the run
    // Set when AnalysisOptions::cancel stopped it: the last notCompared pairs were not started.
    bool cancelled = false;
    qsizetype notCompared = 0;
    bool completed() const { return !error.has_value() && !cancelled; }
};

// Receives the pairs in order (by relative path, a directory's files before its
// subdirectories), on the thread that called RunDiff.
class DiffSink {
public:
    virtual ~DiffSink() = default;
    virtual void diffStarted(qsizetype fileCount) { (void)fileCount; }
    virtual void fileCompared(qsizetype index, const FileChange& change) = 0;
    // Only when every pair was handled (not after an error or a cancel).
    virtual void diffFinished(const DiffSummary& summary) { (void)summary; }
};

struct DiffRequest {
    QString oldRoot;
    QString newRoot;
    QStringList extensions;        // the file types the directory search takes
    bool includeSubdirectories = true;
    DirectoryWalk::FilterFactory filter = nullptr; // what else the walk of each tree leaves out
    QStringList names{};           // whole file names the search takes
    QStringList interpreters{};    // interpreters of "#!" lines it takes
    // When given, receives the files the walks passed over before the first pair is compared
    // (as DiffSummary::unregistered).
    UnregisteredFiles* unregistered = nullptr;
};

DiffSummary RunDiff(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options, DiffSink& sink);

// One file of the comparison: its path in each version (in `AnalysisOptions::store`), empty
// where the version lacks it.
struct FilePair {
    QString relativePath;
    QString oldPath;
    QString newPath;
    QString renamedFrom; // the old relative path of a file that was moved
};

// Compares pairs that are already matched, in the order given.
DiffSummary RunPairedDiff(const std::vector<FilePair>& pairs, EngineTable& engines, const AnalysisOptions& options,
                          DiffSink& sink);

// Walk order of relative paths: within a directory its files by name, then its
// subdirectories by name, each with its whole tree.
bool walkOrderLess(const QString& a, const QString& b);
bool walkOrderLess(std::string_view a, std::string_view b); // on the file system's bytes

} // namespace tarvik
