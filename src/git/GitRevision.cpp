#include "git/GitRevision.h"

#include "intake/DirectoryWalk.h"
#include "config/NativePath.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <git2.h>
#include <git2/sys/hashsig.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace tarvik {

namespace {

// A blob is read whole into memory; one larger than this is reported as not analysable
// rather than held while others are counted at once.
constexpr size_t kLargestBlob = 256u << 20;

template <typename T, void (*Free)(T*)>
struct GitDeleter {
    void operator()(T* p) const { Free(p); }
};
using TreePtr = std::unique_ptr<git_tree, GitDeleter<git_tree, git_tree_free>>;
using ObjectPtr = std::unique_ptr<git_object, GitDeleter<git_object, git_object_free>>;
using BlobPtr = std::unique_ptr<git_blob, GitDeleter<git_blob, git_blob_free>>;
using EntryPtr = std::unique_ptr<git_tree_entry, GitDeleter<git_tree_entry, git_tree_entry_free>>;
using DiffPtr = std::unique_ptr<git_diff, GitDeleter<git_diff, git_diff_free>>;
using OdbPtr = std::unique_ptr<git_odb, GitDeleter<git_odb, git_odb_free>>;
using OdbObjectPtr = std::unique_ptr<git_odb_object, GitDeleter<git_odb_object, git_odb_object_free>>;
using RepositoryPtr = std::unique_ptr<git_repository, GitDeleter<git_repository, git_repository_free>>;
using ReferenceIteratorPtr = std::unique_ptr<git_reference_iterator, GitDeleter<git_reference_iterator, git_reference_iterator_free>>;
using ReferencePtr = std::unique_ptr<git_reference, GitDeleter<git_reference, git_reference_free>>;

QString lastGitError()
{
    const git_error* e = git_error_last();
    return e && e->message ? QString::fromUtf8(e->message) : QString();
}

void initLibgit2Once()
{
    static std::once_flag once;
    std::call_once(once, [] {
        git_libgit2_init();
        // Objects are only read, never written back: like git itself, take an object's bytes
        // without hashing them again on every read (zlib still checks what it inflates).
        git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 0);
    });
}

// libgit2's rename detection measures every pair of a deleted and an added file again in each
// of its passes, and it makes one more pass whenever a better match displaced an earlier one:
// on two releases with two thousand of each, six passes took most of the comparison. The measure
// here is libgit2's own (the same signatures, the same comparison), so the pairs it finds are
// the same; a pair's score is only remembered after its first measure.
class RememberedSimilarity {
public:
    RememberedSimilarity()
    {
        m_metric.file_signature = &fileSignature;
        m_metric.buffer_signature = &bufferSignature;
        m_metric.free_signature = &freeSignature;
        m_metric.similarity = &similarity;
        m_metric.payload = this;
        m_scores.max_load_factor(0.5f);
    }
    RememberedSimilarity(const RememberedSimilarity&) = delete;
    RememberedSimilarity& operator=(const RememberedSimilarity&) = delete;

    git_diff_similarity_metric* metric() { return &m_metric; }

private:
    struct Signature {
        git_hashsig* hash;
        uint32_t index;
    };
    // What libgit2 uses when it is given no measure and no whitespace flag.
    static constexpr auto kOptions = static_cast<git_hashsig_option_t>(GIT_HASHSIG_SMART_WHITESPACE
                                                                       | GIT_HASHSIG_ALLOW_SMALL_FILES);

