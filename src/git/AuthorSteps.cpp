#include "git/AuthorSteps.h"
#include "git/GitHandles.h"

#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/SourceFile.h"
#include "counting/SourceStore.h"

#include <git2.h>
#include <git2/sys/repository.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace tarvik {

namespace {

// What becomes of a file's steps.
enum class Kind {
    Count, // every step to its author's executable lines
    Added, // a file only in NEW: every step added
    Paired // a file of both versions: the edit script tells its added and changed steps
};

struct Job {
    std::string path;    // in NEW (or the revision counted)
    std::string oldPath; // Paired: in OLD
    int engine;
    Kind kind;
};

struct Figures {
    int64_t files = 0;
    int64_t executable = 0;
    int64_t added = 0;
    int64_t changed = 0;
    int64_t steps() const { return executable + added + changed; }
};

void addTo(Figures& to, const Figures& f)
{
    to.files += f.files;
    to.executable += f.executable;
    to.added += f.added;
    to.changed += f.changed;
}

// The line of git's (ended by LF alone), from 1, that each line of the counting (ended by CR LF,
// lone CR or LF) stands on; empty when they are the same lines, as they are without a lone CR.
std::vector<int64_t> gitLinesOfCountedLines(std::string_view bytes)
{
    std::vector<int64_t> out;
    bool loneCr = false;
    for (size_t at = bytes.find('\r'); at != std::string_view::npos && !loneCr; at = bytes.find('\r', at + 1))
        loneCr = at + 1 == bytes.size() || bytes[at + 1] != '\n';
    if (!loneCr)
        return out;
    int64_t line = 1;
    out.push_back(line);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n')
            out.push_back(++line);
        else if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            out.push_back(line);
    }
    return out;
}

// How many moves within a file a line is followed back through.
constexpr int kMostMoves = 8;
// A line with fewer letters and digits ("}", "x++;") is too common to say where it came from.
constexpr int kLeastMovedLetters = 4;

bool distinctive(std::string_view line)
{
    int letters = 0;
    for (char c : line) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c & 0x80))
            ++letters;
    }
    return letters >= kLeastMovedLetters;
}

// git's lines of a file: ended by LF alone.
void splitGitLines(std::string_view bytes, std::vector<std::string_view>& lines)
{
    lines.clear();
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
}

QString authorText(const git_blame_hunk* hunk)
{
    const git_signature* who = hunk ? hunk->final_signature : nullptr;
    return who ? QString::fromUtf8(who->name) + QStringLiteral(" <") + QString::fromUtf8(who->email) + u'>' : QString();
}

// A file as one commit has it: each line's text with how many lines hold it and the first.
struct Tally {
    bool present = false;
    std::string bytes;
    std::unordered_map<std::string_view, std::pair<int, size_t>> lines; // count, first line from 0
};

// A step's line that blame gave to a commit which may only have moved it.
struct Moving {
    size_t wanted;          // the step's place in the wanted lines
    std::string_view text;
    git_oid commit;         // the commit blame gave it to
    std::string path;       // the file's path there
    git_oid parent{};       // where the line is looked for next
    size_t parentLine = 0;  // from 1
};

} // namespace

struct AuthorSteps::Impl {
    struct Worker;
    std::string gitDir;
    git_oid newest{};
    std::optional<git_oid> oldest; // a comparison: OLD
    // Where the history read for a comparison ends: the commit OLD and NEW last shared (OLD itself
    // when NEW descends from it), as `git blame OLD..NEW` ends there. None for unrelated histories.
    std::optional<git_oid> bound;
    EngineTable engines;
    AnalysisOptions options;
    const SourceStore* store = nullptr;

    std::vector<Job> jobs;
    std::vector<QString> jobPaths; // as the run named them, for an error
    Figures total;
    int64_t deleted = 0;
    Figures earlier; // a comparison's steps whose lines stood there before OLD
    QHash<QString, Figures> byAuthor;
    std::optional<RunError> error;

    std::mutex mutex; // over the jobs, closed, failed and error
    std::condition_variable queued;
    bool closed = false; // no more jobs come
    bool failed = false;
    size_t next = 0; // the first job no thread has taken
    std::atomic<size_t> blamed{0};
    std::vector<std::thread> threads;
    bool threadRefused = false;

    explicit Impl(const IniDocument& settings) : engines(settings) {}

