#include "cli/CountModes.h"

#include "cli/CountSession.h"
#include "cli/DiffFormats.h"
#include "cli/OutputFormats.h"
#include "cli/ProgressBar.h"
#include "cli/SummaryOutput.h"
#include "config/Categories.h"
#include "config/NativePath.h"
#include "git/AuthorSteps.h"
#include "git/GitRevision.h"
#include "intake/AnalysisList.h"

#include <fstream>
#include <ostream>
#include <sys/stat.h>

namespace tarvik {

namespace {

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(pathToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The figures of a list of files: their rows, totals and subtotals in the format asked for.
class LineCount : public CountMode {
public:
    int run(CountSession& session) override
    {
        const CountOptions& o = session.options();
        SummarySet summaries(Subtotals::Measure::Lines);
        addSummaries(session, summaries);
        registerFiles(session);

        auto writer = FormatWriter::create(o.format, [&session](const QByteArray& b) { session.write(b); }, o.reportDate,
                                           o.csvReader());
        summaries.setNext(writer.get());
        writer->setUnregistered(&session.unregistered());
        ResultSink* sink = writer.get();
        if (!summaries.isEmpty()) {
            writer->setSummaries(&summaries);
            sink = &summaries;
        }
        if (session.generated() == GeneratedFiles::Separate)
            writer->separateGenerated();
        if (session.generatedChosen())
            writer->flagGenerated();
        if (!m_categories.empty() || o.categoryColumn) {
            // Below the folder each file was found in, as the subtotals by category match it.
            writer->setCategories(
                [this](const FileResult& r) {
                    const int root = m_roots.rootOf(r.path);
                    return m_categories.categoryOf(root < 0 ? r.path : r.path.mid(m_roots.root(root).size()));
                },
                o.categoryColumn);
        }

        EngineTable engines(session.settings());
        ProgressSink progress(*sink, session.progressBar());
        const RunSummary summary = RunAnalysis(m_list.entries(), engines, session.analysisOptions(store()), progress);
        session.progressBar().clear();
        session.reportUnregistered();
        if (!summary.completed())
            writer->runFailed(*summary.error);
        if (o.workbook())
            return session.concludeWorkbook(runError(summary.error), writer->takeSheets());
        return session.conclude(runError(summary.error));
    }

protected:
    // Fills the list, each file with the folder it was registered from when the subtotals go by
    // folder.
    virtual void registerFiles(CountSession& session) = 0;
    // Where the files are read; the disk when null.
    virtual const SourceStore* store() const { return nullptr; }

    void registerFrom(const QString& file, int root)
    {
        if (m_list.RegisterPath(file) && m_keepRoots)
            m_roots.assign(file, root);
    }
    int addRoot(const QString& folder) { return m_keepRoots ? m_roots.add(folder) : -1; }

private:
    void addSummaries(CountSession& session, SummarySet& summaries)
    {
        session.addSummaries(summaries, &m_roots, authors());
        m_categories = Categories::fromDocument(session.settings());
        m_keepRoots = summaries.byFolder() || !m_categories.empty() || session.options().categoryColumn;
    }

    AnalysisList m_list;
    Categories m_categories;
    FolderRoots m_roots; // where each file was registered from, for the subtotals by folder
    bool m_keepRoots = false;
};

// PATHs and --files-from: files as they are, folders by the folder search.
class FileCount : public LineCount {
public:
    std::optional<int> prepare(CountSession& session) override
    {
        m_paths = session.options().paths;
        const QString& listPath = session.options().filesFrom;
        if (listPath.isNull())
            return std::nullopt;
        std::ifstream list(pathToNative(listPath), std::ios::binary);
        if (!list)
            return usageError(session.err(), QStringLiteral("cannot read the path list %1").arg(listPath));
        std::string line;
        while (std::getline(list, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                m_paths << pathFromNative(line);
        }
        return std::nullopt;
    }

protected:
    void registerFiles(CountSession& session) override
    {
        DirectoryWalk walk(session.searched(), session.subdirs());
        walk.setFilter(session.walkFilter());
        for (const QString& arg : std::as_const(m_paths)) {
            const QString path = session.absolute(arg);
            if (isFolder(path)) {
                const int root = addRoot(FolderRoots::folder(path));
                WalkReport report = walk.walkConcurrently(path, [&](const QStringList& files) {
                    for (const QString& file : files)
                        registerFrom(file, root);
                });
                for (const SkippedDirectory& skipped : report.skipped)
                    session.reportSkipped(skipped);
                session.unregistered().add(report.unregistered);
            } else {
                // A single file comes from its folder.
                registerFrom(path, addRoot(path.left(path.lastIndexOf(u'/') + 1)));
            }
        }
    }

private:
    QStringList m_paths;
};

// A repository opened and every object checked before anything is written; the PATHs limit
// what is read of it.
std::unique_ptr<GitRepository> openRepository(CountSession& session, RevisionSelection& selection, std::optional<int>& exit)
{
    const CountOptions& o = session.options();
    QString error;
    std::unique_ptr<GitRepository> repo = GitRepository::open(session.absolute(o.repository), &error);
    if (!repo) {
        session.err() << "tarvik-count: " << error << "\n";
        exit = kBadArguments;
        return nullptr;
    }
    selection = RevisionSelection{{}, session.subdirs(), {}, session.exclusions()};
    selection.setTypes(session.searched());
    for (const QString& limit : o.paths) {
        const std::optional<QString> inside = repo->repositoryPath(limit, session.currentDirectory());
        if (!inside) {
            session.err() << "tarvik-count: " << limit << " is not inside the repository\n";
            exit = kBadArguments;
            return nullptr;
        }
        selection.limits << *inside;
    }
    // Started in a subfolder of the repository, as git is: that subfolder.
    if (selection.limits.isEmpty() && !repo->startFolder().isEmpty())
        selection.limits << repo->startFolder();
    return repo;
}

// --summary author: the history it reads is checked before any output is begun.
std::optional<int> openAuthors(CountSession& session, std::unique_ptr<AuthorSteps>& authors, const GitRepository& repo,
                               const QString& oldRevision, const QString& revision)
{
    if (session.options().authorTableAt < 0)
        return std::nullopt;
    QString error;
    authors = AuthorSteps::open(session.absolute(session.options().repository), oldRevision, revision,
                                session.settings(), session.analysisOptions(&repo.store()), &error);
    if (authors)
        return std::nullopt;
    session.err() << "tarvik-count: " << error << "\n";
    return kBadArguments;
}

// --repo DIR --rev REV: the files of a revision, read from the repository.
class RevisionCount : public LineCount {
public:
    std::optional<int> prepare(CountSession& session) override
    {
        std::optional<int> exit;
        RevisionSelection selection;
        m_repo = openRepository(session, selection, exit);
        if (!m_repo)
            return exit;
        QString error;
        m_files = m_repo->listFiles(session.options().revision, selection, &error, &session.unregistered());
        if (!m_files) {
            session.err() << "tarvik-count: " << error << "\n";
            return kBadArguments;
        }
        return openAuthors(session, m_authors, *m_repo, QString(), session.options().revision);
    }

protected:
    void registerFiles(CountSession&) override
    {
        // A revision's files come from its top, "REV:".
        for (const QString& file : std::as_const(*m_files))
            registerFrom(file, addRoot(file.left(file.indexOf(u':') + 1)));
    }
    const SourceStore* store() const override { return &m_repo->store(); }
    AuthorSteps* authors() override { return m_authors.get(); }

private:
    std::unique_ptr<GitRepository> m_repo;
    std::optional<QStringList> m_files;
    std::unique_ptr<AuthorSteps> m_authors;
};

// The steps added, changed and deleted between two versions.
class Comparison : public CountMode {
public:
    int run(CountSession& session) override
    {
        const CountOptions& o = session.options();
        EngineTable engines(session.settings());
        auto writer = DiffFormatWriter::create(o.format, [&session](const QByteArray& b) { session.write(b); },
                                               o.reportDate, o.csvReader());
        SummarySet summaries(Subtotals::Measure::Changes);
        session.addSummaries(summaries, nullptr, authors());
        summaries.setNext(writer.get());
        writer->setUnregistered(&session.unregistered());
        DiffSink* sink = writer.get();
        if (!summaries.isEmpty()) {
            writer->setSummaries(&summaries);
            sink = &summaries;
        }
        const Categories categories = Categories::fromDocument(session.settings());
        if (!categories.empty() || o.categoryColumn)
            writer->setCategories([&categories](const FileChange& c) { return categories.categoryOf(c.relativePath); },
                                  o.categoryColumn);
        DiffProgressSink progress(*sink, session.progressBar());
        const DiffSummary summary = compare(session, engines, progress);
        session.progressBar().clear();
        for (const SkippedDirectory& skipped : summary.skipped)
            session.reportSkipped(skipped);
        session.reportUnregistered();
        if (!summary.completed())
            writer->diffFailed(*summary.error);
        if (o.workbook())
            return session.concludeWorkbook(runError(summary.error), writer->takeSheets());
        return session.conclude(runError(summary.error));
    }

protected:
    virtual DiffSummary compare(CountSession& session, EngineTable& engines, DiffSink& sink) = 0;
};

// --diff OLD NEW: two folders, searched as a count searches them.
class FolderComparison : public Comparison {
public:
    std::optional<int> prepare(CountSession& session) override
    {
        for (const QString& folder : session.options().paths) {
            if (!isFolder(session.absolute(folder)))
                return usageError(session.err(), QStringLiteral("%1 is not a folder").arg(folder));
        }
        return std::nullopt;
    }

protected:
    DiffSummary compare(CountSession& session, EngineTable& engines, DiffSink& sink) override
    {
        const QStringList& folders = session.options().paths;
        const SearchedTypes& searched = session.searched();
        DiffRequest request{session.absolute(folders[0]), session.absolute(folders[1]), searched.extensions,
                            session.subdirs(), session.walkFilter(), searched.names, searched.interpreters};
        request.unregistered = &session.unregistered();
        return RunDiff(request, engines, session.analysisOptions(), sink);
    }
};

// --repo DIR --diff OLD NEW: two revisions, their files paired (moved ones too) before the run.
class RevisionComparison : public Comparison {
public:
    std::optional<int> prepare(CountSession& session) override
    {
        std::optional<int> exit;
        RevisionSelection selection;
        m_repo = openRepository(session, selection, exit);
        if (!m_repo)
            return exit;
        QString error;
        m_pairs = m_repo->pairFiles(session.options().oldRevision, session.options().newRevision, selection, &error,
                                    &session.unregistered());
        if (!m_pairs) {
            session.err() << "tarvik-count: " << error << "\n";
            return kBadArguments;
        }
        return openAuthors(session, m_authors, *m_repo, session.options().oldRevision, session.options().newRevision);
    }

protected:
    DiffSummary compare(CountSession& session, EngineTable& engines, DiffSink& sink) override
    {
        return RunPairedDiff(*m_pairs, engines, session.analysisOptions(&m_repo->store()), sink);
    }
    AuthorSteps* authors() override { return m_authors.get(); }

private:
    std::unique_ptr<GitRepository> m_repo;
    std::optional<std::vector<FilePair>> m_pairs;
    std::unique_ptr<AuthorSteps> m_authors;
};

} // namespace

std::optional<RunError> CountMode::runError(const std::optional<RunError>& error)
{
    if (error || !authors())
        return error;
    return authors()->error();
}

std::unique_ptr<CountMode> CountMode::create(CountOptions::Mode mode)
{
    switch (mode) {
    case CountOptions::Mode::FolderComparison:
        return std::make_unique<FolderComparison>();
    case CountOptions::Mode::Revision:
        return std::make_unique<RevisionCount>();
    case CountOptions::Mode::RevisionComparison:
        return std::make_unique<RevisionComparison>();
    case CountOptions::Mode::Count:
        break;
    }
    return std::make_unique<FileCount>();
}

} // namespace tarvik