    static int keep(void** out, int error, git_hashsig* hash, void* payload)
    {
        if (error < 0)
            return error;
        auto* self = static_cast<RememberedSimilarity*>(payload);
        *out = new Signature{hash, self->m_signatures++};
        return 0;
    }
    static int fileSignature(void** out, const git_diff_file*, const char* path, void* payload)
    {
        git_hashsig* hash = nullptr;
        const int error = git_hashsig_create_fromfile(&hash, path, kOptions);
        return keep(out, error, hash, payload);
    }
    static int bufferSignature(void** out, const git_diff_file*, const char* buffer, size_t length, void* payload)
    {
        git_hashsig* hash = nullptr;
        const int error = git_hashsig_create(&hash, buffer, length, kOptions);
        return keep(out, error, hash, payload);
    }
    static void freeSignature(void* signature, void*)
    {
        auto* s = static_cast<Signature*>(signature);
        git_hashsig_free(s->hash);
        delete s;
    }
    static int similarity(int* score, void* a, void* b, void* payload)
    {
        auto* self = static_cast<RememberedSimilarity*>(payload);
        const auto* sa = static_cast<const Signature*>(a);
        const auto* sb = static_cast<const Signature*>(b);
        const uint64_t key = (static_cast<uint64_t>(sa->index) << 32) | sb->index;
        if (const auto it = self->m_scores.find(key); it != self->m_scores.end()) {
            *score = it->second;
            return 0;
        }
        const int measured = git_hashsig_compare(sa->hash, sb->hash);
        if (measured < 0)
            return measured;
        self->m_scores.emplace(key, measured);
        *score = measured;
        return 0;
    }

    git_diff_similarity_metric m_metric{};
    uint32_t m_signatures = 0;
    std::unordered_map<uint64_t, int> m_scores;
};

std::string_view extensionOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

// One listed file of a revision.
struct Entry {
    enum class Kind { Blob, Link, Submodule, Absent };
    Kind kind = Kind::Absent;
    git_oid oid{};
};

struct Listed {
    std::string path; // in the repository, native bytes
    Entry entry;
};

Entry::Kind kindOf(git_filemode_t mode)
{
    switch (mode) {
    case GIT_FILEMODE_BLOB:
    case GIT_FILEMODE_BLOB_EXECUTABLE:
        return Entry::Kind::Blob;
    case GIT_FILEMODE_LINK:
        return Entry::Kind::Link;
    case GIT_FILEMODE_COMMIT:
        return Entry::Kind::Submodule;
    default:
        return Entry::Kind::Absent;
    }
}

// Each thread reads through a repository handle of its own: libgit2's are not to be shared.
git_repository* threadRepository(const std::string& gitDir)
{
    struct Cache {
        std::string dir;
        RepositoryPtr repo;
    };
    thread_local Cache cache;
    if (!cache.repo || cache.dir != gitDir) {
        git_repository* repo = nullptr;
        cache.repo.reset(git_repository_open(&repo, gitDir.c_str()) == 0 ? repo : nullptr);
        cache.dir = gitDir;
    }
    return cache.repo.get();
}

} // namespace

struct GitRepository::Impl : SourceStore {
    RepositoryPtr repo;
    std::string gitDir;
    QHash<QString, Entry> entries; // "REV:path" -> what it is

    // --- SourceStore
    const Entry* find(const QString& path) const
    {
        const auto it = entries.constFind(path);
        return it == entries.cend() ? nullptr : &*it;
    }

    SourceFileCount::Status probe(const QString& path, QString*) const override
    {
        const Entry* e = find(path);
        return e && e->kind == Entry::Kind::Blob ? SourceFileCount::Status::Counted : SourceFileCount::Status::NotAFile;
    }

    SourceFileCount count(const QString& path, const CommentSyntax& syntax, bool countSymbolLines,
                          std::vector<std::string>* steps) const override
    {
        SourceFileCount result;
        const Entry* e = find(path);
        if (!e || e->kind != Entry::Kind::Blob)
            return result; // NotAFile
        git_repository* repo = threadRepository(gitDir);
        git_odb* rawOdb = nullptr;
        if (!repo || git_repository_odb(&rawOdb, repo) != 0) {
            result.status = SourceFileCount::Status::Unreadable;
            result.error = lastGitError();
            return result;
        }
        const OdbPtr odb(rawOdb);
        // Straight from the object store: blobs are read once, so libgit2's object cache would
        // only cost time.
        git_odb_object* rawObject = nullptr;
        if (git_odb_read(&rawObject, odb.get(), &e->oid) != 0) {
            result.status = SourceFileCount::Status::Unreadable;
            result.error = lastGitError();
            return result;
        }
        const OdbObjectPtr object(rawObject);
        if (git_odb_object_size(object.get()) > kLargestBlob) {
            result.status = SourceFileCount::Status::Abandoned;
            return result;
        }
        const std::string_view bytes(static_cast<const char*>(git_odb_object_data(object.get())),
                                     git_odb_object_size(object.get()));
        return countSourceBytes(bytes, syntax, countSymbolLines, steps);
    }