    QString relative(const QString& path) const { return path.mid(store->topLength(path)); }
    void addJob(const QString& path, const QString& oldPath, Kind kind)
    {
        const int engine = engineIndexIn(engines, *store, path);
        if (engine < 0)
            return;
        {
            const std::lock_guard lock(mutex);
            jobs.push_back(Job{pathToNative(relative(path)), pathToNative(relative(oldPath)), engine, kind});
            jobPaths.push_back(path);
        }
        queued.notify_one();
        if (threads.size() < workers.size() && jobs.size() > threads.size() && !threadRefused) {
            try {
                threads.emplace_back([this, w = workers[threads.size()].get()] { blameQueued(*w); });
            } catch (const std::system_error&) {
                threadRefused = true;
            }
        }
    }

    // The blame runs beside the count, on as many threads as the count (each started when there
    // is a file for it), each taking the next file handed over. A thread's repository handle keeps
    // the commits and trees the files' histories share.
    void blameQueued(Worker& worker)
    {
        git_repository* raw = nullptr;
        if (git_repository_open(&raw, gitDir.c_str()) == 0)
            worker.repo.reset(raw);
        // Each step of a blame reads the configuration, which libgit2 checks on disk every time:
        // three stat calls, hundreds of times per file. The run reads the configuration once.
        git_config* snapshot = nullptr;
        if (worker.repo && git_repository_config_snapshot(&snapshot, worker.repo.get()) == 0) {
            git_repository_set_config(worker.repo.get(), snapshot);
            git_config_free(snapshot);
        }
        const bool ready = worker.repo && treeOf(worker.repo.get(), newest, worker.newTree)
                           && (!oldest || treeOf(worker.repo.get(), *oldest, worker.oldTree));
        for (;;) {
            Job job;
            size_t i;
            {
                std::unique_lock lock(mutex);
                queued.wait(lock, [&] { return failed || closed || next < jobs.size(); });
                // A run stopped by the user leaves the files not yet blamed.
                if (failed || next >= jobs.size() || cancelRequested(options))
                    return;
                i = next++;
                job = jobs[i];
            }
            const std::optional<QString> reason = ready ? run(worker, job) : lastGitError();
            ++blamed;
            if (reason) {
                const std::lock_guard lock(mutex);
                error = RunError{-1, jobPaths[i], *reason};
                failed = true;
            }
        }
    }

    // What a blaming thread holds: its own repository handle, as libgit2's are not to be shared.
    struct Worker {
        RepositoryPtr repo;
        TreePtr newTree, oldTree;
        std::vector<int64_t> lines, oldLines;
        std::vector<std::string> steps, oldSteps;
        std::vector<StepEdit> edits;
        std::vector<std::pair<int64_t, StepEdit>> wanted; // line from 0, and what its step is
        std::vector<std::pair<QString, Figures>> inFile;
        QHash<QString, Figures> byAuthor;
        std::string bytes, oldBytes;
        std::vector<QString> authors;             // of each wanted line
        std::vector<char> earlier;                // of each wanted line: it stood there at OLD
        Figures earlierSteps;
        std::vector<std::string_view> gitLines;   // of the file in NEW
        std::unordered_map<std::string, Tally> tallies; // by commit and path, for one file
        std::vector<Moving> moving, moved;
    };
    std::vector<std::unique_ptr<Worker>> workers;

    const Tally& tally(Worker& w, const git_oid& commit, const std::string& path) const
    {
        std::string key(reinterpret_cast<const char*>(commit.id), GIT_OID_RAWSZ);
        key += path;
        auto [it, added] = w.tallies.try_emplace(std::move(key));
        Tally& t = it->second;
        if (added) {
            TreePtr tree;
            t.present = treeOf(w.repo.get(), commit, tree) && readBlob(w.repo.get(), tree.get(), path, t.bytes);
            std::vector<std::string_view> lines;
            splitGitLines(t.bytes, lines);
            for (size_t i = 0; i < lines.size(); ++i) {
                auto [line, first] = t.lines.try_emplace(lines[i], 0, i);
                ++line->second.first;
            }
        }
        return t;
    }

