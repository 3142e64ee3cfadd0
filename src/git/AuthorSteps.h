#pragma once

#include "config/IniDocument.h"
#include "counting/AnalysisRun.h"
#include "counting/VersionDiff.h"
#include "output/FigureTable.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tarvik {

// Steps per author, from the history of a repository: each step counted goes to the author of
// the commit that last changed its line (git's blame, names and addresses as .mailmap gives
// them). For a revision, every step of its files; for a comparison, the steps added and
// changed, each to the commit after OLD (on another branch: after the commit both last shared)
// that last changed its line in NEW, and the steps deleted, which no line of NEW holds, to a row
// of their own.
//
// Files are handed over as the run reports them; the history is read when the run has ended
// (finish), on as many threads as the run used.
class AuthorSteps {
public:
    ~AuthorSteps();
    AuthorSteps(const AuthorSteps&) = delete;
    AuthorSteps& operator=(const AuthorSteps&) = delete;

    // For a count of `revision` (oldRevision null) or a comparison of `oldRevision` with
    // `revision`, of the repository that holds `folder`, whose files are read from
    // `options.store`. Null with a one-line reason when the history needed is not there: a
    // shallow clone, a revision that is not a commit.
    static std::unique_ptr<AuthorSteps> open(const QString& folder, const QString& oldRevision,
                                             const QString& revision, const IniDocument& settings,
                                             const AnalysisOptions& options, QString* error);

    void add(const FileResult& result);
    void add(const FileChange& change);
    // Reads the blame of every file handed over. A file whose history cannot be read ends it:
    // error() says which, and the table holds what was read before it. The options' cancel ends
    // it too, before the next file.
    void finish();
    // From any thread: the files blamed so far, and the files handed over to be blamed.
    std::pair<size_t, size_t> progress() const;
    const std::optional<RunError>& error() const;

    // Titled "作者別": by author, most steps first, then the deleted steps (a comparison) and the
    // total, which is the run's.
    FigureTable table() const;

private:
    struct Impl;
    explicit AuthorSteps(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace tarvik