    bool sameBytes(const QString& a, const QString& b) const override
    {
        const Entry* x = find(a);
        const Entry* y = find(b);
        return x && y && x->kind == Entry::Kind::Blob && y->kind == Entry::Kind::Blob && git_oid_equal(&x->oid, &y->oid);
    }

    bool knownIdentical(const QString& a, const QString& b) const override { return sameBytes(a, b); }

    // --- listing
    TreePtr treeOf(const QString& revision, QString* error) const
    {
        git_object* raw = nullptr;
        const QByteArray name = revision.toUtf8();
        if (revision.isEmpty() || git_revparse_single(&raw, repo.get(), name.constData()) != 0) {
            *error = QStringLiteral("revision not found: %1").arg(revision);
            return nullptr;
        }
        const ObjectPtr object(raw);
        git_object* tree = nullptr;
        if (git_object_peel(&tree, object.get(), GIT_OBJECT_TREE) != 0) {
            *error = QStringLiteral("revision %1 has no tree: %2").arg(revision, lastGitError());
            return nullptr;
        }
        return TreePtr(reinterpret_cast<git_tree*>(tree));
    }

    // The walk's rules on a tree: a folder's files by name, then its subfolders by name.
    bool walk(const git_tree* tree, const std::string& base, const std::string& relative, const RevisionSelection& sel,
              const std::unordered_set<std::string_view>& extensions, PathPatterns& ignored,
              const PathPatterns& patterns, std::vector<Listed>& out, QString* error) const
    {
        auto join = [](const std::string& dir, std::string_view name) {
            return dir.empty() ? std::string(name) : dir + '/' + std::string(name);
        };
        auto excluded = [&](std::string_view name, bool directory) {
            const std::string path = join(relative, name);
            const PathPatterns::Verdict verdict = patterns.match(path, directory);
            if (verdict != PathPatterns::Verdict::None)
                return verdict == PathPatterns::Verdict::Excluded;
            return ignored.excludes(path, directory);
        };
        if (sel.exclusions.gitignore) {
            if (const git_tree_entry* e = git_tree_entry_byname(tree, ".gitignore");
                e && kindOf(git_tree_entry_filemode(e)) == Entry::Kind::Blob) {
                git_blob* raw = nullptr;
                if (git_blob_lookup(&raw, repo.get(), git_tree_entry_id(e)) == 0) {
                    const BlobPtr blob(raw);
                    ignored.addLines(std::string_view(static_cast<const char*>(git_blob_rawcontent(blob.get())),
                                                      static_cast<size_t>(git_blob_rawsize(blob.get()))),
                                     relative.empty() ? std::string() : relative + '/');
                }
            }
        }
        std::vector<std::pair<std::string_view, const git_tree_entry*>> files, folders;
        const size_t n = git_tree_entrycount(tree);
        for (size_t i = 0; i < n; ++i) {
            const git_tree_entry* e = git_tree_entry_byindex(tree, i);
            const std::string_view name = git_tree_entry_name(e);
            if (git_tree_entry_type(e) == GIT_OBJECT_TREE) {
                if (sel.includeSubdirectories && !isVersionControlFolder(name) && !excluded(name, true))
                    folders.emplace_back(name, e);
            } else {
                const std::string_view ext = extensionOf(name);
                if (!ext.empty() && extensions.count(ext) != 0 && !excluded(name, false))
                    files.emplace_back(name, e);
            }
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const auto& [name, e] : files) {
            Listed l{base + join(relative, name), {kindOf(git_tree_entry_filemode(e)), *git_tree_entry_id(e)}};
            out.push_back(std::move(l));
        }
        for (const auto& [name, e] : folders) {
            git_tree* raw = nullptr;
            if (git_tree_lookup(&raw, repo.get(), git_tree_entry_id(e)) != 0) {
                *error = QStringLiteral("folder %1 is not in the repository: %2")
                             .arg(pathFromNative(base + join(relative, name)), lastGitError());
                return false;
            }
            const TreePtr sub(raw);
            if (!walk(sub.get(), base, join(relative, name), sel, extensions, ignored, patterns, out, error))
                return false;
        }
        return true;
    }