    // Follows the lines blame gave to a commit that only moved them within the file (as git
    // blame -M does): such a commit's parent held as many lines of the same text or more, and
    // the line is blamed again there, up to kMostMoves times. A line that stood in the file at
    // OLD keeps the commit that moved it: for a comparison the move is the change.
    std::optional<QString> followMoves(Worker& w) const
    {
        for (int round = 0; round < kMostMoves && !w.moving.empty(); ++round) {
            w.moved.clear();
            for (Moving& m : w.moving) {
                git_commit* raw = nullptr;
                if (git_commit_lookup(&raw, w.repo.get(), &m.commit) != 0)
                    return lastGitError();
                const CommitPtr commit(raw);
                if (git_commit_parentcount(commit.get()) == 0)
                    continue; // the first commit wrote it
                m.parent = *git_commit_parent_id(commit.get(), 0);
                if (bound && git_oid_equal(&m.parent, &*bound))
                    continue; // it stood there at OLD
                const Tally& before = tally(w, m.parent, m.path);
                const auto there = before.lines.find(m.text);
                if (there == before.lines.end())
                    continue;
                const Tally& after = tally(w, m.commit, m.path);
                const auto here = after.lines.find(m.text);
                if (here != after.lines.end() && here->second.first > there->second.first)
                    continue; // one more line of this text: written by the commit
                m.parentLine = there->second.second + 1;
                w.moved.push_back(std::move(m));
            }
            w.moving.clear();
            // One blame for the lines of each parent and path.
            std::sort(w.moved.begin(), w.moved.end(), [](const Moving& a, const Moving& b) {
                const int byParent = git_oid_cmp(&a.parent, &b.parent);
                return byParent != 0 ? byParent < 0 : a.path < b.path;
            });
            for (size_t from = 0; from < w.moved.size();) {
                size_t to = from + 1, least = w.moved[from].parentLine, most = least;
                while (to < w.moved.size() && git_oid_equal(&w.moved[to].parent, &w.moved[from].parent)
                       && w.moved[to].path == w.moved[from].path) {
                    least = std::min(least, w.moved[to].parentLine);
                    most = std::max(most, w.moved[to].parentLine);
                    ++to;
                }
                git_blame_options blameOptions = GIT_BLAME_OPTIONS_INIT;
                blameOptions.flags = GIT_BLAME_USE_MAILMAP;
                blameOptions.newest_commit = w.moved[from].parent;
                if (bound)
                    blameOptions.oldest_commit = *bound;
                blameOptions.min_line = least;
                blameOptions.max_line = most;
                git_blame* rawBlame = nullptr;
                if (git_blame_file(&rawBlame, w.repo.get(), w.moved[from].path.c_str(), &blameOptions) != 0)
                    return lastGitError();
                const BlamePtr blame(rawBlame);
                for (; from < to; ++from) {
                    Moving& m = w.moved[from];
                    const git_blame_hunk* hunk = git_blame_get_hunk_byline(blame.get(), m.parentLine);
                    if (!hunk || (bound && (hunk->boundary || git_oid_equal(&hunk->final_commit_id, &*bound))))
                        continue;
                    w.authors[m.wanted] = authorText(hunk);
                    w.moving.push_back(Moving{m.wanted, m.text, hunk->final_commit_id,
                                              hunk->orig_path ? hunk->orig_path : m.path});
                }
            }
        }
        w.moving.clear();
        return std::nullopt;
    }

    static bool treeOf(git_repository* repo, const git_oid& commit, TreePtr& tree)
    {
        git_commit* rawCommit = nullptr;
        if (git_commit_lookup(&rawCommit, repo, &commit) != 0)
            return false;
        const CommitPtr c(rawCommit);
        git_tree* rawTree = nullptr;
        if (git_commit_tree(&rawTree, c.get()) != 0)
            return false;
        tree.reset(rawTree);
        return true;
    }

    static bool readBlob(git_repository* repo, const git_tree* tree, const std::string& path, std::string& bytes)
    {
        git_tree_entry* rawEntry = nullptr;
        if (git_tree_entry_bypath(&rawEntry, tree, path.c_str()) != 0)
            return false;
        const EntryPtr entry(rawEntry);
        git_blob* rawBlob = nullptr;
        if (git_blob_lookup(&rawBlob, repo, git_tree_entry_id(entry.get())) != 0)
            return false;
        const BlobPtr blob(rawBlob);
        bytes.assign(static_cast<const char*>(git_blob_rawcontent(blob.get())),
                     static_cast<size_t>(git_blob_rawsize(blob.get())));
        return true;
    }

