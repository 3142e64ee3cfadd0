#pragma once

#include "counting/FileCounts.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <optional>

namespace tarvik {

class EngineTable;
class SourceStore;

enum class FileOutcome { Counted, NoEngine, NotAnalysable, Missing };
// The outcome's name in machine-readable output: "Counted", "NoEngine", "NotAnalysable", "Missing".
QString outcomeName(FileOutcome outcome);

// The result of one listed path. Paths split into directory and Program ID at the last "/";
// the first `top` characters (a revision's "REV:") belong to the directory whatever they hold.
struct FileResult {
    QString path;
    QString programId;
    QString directory;
    FileOutcome outcome = FileOutcome::Missing;
    FileCounts counts; // all 0 unless Counted
    bool generated = false; // Counted, and made by a code generator (its first lines say so)
    // The settings key of its type when its name or "#!" line chose it ("Name_Makefile"); empty
    // when its extension did.
    QString typeKey{};

    static FileResult forPath(const QString& path, qsizetype top = 0);
};

struct RunError {
    qsizetype index = -1;
    QString path;
    QString reason;
};

struct RunSummary {
    qsizetype handledFiles = 0;
    int64_t totalSteps = 0; // executable lines of the Counted files
    std::optional<RunError> error; // set when the run ended with the unexpected error
    // Generated files met, and their executable lines (in totalSteps only when they are counted).
    qsizetype generatedFiles = 0;
    int64_t generatedSteps = 0;
    // Set when the run was cancelled: the last notCounted files of the list were not started.
    bool cancelled = false;
    qsizetype notCounted = 0;
    bool completed() const { return !error.has_value() && !cancelled; }
};

// Receives a run's results in list order, on the thread that called RunAnalysis.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void runStarted(qsizetype fileCount) { (void)fileCount; }
    virtual void fileAnalysed(qsizetype index, const FileResult& result) = 0;
    // Called only when every file was handled (not after the unexpected error or a cancel).
    virtual void runFinished(const RunSummary& summary) { (void)summary; }
};

// What becomes of generated files: counted like any other (as always), left out of the
// results, or listed but kept out of the totals.
enum class GeneratedFiles { Count, Skip, Separate };

struct AnalysisOptions {
    bool countSymbolLines = true;
    int jobs = 1; // files counted at once; the results are the same for every value
    const SourceStore* store = nullptr; // where the files are read; the file system when null
    GeneratedFiles generated = GeneratedFiles::Count;
    // Set from any thread to stop the run: no further file is started.
    const std::atomic<bool>* cancel = nullptr;
};

// Counts every path of the list in order. A file that exists but cannot be read ends the run:
// results delivered up to it stand, no totals follow, and the summary carries the error. A
// cancel ends it the same way before the next result, and the summary says so.
RunSummary RunAnalysis(const QStringList& paths, EngineTable& engines, const AnalysisOptions& options,
                       ResultSink& sink);

// The engine of a path of `store`: by its name, extension, or "#!" line read from the store.
int engineIndexIn(EngineTable& engines, const SourceStore& store, const QString& path, QString* typeKey = nullptr);

bool cancelRequested(const AnalysisOptions& options);

// Text shown for the unexpected error that ends a run.
QString unexpectedErrorMessage();

} // namespace tarvik