    std::optional<std::vector<Listed>> collect(const git_tree* root, const QString& revision,
                                               const RevisionSelection& sel, QString* error) const
    {
        std::vector<std::string> extensionBytes;
        for (const QString& e : sel.extensions)
            extensionBytes.push_back(pathToNative(e));
        const std::unordered_set<std::string_view> extensions(extensionBytes.begin(), extensionBytes.end());
        QStringList limits = sel.limits;
        if (limits.isEmpty())
            limits << QString();

        std::vector<Listed> out;
        for (const QString& limit : limits) {
            std::string path = pathToNative(QDir::cleanPath(limit));
            while (!path.empty() && path.front() == '/')
                path.erase(0, 1);
            if (path == ".")
                path.clear();
            PathPatterns patterns, ignored;
            for (const QString& p : sel.exclusions.patterns)
                patterns.add(pathToNative(p));
            if (path.empty()) {
                if (!walk(root, std::string(), std::string(), sel, extensions, ignored, patterns, out, error))
                    return std::nullopt;
                continue;
            }
            git_tree_entry* raw = nullptr;
            if (git_tree_entry_bypath(&raw, root, path.c_str()) != 0) {
                out.push_back({path, {}}); // listed, and reported missing, as a path on disk would be
                continue;
            }
            const EntryPtr entry(raw);
            if (git_tree_entry_type(entry.get()) != GIT_OBJECT_TREE) {
                out.push_back({path, {kindOf(git_tree_entry_filemode(entry.get())), *git_tree_entry_id(entry.get())}});
                continue;
            }
            git_tree* rawTree = nullptr;
            if (git_tree_lookup(&rawTree, repo.get(), git_tree_entry_id(entry.get())) != 0) {
                *error = QStringLiteral("folder %1 is not in the repository: %2").arg(limit, lastGitError());
                return std::nullopt;
            }
            const TreePtr sub(rawTree);
            if (!walk(sub.get(), path + '/', std::string(), sel, extensions, ignored, patterns, out, error))
                return std::nullopt;
        }

        // Everything is checked before anything is counted: a clone that lacks objects is
        // refused as a whole instead of failing half-way through a report.
        git_odb* rawOdb = nullptr;
        if (git_repository_odb(&rawOdb, repo.get()) != 0) {
            *error = lastGitError();
            return std::nullopt;
        }
        const OdbPtr odb(rawOdb);
        for (const Listed& l : out) {
            if (l.entry.kind == Entry::Kind::Blob && !git_odb_exists(odb.get(), &l.entry.oid)) {
                char hex[GIT_OID_HEXSZ + 1];
                git_oid_tostr(hex, sizeof hex, &l.entry.oid);
                *error = QStringLiteral("object %1 of %2:%3 is not in the repository")
                             .arg(QString::fromLatin1(hex), revision, pathFromNative(l.path));
                return std::nullopt;
            }
        }
        return out;
    }

    QString key(const QString& revision, const std::string& path) const { return revision + u':' + pathFromNative(path); }
};