    // Blames one file and hands its steps to their authors; the reason when it cannot be read.
    std::optional<QString> run(Worker& w, const Job& job) const
    {
        git_repository* repo = w.repo.get();
        if (!readBlob(repo, w.newTree.get(), job.path, w.bytes))
            return lastGitError();
        const CommentSyntax& syntax = engines.syntax(job.engine);
        const bool paired = job.kind == Kind::Paired;
        const SourceFileCount counted =
            executableLinesOfBytes(w.bytes, syntax, options.countSymbolLines, w.lines, paired ? &w.steps : nullptr);
        if (counted.status != SourceFileCount::Status::Counted)
            return std::nullopt;
        w.wanted.clear();
        if (paired) {
            if (!readBlob(repo, w.oldTree.get(), job.oldPath, w.oldBytes))
                return lastGitError();
            executableLinesOfBytes(w.oldBytes, syntax, options.countSymbolLines, w.oldLines, &w.oldSteps);
            CompareSteps(w.oldSteps, w.steps, w.edits);
            for (size_t i = 0; i < w.lines.size(); ++i) {
                if (w.edits[i] != StepEdit::Unchanged)
                    w.wanted.emplace_back(w.lines[i], w.edits[i]);
            }
        } else {
            const StepEdit edit = job.kind == Kind::Added ? StepEdit::Added : StepEdit::Unchanged;
            for (int64_t line : w.lines)
                w.wanted.emplace_back(line, edit);
        }
        if (w.wanted.empty())
            return std::nullopt;

        const std::vector<int64_t> gitLines = gitLinesOfCountedLines(w.bytes);
        auto gitLine = [&](int64_t line) {
            return gitLines.empty() ? line + 1 : gitLines[static_cast<size_t>(std::min<int64_t>(line, gitLines.size() - 1))];
        };
        git_blame_options blameOptions = GIT_BLAME_OPTIONS_INIT;
        blameOptions.flags = GIT_BLAME_USE_MAILMAP;
        blameOptions.newest_commit = newest;
        if (bound)
            blameOptions.oldest_commit = *bound;
        // Only the lines that hold the steps wanted.
        blameOptions.min_line = static_cast<size_t>(gitLine(w.wanted.front().first));
        blameOptions.max_line = static_cast<size_t>(gitLine(w.wanted.back().first));
        git_blame* rawBlame = nullptr;
        if (git_blame_file(&rawBlame, repo, job.path.c_str(), &blameOptions) != 0)
            return lastGitError();
        const BlamePtr blame(rawBlame);

        w.authors.resize(w.wanted.size());
        w.earlier.assign(w.wanted.size(), 0);
        w.tallies.clear();
        splitGitLines(w.bytes, w.gitLines);
        const git_blame_hunk* last = nullptr;
        for (size_t i = 0; i < w.wanted.size(); ++i) {
            const size_t at = static_cast<size_t>(gitLine(w.wanted[i].first));
            const git_blame_hunk* hunk = git_blame_get_hunk_byline(blame.get(), at);
            if (!hunk) // past git's last line: only in a file git does not read as text
                hunk = git_blame_get_hunk_byindex(blame.get(), git_blame_get_hunk_count(blame.get()) - 1);
            if (hunk != last || i == 0) {
                last = hunk;
                w.authors[i] = authorText(hunk);
            } else {
                w.authors[i] = w.authors[i - 1];
            }
            // A step the edit script counts as added or changed whose line git's blame finds
            // unchanged since OLD (or the merge base): moved within the file, or changed on OLD's
            // own branch. No commit between the versions wrote it.
            if (oldest && hunk && (hunk->boundary || (bound && git_oid_equal(&hunk->final_commit_id, &*bound)))) {
                w.earlier[i] = 1;
                continue;
            }
            if (hunk && at <= w.gitLines.size() && distinctive(w.gitLines[at - 1]))
                w.moving.push_back(Moving{i, w.gitLines[at - 1], hunk->final_commit_id,
                                          hunk->orig_path ? hunk->orig_path : job.path});
        }
        if (std::optional<QString> failure = followMoves(w))
            return failure;

        // The file's authors are few: looked up in a short list, then added to the thread's.
        w.inFile.clear();
        size_t current = 0;
        for (size_t i = 0; i < w.wanted.size(); ++i) {
            const StepEdit edit = w.wanted[i].second;
            if (w.earlier[i]) {
                ++(edit == StepEdit::Added ? w.earlierSteps.added : w.earlierSteps.changed);
                continue;
            }
            const QString& author = w.authors[i];
            if (w.inFile.empty() || w.inFile[current].first != author) {
                current = 0;
                while (current < w.inFile.size() && w.inFile[current].first != author)
                    ++current;
                if (current == w.inFile.size())
                    w.inFile.emplace_back(author, Figures{1});
            }
            Figures& f = w.inFile[current].second;
            switch (edit) {
            case StepEdit::Unchanged:
                ++f.executable;
                break;
            case StepEdit::Added:
                ++f.added;
                break;
            case StepEdit::Changed:
                ++f.changed;
                break;
            }
        }
        for (const auto& [author, f] : w.inFile)
            addTo(w.byAuthor[author], f);
        return std::nullopt;
    }
};