GitRepository::GitRepository(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

GitRepository::~GitRepository() = default;

std::unique_ptr<GitRepository> GitRepository::open(const QString& folder, QString* error)
{
    initLibgit2Once();
    git_repository* raw = nullptr;
    if (git_repository_open(&raw, pathToNative(folder).c_str()) != 0) {
        *error = QStringLiteral("not a git repository: %1").arg(folder);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->repo.reset(raw);
    impl->gitDir = git_repository_path(raw);
    return std::unique_ptr<GitRepository>(new GitRepository(std::move(impl)));
}

QString GitRepository::workFolder() const
{
    const char* dir = git_repository_workdir(m_impl->repo.get());
    return dir ? pathFromNative(dir) : QString();
}

std::optional<QString> GitRepository::repositoryPath(const QString& given, const QString& currentFolder) const
{
    QString work = workFolder();
    const bool absolute = given.startsWith(u'/');
    const QString path = QDir::cleanPath(absolute ? given : currentFolder + u'/' + given);
    if (!work.isEmpty()) {
        if (!work.endsWith(u'/'))
            work += u'/';
        if (path + u'/' == work)
            return QString();
        if (path.startsWith(work))
            return path.mid(work.size());
    }
    if (absolute)
        return std::nullopt;
    return QDir::cleanPath(given);
}

QStringList GitRepository::revisionNames() const
{
    struct Named {
        QString name;
        git_time_t time = 0;
        bool tag = false;
    };
    std::vector<Named> names;
    git_reference_iterator* rawIt = nullptr;
    if (git_reference_iterator_new(&rawIt, m_impl->repo.get()) != 0)
        return {};
    const ReferenceIteratorPtr it(rawIt);
    git_reference* rawRef = nullptr;
    while (git_reference_next(&rawRef, it.get()) == 0) {
        const ReferencePtr ref(rawRef);
        if (!git_reference_is_tag(ref.get()) && !git_reference_is_branch(ref.get()))
            continue;
        git_object* rawCommit = nullptr;
        if (git_reference_peel(&rawCommit, ref.get(), GIT_OBJECT_COMMIT) != 0)
            continue;
        const ObjectPtr commit(rawCommit);
        names.push_back({QString::fromUtf8(git_reference_shorthand(ref.get())),
                         git_commit_time(reinterpret_cast<const git_commit*>(commit.get())),
                         git_reference_is_tag(ref.get()) != 0});
    }
    // Releases are tags: they come first, then the branches.
    std::stable_sort(names.begin(), names.end(), [](const Named& a, const Named& b) {
        if (a.tag != b.tag)
            return a.tag;
        return a.time != b.time ? a.time > b.time : a.name > b.name;
    });
    QStringList out;
    for (const Named& n : names)
        out << n.name;
    return out;
}

bool GitRepository::hasRevision(const QString& revision) const
{
    QString error;
    return m_impl->treeOf(revision, &error) != nullptr;
}

std::optional<QStringList> GitRepository::listFiles(const QString& revision, const RevisionSelection& selection,
                                                    QString* error)
{
    const TreePtr tree = m_impl->treeOf(revision, error);
    if (!tree)
        return std::nullopt;
    const std::optional<std::vector<Listed>> listed = m_impl->collect(tree.get(), revision, selection, error);
    if (!listed)
        return std::nullopt;
    QStringList out;
    out.reserve(static_cast<qsizetype>(listed->size()));
    QSet<QString> seen; // limits that overlap list a file once
    for (const Listed& l : *listed) {
        const QString key = m_impl->key(revision, l.path);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        m_impl->entries.insert(key, l.entry);
        out << key;
    }
    return out;
}

std::optional<std::vector<FilePair>> GitRepository::pairFiles(const QString& oldRevision, const QString& newRevision,
                                                              const RevisionSelection& selection, QString* error)
{
    const TreePtr oldTree = m_impl->treeOf(oldRevision, error);
    if (!oldTree)
        return std::nullopt;
    const TreePtr newTree = m_impl->treeOf(newRevision, error);
    if (!newTree)
        return std::nullopt;
    const auto oldFiles = m_impl->collect(oldTree.get(), oldRevision, selection, error);
    if (!oldFiles)
        return std::nullopt;
    const auto newFiles = m_impl->collect(newTree.get(), newRevision, selection, error);
    if (!newFiles)
        return std::nullopt;

    std::map<std::string, FilePair, bool (*)(std::string_view, std::string_view)> pairs(&walkOrderLess);
    for (const Listed& l : *oldFiles) {
        const QString key = m_impl->key(oldRevision, l.path);
        m_impl->entries.insert(key, l.entry);
        pairs[l.path].oldPath = key;
    }
    for (const Listed& l : *newFiles) {
        const QString key = m_impl->key(newRevision, l.path);
        m_impl->entries.insert(key, l.entry);
        pairs[l.path].newPath = key;
    }

    // A file moved is paired with its old self when both ends are taken and each end is
    // only in its own version. Only those ends are handed to the rename detection, whose work
    // grows with the product of the two numbers.
    std::vector<std::string> candidates;
    for (const auto& [path, pair] : pairs) {
        if (pair.oldPath.isEmpty() != pair.newPath.isEmpty())
            candidates.push_back(path);
    }
    std::vector<char*> candidatePaths;
    for (std::string& c : candidates)
        candidatePaths.push_back(c.data());
    git_diff* rawDiff = nullptr;
    git_diff_options options = GIT_DIFF_OPTIONS_INIT;
    options.flags |= GIT_DIFF_DISABLE_PATHSPEC_MATCH;
    options.pathspec = {candidatePaths.data(), candidatePaths.size()};
    if (!candidatePaths.empty()
        && git_diff_tree_to_tree(&rawDiff, m_impl->repo.get(), oldTree.get(), newTree.get(), &options) != 0) {
        *error = QStringLiteral("cannot compare %1 and %2: %3").arg(oldRevision, newRevision, lastGitError());
        return std::nullopt;
    }
    const DiffPtr diff(rawDiff);
    git_diff_find_options find = GIT_DIFF_FIND_OPTIONS_INIT;
    find.flags = GIT_DIFF_FIND_RENAMES;
    RememberedSimilarity similarity;
    find.metric = similarity.metric();
    if (diff && git_diff_find_similar(diff.get(), &find) != 0) {
        *error = QStringLiteral("cannot compare %1 and %2: %3").arg(oldRevision, newRevision, lastGitError());
        return std::nullopt;
    }
    const size_t deltas = diff ? git_diff_num_deltas(diff.get()) : 0;
    for (size_t i = 0; i < deltas; ++i) {
        const git_diff_delta* d = git_diff_get_delta(diff.get(), i);
        if (d->status != GIT_DELTA_RENAMED)
            continue;
        const auto from = pairs.find(d->old_file.path);
        const auto to = pairs.find(d->new_file.path);
        if (from == pairs.end() || to == pairs.end() || from == to || !from->second.newPath.isEmpty()
            || !to->second.oldPath.isEmpty())
            continue;
        to->second.oldPath = from->second.oldPath;
        to->second.renamedFrom = pathFromNative(d->old_file.path);
        pairs.erase(from);
    }

    std::vector<FilePair> out;
    out.reserve(pairs.size());
    for (auto& [path, pair] : pairs) {
        pair.relativePath = pathFromNative(path);
        out.push_back(std::move(pair));
    }
    return out;
}

const SourceStore& GitRepository::store() const { return *m_impl; }

namespace {

class RepositoryIgnoreFilter : public WalkFilter {
public:
    RepositoryIgnoreFilter(RepositoryPtr repo, std::string prefix, const Exclusions& exclusions)
        : m_repo(std::move(repo)), m_prefix(std::move(prefix))
    {
        for (const QString& p : exclusions.patterns)
            m_patterns.add(pathToNative(p));
    }

    bool excludes(std::string_view relative, bool directory) const override
    {
        const PathPatterns::Verdict verdict = m_patterns.match(relative, directory);
        if (verdict != PathPatterns::Verdict::None)
            return verdict == PathPatterns::Verdict::Excluded;
        std::string path = m_prefix;
        path += relative;
        if (directory)
            path += '/';
        int ignored = 0;
        return git_ignore_path_is_ignored(&ignored, m_repo.get(), path.c_str()) == 0 && ignored == 1;
    }

private:
    RepositoryPtr m_repo;
    std::string m_prefix; // the walked folder within the working folder: "" or "a/b/"
    PathPatterns m_patterns;
};

} // namespace

std::unique_ptr<WalkFilter> makeWalkFilter(const std::string& root, const Exclusions& exclusions)
{
    if (exclusions.gitignore) {
        initLibgit2Once();
        git_repository* raw = nullptr;
        if (git_repository_open_ext(&raw, root.empty() ? "/" : root.c_str(), 0, nullptr) == 0) {
            RepositoryPtr repo(raw);
            char* resolved = ::realpath(root.empty() ? "/" : root.c_str(), nullptr);
            std::string real = resolved ? resolved : root;
            std::free(resolved);
            const char* work = git_repository_workdir(repo.get());
            std::string workdir = work ? work : "";
            if (!workdir.empty() && (real + '/').compare(0, workdir.size(), workdir) == 0) {
                std::string prefix = (real + '/').substr(workdir.size());
                return std::make_unique<RepositoryIgnoreFilter>(std::move(repo), std::move(prefix), exclusions);
            }
        }
    }
    if (!exclusions.any())
        return nullptr;
    return makePatternFilter(exclusions);
}

} // namespace tarvik