AuthorSteps::AuthorSteps(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

AuthorSteps::~AuthorSteps()
{
    // A run that ended early never asks for the table: the files left are not blamed.
    Impl& d = *m_impl;
    {
        const std::lock_guard lock(d.mutex);
        d.closed = d.failed = true;
    }
    d.queued.notify_all();
    for (std::thread& t : d.threads)
        t.join();
}

std::unique_ptr<AuthorSteps> AuthorSteps::open(const QString& folder, const QString& oldRevision,
                                               const QString& revision, const IniDocument& settings,
                                               const AnalysisOptions& options, QString* error)
{
    initLibgit2Once();
    git_repository* rawRepo = nullptr;
    if (git_repository_open_ext(&rawRepo, pathToNative(folder).c_str(), 0, nullptr) != 0) {
        *error = QStringLiteral("not a git repository: %1").arg(folder);
        return nullptr;
    }
    const RepositoryPtr repo(rawRepo);
    if (git_repository_is_shallow(repo.get()) == 1) {
        *error = QStringLiteral("%1 is a shallow clone: --summary author needs the history it lacks "
                                "(git fetch --unshallow)")
                     .arg(folder);
        return nullptr;
    }
    auto commitOf = [&](const QString& name, git_oid& id) {
        git_object* raw = nullptr;
        if (git_revparse_single(&raw, repo.get(), name.toUtf8().constData()) != 0) {
            *error = QStringLiteral("revision not found: %1").arg(name);
            return false;
        }
        const ObjectPtr object(raw);
        git_object* commit = nullptr;
        if (git_object_peel(&commit, object.get(), GIT_OBJECT_COMMIT) != 0) {
            *error = QStringLiteral("%1 is not a commit: --summary author needs its history").arg(name);
            return false;
        }
        id = *git_object_id(commit);
        git_object_free(commit);
        return true;
    };
    auto impl = std::make_unique<Impl>(settings);
    if (!commitOf(revision, impl->newest))
        return nullptr;
    if (!oldRevision.isNull()) {
        git_oid old{};
        if (!commitOf(oldRevision, old))
            return nullptr;
        impl->oldest = old;
        // OLD on another branch (a release line of its own): a line changed since goes to the
        // commit on NEW's side that last changed it, or to the commit both share.
        git_oid shared{};
        const int found = git_merge_base(&shared, repo.get(), &old, &impl->newest);
        if (found == 0)
            impl->bound = shared;
        else if (found != GIT_ENOTFOUND) {
            *error = QStringLiteral("cannot read the history from %1 to %2: %3").arg(oldRevision, revision, lastGitError());
            return nullptr;
        }
    }
    impl->gitDir = git_repository_path(repo.get());
    impl->options = options;
    for (int i = 0; i < std::max(options.jobs, 1); ++i)
        impl->workers.push_back(std::make_unique<Impl::Worker>());
    impl->store = options.store;
    return std::unique_ptr<AuthorSteps>(new AuthorSteps(std::move(impl)));
}

void AuthorSteps::add(const FileResult& r)
{
    // As the totals: generated files kept apart are not in them.
    if (r.outcome != FileOutcome::Counted || (r.generated && m_impl->options.generated == GeneratedFiles::Separate))
        return;
    ++m_impl->total.files;
    m_impl->total.executable += r.counts.executable;
    if (r.counts.executable > 0)
        m_impl->addJob(r.path, QString(), Kind::Count);
}

void AuthorSteps::add(const FileChange& c)
{
    if (c.outcome != FileOutcome::Counted || (c.generated && m_impl->options.generated == GeneratedFiles::Separate))
        return;
    ++m_impl->total.files;
    m_impl->total.added += c.steps.added;
    m_impl->total.changed += c.steps.changed;
    m_impl->deleted += c.steps.deleted;
    if (c.steps.added + c.steps.changed > 0)
        m_impl->addJob(c.newPath, c.oldPath, c.oldPath.isEmpty() ? Kind::Added : Kind::Paired);
}

std::pair<size_t, size_t> AuthorSteps::progress() const
{
    const std::lock_guard lock(m_impl->mutex);
    return {m_impl->blamed.load(), m_impl->jobs.size()};
}

const std::optional<RunError>& AuthorSteps::error() const { return m_impl->error; }

void AuthorSteps::finish()
{
    Impl& d = *m_impl;
    {
        const std::lock_guard lock(d.mutex);
        d.closed = true;
    }
    d.queued.notify_all();
    for (std::thread& t : d.threads)
        t.join();
    d.threads.clear();
    if (d.next < d.jobs.size())
        d.blameQueued(*d.workers.back()); // no thread could be started for them: blamed here
    for (const auto& w : d.workers) {
        for (auto it = w->byAuthor.cbegin(); it != w->byAuthor.cend(); ++it)
            addTo(d.byAuthor[it.key()], *it);
        w->byAuthor.clear();
        addTo(d.earlier, w->earlierSteps);
        w->earlierSteps = Figures{};
    }
}

FigureTable AuthorSteps::table() const
{
    using K = FigureTable::Kind;
    const Impl& d = *m_impl;
    const bool comparison = d.oldest.has_value();
    FigureTable t;
    t.title = QStringLiteral("作者別");
    t.columns = {{QStringLiteral("作者"), QStringLiteral("author"), K::Text}};
    if (comparison)
        t.columns.insert(t.columns.end(), {{QStringLiteral("追加"), QStringLiteral("added"), K::Count},
                                           {QStringLiteral("変更"), QStringLiteral("changed"), K::Count},
                                           {QStringLiteral("削除"), QStringLiteral("deleted"), K::Count},
                                           {QStringLiteral("改造規模"), QStringLiteral("modified"), K::Count}});
    else
        t.columns.insert(t.columns.end(), {{QStringLiteral("ファイル数"), QStringLiteral("files"), K::Count},
                                           {QStringLiteral("実行行"), QStringLiteral("executable"), K::Count}});
    t.columns.push_back({QStringLiteral("KStep"), QStringLiteral("kstep"), K::KStep});
    t.columns.push_back({QStringLiteral("区分"), QStringLiteral("row"), K::Text});

    auto row = [&](const QString& name, const Figures& f, int64_t deleted, const QString& code) {
        std::vector<FigureTable::Cell> cells{name};
        if (comparison)
            cells.insert(cells.end(), {f.added, f.changed, deleted, f.added + f.changed});
        else
            cells.insert(cells.end(), {f.files, f.executable});
        cells.emplace_back(f.steps());
        cells.emplace_back(code);
        t.rows.push_back(std::move(cells));
    };
    std::vector<std::pair<QString, Figures>> authors;
    for (auto it = d.byAuthor.cbegin(); it != d.byAuthor.cend(); ++it)
        authors.emplace_back(it.key(), *it);
    std::sort(authors.begin(), authors.end(), [](const auto& a, const auto& b) {
        return a.second.steps() != b.second.steps() ? a.second.steps() > b.second.steps() : a.first < b.first;
    });
    for (const auto& [author, f] : authors)
        row(author, f, 0, QStringLiteral("author"));
    if (comparison && d.earlier.steps() > 0)
        row(QStringLiteral("（旧版にあった行）"), d.earlier, 0, QStringLiteral("earlier"));
    if (comparison && d.deleted > 0)
        row(QStringLiteral("（削除）"), Figures{}, d.deleted, QStringLiteral("deleted"));
    row(QStringLiteral("合計"), d.total, d.deleted, QStringLiteral("total"));
    return t;
}

} // namespace tarvik
