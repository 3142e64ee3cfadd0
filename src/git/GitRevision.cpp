#include "git/GitRevision.h"
#include "git/GitHandles.h"

#include "intake/DirectoryWalk.h"
#include "config/NativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <git2.h>
#include <git2/sys/hashsig.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <set>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace tarvik {

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

namespace {

// A blob is read whole into memory; one larger than this is reported as not analysable
// rather than held while others are counted at once.
constexpr size_t kLargestBlob = 256u << 20;
// Blobs above this share one allowance of kLargestBlob bytes across the counting threads, so a
// revision holds no more at once than one largest blob besides the small ones.
constexpr size_t kSmallBlob = 8u << 20;

// Held while a large blob is in memory; waits while others hold the rest of the allowance.
class InflationAllowance {
public:
    explicit InflationAllowance(size_t size) : m_bytes(size > kSmallBlob ? size : 0)
    {
        if (!m_bytes)
            return;
        std::unique_lock lock(s_mutex);
        s_freed.wait(lock, [&] { return s_used == 0 || s_used + m_bytes <= kLargestBlob; });
        s_used += m_bytes;
    }
    ~InflationAllowance()
    {
        if (!m_bytes)
            return;
        {
            const std::lock_guard lock(s_mutex);
            s_used -= m_bytes;
        }
        s_freed.notify_all();
    }
    InflationAllowance(const InflationAllowance&) = delete;
    InflationAllowance& operator=(const InflationAllowance&) = delete;

private:
    static inline std::mutex s_mutex;
    static inline std::condition_variable s_freed;
    static inline size_t s_used = 0;
    size_t m_bytes;
};


// What libgit2 uses when it is given no measure and no whitespace flag.
constexpr auto kSimilarityOptions = static_cast<git_hashsig_option_t>(GIT_HASHSIG_SMART_WHITESPACE
                                                                      | GIT_HASHSIG_ALLOW_SMALL_FILES);
// libgit2's default: a moved file keeps at least half of what it held.
constexpr int kRenameThreshold = 50;

// libgit2's rename detection measures every pair of a deleted and an added file again in each
// of its passes, and it makes one more pass whenever a better match displaced an earlier one:
// on two releases with two thousand of each, six passes took most of the comparison. The measure
// here is libgit2's own (the same signatures, the same comparison), so the pairs it finds are
// the same; a pair's score is only remembered after its first measure, a byte for each pair of
// an old and a new file (none beyond 64 MiB: then each pass measures again).
class RememberedSimilarity {
public:
    RememberedSimilarity(size_t sources, size_t targets)
    {
        if (sources * targets <= (size_t(64) << 20)) {
            m_targets = targets;
            m_scores.assign(sources * targets, kUnknown);
        }
        m_metric.file_signature = &fileSignature;
        m_metric.buffer_signature = &bufferSignature;
        m_metric.free_signature = &freeSignature;
        m_metric.similarity = &similarity;
        m_metric.payload = this;
    }
    RememberedSimilarity(const RememberedSimilarity&) = delete;
    RememberedSimilarity& operator=(const RememberedSimilarity&) = delete;

    git_diff_similarity_metric* metric() { return &m_metric; }

private:
    struct Signature {
        git_hashsig* hash;
        uint32_t source = UINT32_MAX; // its row when it is an old file's, given at its first measure
        uint32_t target = UINT32_MAX; // its column when it is a new file's
    };
    static constexpr uint8_t kUnknown = 0xff;
    static constexpr git_hashsig_option_t kOptions = kSimilarityOptions;

    static int keep(void** out, int error, git_hashsig* hash, void* payload)
    {
        if (error < 0)
            return error;
        (void)payload;
        *out = new Signature{hash};
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
        auto* sa = static_cast<Signature*>(a);
        auto* sb = static_cast<Signature*>(b);
        uint8_t* remembered = nullptr;
        if (!self->m_scores.empty()) {
            if (sa->source == UINT32_MAX)
                sa->source = self->m_sources++;
            if (sb->target == UINT32_MAX)
                sb->target = self->m_nextTarget++;
            if (sb->target < self->m_targets && size_t(sa->source) * self->m_targets + sb->target < self->m_scores.size())
                remembered = &self->m_scores[size_t(sa->source) * self->m_targets + sb->target];
        }
        if (remembered && *remembered != kUnknown) {
            *score = *remembered;
            return 0;
        }
        const int measured = git_hashsig_compare(sa->hash, sb->hash);
        if (measured < 0)
            return measured;
        if (remembered)
            *remembered = static_cast<uint8_t>(std::min(measured, 100));
        *score = measured;
        return 0;
    }

    git_diff_similarity_metric m_metric{};
    size_t m_targets = 0;
    uint32_t m_sources = 0, m_nextTarget = 0;
    std::vector<uint8_t> m_scores;
};

std::string_view extensionOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

// A loose object's blob, inflated here rather than by libgit2 (1.5), which loops forever on a
// truncated loose object and writes past its buffer when one holds more than its header says.
// NotLoose: the object is not a loose file (it is packed, or in an alternate store).
enum class LooseRead { NotLoose, Read, Damaged };

LooseRead readLooseBlob(const std::string& objectsDir, const git_oid& oid, size_t size, std::string& buffer,
                        std::string_view& bytes, QString* error)
{
    if (objectsDir.empty())
        return LooseRead::NotLoose;
    char hex[GIT_OID_HEXSZ + 1];
    git_oid_tostr(hex, sizeof hex, &oid);
    const std::string path = objectsDir + std::string(hex, 2) + '/' + (hex + 2);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return LooseRead::NotLoose;
    z_stream z{};
    bool started = false;
    auto damaged = [&](const QString& what) {
        if (started)
            inflateEnd(&z);
        ::close(fd);
        *error = QStringLiteral("loose object %1 is damaged: %2").arg(QString::fromLatin1(hex), what);
        return LooseRead::Damaged;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return damaged(QStringLiteral("not a file"));
    const std::string header = "blob " + std::to_string(size) + '\0';
    // One byte more than the header allows: an object that holds more fills it.
    const size_t expected = header.size() + size;
    buffer.resize(expected + 1);
    if (inflateInit(&z) != Z_OK)
        return damaged(QStringLiteral("out of memory"));
    started = true;
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    char in[1 << 16];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        const ssize_t n = ::read(fd, in, sizeof in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return damaged(QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0)
            return damaged(QStringLiteral("cut short"));
        z.next_in = reinterpret_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(n);
        while (z.avail_in > 0 && rc != Z_STREAM_END) {
            rc = inflate(&z, Z_NO_FLUSH);
            if (z.total_out > expected)
                return damaged(QStringLiteral("holds more than its header says"));
            if (rc != Z_OK && rc != Z_STREAM_END)
                return damaged(QString::fromLatin1(z.msg ? z.msg : "cannot be inflated"));
        }
    }
    if (z.total_out != expected)
        return damaged(QStringLiteral("holds less than its header says"));
    if (buffer.compare(0, header.size(), header) != 0)
        return damaged(QStringLiteral("not a blob of %1 bytes").arg(size));
    inflateEnd(&z);
    ::close(fd);
    bytes = std::string_view(buffer.data() + header.size(), size);
    return LooseRead::Read;
}

// One listed file of a revision.
struct Entry {
    enum class Kind { Blob, Link, Submodule, Absent };
    Kind kind = Kind::Absent;
    git_oid oid{};
    size_t size = 0; // of a blob, from its object header
    qsizetype top = 0; // "REV:" of its key
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
    std::string objectsDir; // ends in "/"
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
        // The size was read from the object's header when it was listed: a blob too large is
        // never inflated.
        if (e->size > kLargestBlob) {
            result.status = SourceFileCount::Status::Abandoned;
            return result;
        }
        const InflationAllowance allowance(e->size);
        thread_local std::string loose;
        std::string_view looseBytes;
        switch (readLooseBlob(objectsDir, e->oid, e->size, loose, looseBytes, &result.error)) {
        case LooseRead::Read: {
            SourceFileCount counted = countSourceBytes(looseBytes, syntax, countSymbolLines, steps);
            if (loose.capacity() > kSmallBlob)
                std::string().swap(loose); // not held once counted
            return counted;
        }
        case LooseRead::Damaged:
            result.status = SourceFileCount::Status::Unreadable;
            return result;
        case LooseRead::NotLoose:
            break;
        }
        // Straight from the object store: blobs are read once, so libgit2's object cache would
        // only cost time.
        git_odb_object* rawObject = nullptr;
        if (git_odb_read(&rawObject, odb.get(), &e->oid) != 0) {
            result.status = SourceFileCount::Status::Unreadable;
            result.error = lastGitError();
            return result;
        }
        const OdbObjectPtr object(rawObject);
        if (git_odb_object_size(object.get()) > kLargestBlob) { // the header said less
            result.status = SourceFileCount::Status::Abandoned;
            return result;
        }
        const std::string_view bytes(static_cast<const char*>(git_odb_object_data(object.get())),
                                     git_odb_object_size(object.get()));
        return countSourceBytes(bytes, syntax, countSymbolLines, steps);
    }

    qsizetype topLength(const QString& path) const override
    {
        const Entry* e = find(path);
        return e ? e->top : 0;
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
        // libgit2 1.5's revparse loses the reference it found when the object it leads to cannot
        // be read: a name that is a reference is followed here first.
        git_reference* rawRef = nullptr;
        if (!revision.isEmpty() && git_reference_dwim(&rawRef, repo.get(), name.constData()) == 0) {
            const ReferencePtr ref(rawRef);
            const git_oid* target = git_reference_target(ref.get());
            if (target && git_object_lookup(&raw, repo.get(), target, GIT_OBJECT_ANY) != 0) {
                *error = QStringLiteral("revision %1 cannot be read: %2").arg(revision, lastGitError());
                return nullptr;
            }
            git_object_free(raw);
            raw = nullptr;
        }
        const int rc = revision.isEmpty() ? GIT_ENOTFOUND : git_revparse_single(&raw, repo.get(), name.constData());
        if (rc != 0) {
            // A name that leads nowhere is the user's; one that leads to an object the store
            // cannot give (a damaged pack) is the repository's, and says what is wrong.
            const QString reason = lastGitError();
            if (revision.isEmpty() || (rc == GIT_ENOTFOUND && reason.startsWith(QStringLiteral("revspec")))
                || rc == GIT_EINVALIDSPEC || rc == GIT_EAMBIGUOUS)
                *error = QStringLiteral("revision not found: %1").arg(revision);
            else
                *error = QStringLiteral("revision %1 cannot be read: %2").arg(revision, reason);
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
    // The first `max` bytes of a blob, read as counting reads it; empty when it cannot be read.
    std::string blobHead(git_odb* odb, const git_oid& oid, size_t size, size_t max) const
    {
        if (size > kLargestBlob)
            return {};
        const InflationAllowance allowance(size);
        std::string loose;
        std::string_view bytes;
        QString error;
        switch (readLooseBlob(objectsDir, oid, size, loose, bytes, &error)) {
        case LooseRead::Read:
            return std::string(bytes.substr(0, max));
        case LooseRead::Damaged:
            return {};
        case LooseRead::NotLoose:
            break;
        }
        git_odb_object* raw = nullptr;
        if (git_odb_read(&raw, odb, &oid) != 0)
            return {};
        const OdbObjectPtr object(raw);
        return std::string(static_cast<const char*>(git_odb_object_data(object.get())),
                           std::min(max, git_odb_object_size(object.get())));
    }

    std::string head(const QString& path, size_t max) const override
    {
        const Entry* e = find(path);
        git_repository* repo = threadRepository(gitDir);
        git_odb* rawOdb = nullptr;
        if (!e || e->kind != Entry::Kind::Blob || !repo || git_repository_odb(&rawOdb, repo) != 0)
            return {};
        const OdbPtr odb(rawOdb);
        return blobHead(odb.get(), e->oid, e->size, max);
    }

    // The file types of a selection, as the walk looks them up.
    struct TypeSets {
        explicit TypeSets(const RevisionSelection& sel) : interpreters(sel.interpreters)
        {
            for (const QString& e : sel.extensions)
                bytes.push_back(pathToNative(e));
            const size_t names = bytes.size();
            for (const QString& n : sel.names)
                bytes.push_back(pathToNative(n));
            for (size_t i = 0; i < bytes.size(); ++i)
                (i < names ? extensions : this->names).insert(bytes[i]);
        }
        bool takesInterpreter(const QString& interpreter) const
        {
            return !interpreter.isEmpty()
                   && (interpreters.contains(interpreter) || interpreters.contains(interpreterWithoutVersion(interpreter)));
        }
        std::vector<std::string> bytes; // what the sets view; never grows once they are made
        std::unordered_set<std::string_view> extensions, names;
        QStringList interpreters;
    };

    bool walk(const git_tree* tree, const std::string& base, const std::string& relative, const RevisionSelection& sel,
              const TypeSets& types, PathPatterns& ignored, const PathPatterns& patterns, git_odb* odb,
              std::vector<Listed>& out, std::vector<UnregisteredFile>* unregistered, QString* error) const
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
                // Rules that cannot be read must not pass for no rules: what they leave out
                // would be counted. As on disk, a .gitignore is a small text file.
                constexpr size_t kLargest = 1 << 20;
                size_t size = 0;
                git_object_t type = GIT_OBJECT_INVALID;
                git_blob* raw = nullptr;
                if (git_odb_read_header(&size, &type, odb, git_tree_entry_id(e)) != 0
                    || (size <= kLargest && git_blob_lookup(&raw, repo.get(), git_tree_entry_id(e)) != 0)) {
                    *error = QStringLiteral("%1 cannot be read: %2")
                                 .arg(pathFromNative(base + join(relative, ".gitignore")), lastGitError());
                    return false;
                }
                const BlobPtr blob(raw);
                if (blob) {
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
                // What is left out on purpose is not counted as passed over either.
                if (excluded(name, false))
                    continue;
                const std::string_view ext = extensionOf(name);
                const bool blob = git_tree_entry_type(e) == GIT_OBJECT_BLOB;
                size_t size = 0;
                git_object_t type = GIT_OBJECT_INVALID;
                bool sized = false;
                auto readSize = [&] {
                    if (!sized)
                        sized = git_odb_read_header(&size, &type, odb, git_tree_entry_id(e)) == 0 && type == GIT_OBJECT_BLOB;
                    return sized;
                };
                const bool taken = types.names.count(name) != 0 || (!ext.empty() && types.extensions.count(ext) != 0)
                                   || (blob && !types.interpreters.isEmpty() && name.find('.') == std::string_view::npos
                                       && readSize()
                                       && types.takesInterpreter(interpreterOfHead(
                                           blobHead(odb, *git_tree_entry_id(e), size, kInterpreterHeadBytes))));
                if (taken)
                    files.emplace_back(name, e);
                else if (unregistered && blob)
                    unregistered->push_back({base + join(relative, name), UnregisteredFiles::kindOf(name),
                                             readSize() ? static_cast<int64_t>(size) : 0});
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
            if (!walk(sub.get(), base, join(relative, name), sel, types, ignored, patterns, odb, out, unregistered, error))
                return false;
        }
        return true;
    }

    std::optional<std::vector<Listed>> collect(const git_tree* root, const QString& revision,
                                               const RevisionSelection& sel, QString* error,
                                               std::vector<UnregisteredFile>* unregistered = nullptr) const
    {
        const TypeSets types(sel);
        QStringList limits = sel.limits;
        if (limits.isEmpty())
            limits << QString();

        git_odb* rawOdb = nullptr;
        if (git_repository_odb(&rawOdb, repo.get()) != 0) {
            *error = lastGitError();
            return std::nullopt;
        }
        const OdbPtr odb(rawOdb);
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
                if (!walk(root, std::string(), std::string(), sel, types, ignored, patterns, odb.get(), out, unregistered,
                          error))
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
            if (!walk(sub.get(), path + '/', std::string(), sel, types, ignored, patterns, odb.get(), out, unregistered,
                      error))
                return std::nullopt;
        }

        // Everything is checked before anything is counted: a clone that lacks objects, or one
        // whose object headers cannot be read, is refused as a whole instead of failing
        // half-way through a report. The header gives the size without inflating the blob.
        for (Listed& l : out) {
            if (l.entry.kind != Entry::Kind::Blob)
                continue;
            git_object_t type = GIT_OBJECT_INVALID;
            const int rc = git_odb_read_header(&l.entry.size, &type, odb.get(), &l.entry.oid);
            if (rc == 0 && type == GIT_OBJECT_BLOB)
                continue;
            char hex[GIT_OID_HEXSZ + 1];
            git_oid_tostr(hex, sizeof hex, &l.entry.oid);
            const QString object = QStringLiteral("object %1 of %2:%3").arg(QString::fromLatin1(hex), revision,
                                                                             pathFromNative(l.path));
            if (rc == GIT_ENOTFOUND)
                *error = object + QStringLiteral(" is not in the repository");
            else if (rc == 0)
                *error = object + QStringLiteral(" is not a file");
            else
                *error = object + QStringLiteral(" cannot be read: ") + lastGitError();
            return std::nullopt;
        }
        return out;
    }

    QString key(const QString& revision, const std::string& path) const { return revision + u':' + pathFromNative(path); }

    // libgit2's similarity of two blobs, -1 when it cannot be measured.
    int similarity(const git_oid& a, const git_oid& b) const
    {
        git_blob *rawA = nullptr, *rawB = nullptr;
        if (git_blob_lookup(&rawA, repo.get(), &a) != 0)
            return -1;
        const BlobPtr blobA(rawA);
        if (git_blob_lookup(&rawB, repo.get(), &b) != 0)
            return -1;
        const BlobPtr blobB(rawB);
        const auto sizeA = static_cast<size_t>(git_blob_rawsize(blobA.get()));
        const auto sizeB = static_cast<size_t>(git_blob_rawsize(blobB.get()));
        if (sizeA > 127 && sizeB > 127 && (sizeA > sizeB << 3 || sizeB > sizeA << 3))
            return 0; // as libgit2: sizes too far apart to be measured
        git_hashsig *sigA = nullptr, *sigB = nullptr;
        int score = -1;
        if (git_hashsig_create(&sigA, static_cast<const char*>(git_blob_rawcontent(blobA.get())), sizeA, kSimilarityOptions) == 0
            && git_hashsig_create(&sigB, static_cast<const char*>(git_blob_rawcontent(blobB.get())), sizeB, kSimilarityOptions) == 0)
            score = git_hashsig_compare(sigA, sigB);
        git_hashsig_free(sigA);
        git_hashsig_free(sigB);
        return score;
    }

    // As git does before its full search: a file whose name is found once among the files only
    // in the old revision and once among those only in the new one is compared with that one
    // alone, and paired when they are similar enough. A moved folder then costs one measure a
    // file, not one for each pair of its files. Files that may be exact copies of others are
    // left to the full search, which finds those first.
    template <typename Pairs, typename Pair>
    void pairByName(Pairs& pairs, Pair pairMoved) const
    {
        struct Ends {
            int removed = 0, added = 0;
            typename Pairs::iterator from, to;
        };
        std::map<std::string_view, Ends> byName;
        std::set<std::string> removedIds, addedIds;
        auto idOf = [&](const QString& key) {
            const Entry* e = find(key);
            return e && e->kind == Entry::Kind::Blob ? std::string(reinterpret_cast<const char*>(e->oid.id), GIT_OID_RAWSZ)
                                                     : std::string();
        };
        for (auto it = pairs.begin(); it != pairs.end(); ++it) {
            const FilePair& pair = it->second;
            if (pair.oldPath.isEmpty() == pair.newPath.isEmpty())
                continue;
            const size_t slash = it->first.rfind('/');
            Ends& ends = byName[std::string_view(it->first).substr(slash == std::string::npos ? 0 : slash + 1)];
            if (pair.newPath.isEmpty()) {
                ++ends.removed;
                ends.from = it;
                removedIds.insert(idOf(pair.oldPath));
            } else {
                ++ends.added;
                ends.to = it;
                addedIds.insert(idOf(pair.newPath));
            }
        }
        std::vector<std::pair<typename Pairs::iterator, typename Pairs::iterator>> moved;
        for (const auto& [name, ends] : byName) {
            if (ends.removed != 1 || ends.added != 1)
                continue;
            const std::string from = idOf(ends.from->second.oldPath), to = idOf(ends.to->second.newPath);
            if (from.empty() || to.empty() || addedIds.count(from) || removedIds.count(to))
                continue;
            git_oid a, b;
            std::memcpy(a.id, from.data(), GIT_OID_RAWSZ);
            std::memcpy(b.id, to.data(), GIT_OID_RAWSZ);
            if (similarity(a, b) >= kRenameThreshold)
                moved.emplace_back(ends.from, ends.to);
        }
        for (const auto& [from, to] : moved) {
            const std::string oldPath = from->first;
            pairMoved(from, to, oldPath.c_str());
        }
    }
    void remember(const QString& key, const QString& revision, Entry entry)
    {
        entry.top = revision.size() + 1;
        entries.insert(key, entry);
    }
};

GitRepository::GitRepository(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

GitRepository::~GitRepository() = default;

std::unique_ptr<GitRepository> GitRepository::open(const QString& folder, QString* error)
{
    initLibgit2Once();
    git_repository* raw = nullptr;
    // Searched upwards as git does, but not across file systems.
    if (git_repository_open_ext(&raw, pathToNative(folder).c_str(), 0, nullptr) != 0) {
        *error = QStringLiteral("not a git repository: %1").arg(folder);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->repo.reset(raw);
    impl->gitDir = git_repository_path(raw);
    git_buf objects = GIT_BUF_INIT;
    if (git_repository_item_path(&objects, raw, GIT_REPOSITORY_ITEM_OBJECTS) == 0) {
        impl->objectsDir = objects.ptr;
        if (!impl->objectsDir.empty() && impl->objectsDir.back() != '/')
            impl->objectsDir += '/';
    }
    git_buf_dispose(&objects);
    std::unique_ptr<GitRepository> repository(new GitRepository(std::move(impl)));
    if (!repository->workFolder().isEmpty())
        repository->m_startFolder = repository->repositoryPath(QFileInfo(folder).canonicalFilePath(), QString()).value_or(QString());
    return repository;
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
    // Releases are tags: they come first, by version, then the branches.
    std::stable_sort(names.begin(), names.end(), [](const Named& a, const Named& b) {
        if (a.tag != b.tag)
            return a.tag;
        if (a.tag) {
            const int order = compareVersions(a.name, b.name);
            return order != 0 ? order > 0 : a.time > b.time;
        }
        return a.time != b.time ? a.time > b.time : a.name > b.name;
    });
    QStringList out;
    for (const Named& n : names)
        out << n.name;
    return out;
}

QString GitRepository::previousTag(const QString& tag) const
{
    git_repository* repo = m_impl->repo.get();
    // Every tag by the commit it leads to.
    QHash<QByteArray, QStringList> tagsOf;
    git_strarray names{};
    if (git_tag_list(&names, repo) != 0)
        return {};
    for (size_t i = 0; i < names.count; ++i) {
        git_object* raw = nullptr;
        const QByteArray tagRef = QByteArrayLiteral("refs/tags/") + names.strings[i];
        if (git_revparse_single(&raw, repo, tagRef.constData()) != 0)
            continue;
        const ObjectPtr object(raw);
        git_object* peeled = nullptr;
        if (git_object_peel(&peeled, object.get(), GIT_OBJECT_COMMIT) == 0) {
            const ObjectPtr commit(peeled);
            tagsOf[QByteArray(reinterpret_cast<const char*>(git_object_id(commit.get())->id), GIT_OID_RAWSZ)]
                << QString::fromUtf8(names.strings[i]);
        }
    }
    git_strarray_dispose(&names);

    git_object* raw = nullptr;
    if (git_revparse_single(&raw, repo, (QStringLiteral("refs/tags/") + tag).toUtf8().constData()) != 0)
        return {};
    const ObjectPtr object(raw);
    git_object* peeled = nullptr;
    if (git_object_peel(&peeled, object.get(), GIT_OBJECT_COMMIT) != 0)
        return {};
    const ObjectPtr start(peeled);
    git_revwalk* rawWalk = nullptr;
    if (git_revwalk_new(&rawWalk, repo) != 0)
        return {};
    const std::unique_ptr<git_revwalk, GitDeleter<git_revwalk, git_revwalk_free>> walk(rawWalk);
    // Children before parents, so the first tagged commit met is a nearest one.
    git_revwalk_sorting(walk.get(), GIT_SORT_TOPOLOGICAL | GIT_SORT_TIME);
    const git_oid* startId = git_object_id(start.get());
    if (git_revwalk_push(walk.get(), startId) != 0)
        return {};
    git_oid id;
    while (git_revwalk_next(&id, walk.get()) == 0) {
        if (git_oid_equal(&id, startId))
            continue;
        const auto found = tagsOf.constFind(QByteArray(reinterpret_cast<const char*>(id.id), GIT_OID_RAWSZ));
        if (found == tagsOf.cend())
            continue;
        QString best = found->first();
        for (const QString& name : *found) {
            if (compareVersions(name, best) > 0)
                best = name;
        }
        return best;
    }
    return {};
}

int compareVersions(const QString& a, const QString& b)
{
    auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    // "v1.2" and "1.2" name the same release.
    auto start = [&](const QString& s) { return s.size() > 1 && (s[0] == u'v' || s[0] == u'V') && isDigit(s[1]) ? 1 : 0; };
    qsizetype i = start(a), j = start(b);
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // As numbers, of any length: leading zeros aside, the longer is larger.
            QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y); c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j] ? -1 : 1;
            ++i;
            ++j;
        }
    }
    auto laterByRest = [&](const QString& s, qsizetype k) { return s[k] == u'.' || isDigit(s[k]) ? 1 : -1; };
    if (i < a.size())
        return laterByRest(a, i);
    if (j < b.size())
        return -laterByRest(b, j);
    return 0;
}

bool GitRepository::hasRevision(const QString& revision) const
{
    QString error;
    return m_impl->treeOf(revision, &error) != nullptr;
}

std::optional<QStringList> GitRepository::listFiles(const QString& revision, const RevisionSelection& selection,
                                                    QString* error, UnregisteredFiles* unregistered)
{
    const TreePtr tree = m_impl->treeOf(revision, error);
    if (!tree)
        return std::nullopt;
    std::vector<UnregisteredFile> passed;
    const std::optional<std::vector<Listed>> listed =
        m_impl->collect(tree.get(), revision, selection, error, unregistered ? &passed : nullptr);
    if (!listed)
        return std::nullopt;
    if (unregistered) {
        // Limits that overlap pass a file over once.
        *unregistered = UnregisteredFiles::ofBoth({}, passed);
    }
    QStringList out;
    out.reserve(static_cast<qsizetype>(listed->size()));
    QSet<QString> seen; // limits that overlap list a file once
    for (const Listed& l : *listed) {
        const QString key = m_impl->key(revision, l.path);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        m_impl->remember(key, revision, l.entry);
        out << key;
    }
    return out;
}

std::optional<std::vector<FilePair>> GitRepository::pairFiles(const QString& oldRevision, const QString& newRevision,
                                                              const RevisionSelection& selection, QString* error,
                                                              UnregisteredFiles* unregistered)
{
    const TreePtr oldTree = m_impl->treeOf(oldRevision, error);
    if (!oldTree)
        return std::nullopt;
    const TreePtr newTree = m_impl->treeOf(newRevision, error);
    if (!newTree)
        return std::nullopt;
    std::vector<UnregisteredFile> oldPassed, newPassed;
    const auto oldFiles = m_impl->collect(oldTree.get(), oldRevision, selection, error, unregistered ? &oldPassed : nullptr);
    if (!oldFiles)
        return std::nullopt;
    const auto newFiles = m_impl->collect(newTree.get(), newRevision, selection, error, unregistered ? &newPassed : nullptr);
    if (!newFiles)
        return std::nullopt;
    if (unregistered)
        *unregistered = UnregisteredFiles::ofBoth(oldPassed, newPassed);

    std::map<std::string, FilePair, bool (*)(std::string_view, std::string_view)> pairs(&walkOrderLess);
    // A file named as a limit that only one version has is added or deleted, as a file the walk
    // finds there; only a name neither version has is reported missing.
    std::set<std::string_view> present;
    for (const auto* files : {&*oldFiles, &*newFiles}) {
        for (const Listed& l : *files) {
            if (l.entry.kind != Entry::Kind::Absent)
                present.insert(l.path);
        }
    }
    auto taken = [&](const Listed& l) { return l.entry.kind != Entry::Kind::Absent || !present.contains(l.path); };
    for (const Listed& l : *oldFiles) {
        if (!taken(l))
            continue;
        const QString key = m_impl->key(oldRevision, l.path);
        m_impl->remember(key, oldRevision, l.entry);
        pairs[l.path].oldPath = key;
    }
    for (const Listed& l : *newFiles) {
        if (!taken(l))
            continue;
        const QString key = m_impl->key(newRevision, l.path);
        m_impl->remember(key, newRevision, l.entry);
        pairs[l.path].newPath = key;
    }

    // A file moved is paired with its old self when both ends are taken and each end is
    // only in its own version. Only those ends are handed to the rename detection, whose work
    // grows with the product of the two numbers.
    auto pairMoved = [&](auto from, auto to, const char* oldPath) {
        to->second.oldPath = from->second.oldPath;
        to->second.renamedFrom = pathFromNative(oldPath);
        pairs.erase(from);
    };
    m_impl->pairByName(pairs, pairMoved);
    std::vector<std::string> candidates;
    size_t sources = 0;
    for (const auto& [path, pair] : pairs) {
        if (pair.oldPath.isEmpty() != pair.newPath.isEmpty()) {
            candidates.push_back(path);
            sources += pair.newPath.isEmpty();
        }
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
    // Every moved file is looked for among every candidate: libgit2 tries only the first 1,000
    // sources for each target by default, which leaves the rest as deleted and added.
    find.rename_limit = candidates.size();
    RememberedSimilarity similarity(sources, candidates.size() - sources);
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
        pairMoved(from, to, d->old_file.path);
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

// git's ignore rules for a walk inside a working folder, read as git reads them (the user's
// excludes file, .git/info/exclude, then every .gitignore from the top down, the deeper having
// the last word) and matched here: libgit2's own matcher, like git's, takes exponential time on
// a pattern of many stars, and a committed .gitignore could stall every count.
class RepositoryIgnoreFilter : public WalkFilter {
public:
    RepositoryIgnoreFilter(git_repository* repo, const std::string& workdir, std::string prefix, const Exclusions& exclusions)
        : m_prefix(std::move(prefix))
    {
        for (const QString& p : exclusions.patterns)
            m_patterns.add(pathToNative(p));
        m_ignored.addLines(readRulesFile(userExcludesFile(repo)));
        git_buf info = GIT_BUF_INIT;
        if (git_repository_item_path(&info, repo, GIT_REPOSITORY_ITEM_INFO) == 0)
            m_ignored.addLines(readRulesFile(std::string(info.ptr) + "/exclude"));
        git_buf_dispose(&info);
        // The folders above the walked one: their rules, and whether they are ignored themselves.
        std::string above;
        for (size_t slash; (slash = m_prefix.find('/', above.size())) != std::string::npos;) {
            m_ignored.addLines(readRulesFile(workdir + above + ".gitignore"), above);
            const std::string folder = m_prefix.substr(0, slash);
            m_insideIgnored = m_insideIgnored || m_ignored.excludes(folder, true);
            above = folder + '/';
        }
    }

    void entering(const std::string& relative, const std::string& full) override
    {
        m_ignored.addLines(readRulesFile(full + "/.gitignore"), m_prefix + (relative.empty() ? std::string() : relative + '/'));
    }

    bool excludes(std::string_view relative, bool directory) const override
    {
        const PathPatterns::Verdict verdict = m_patterns.match(relative, directory);
        if (verdict != PathPatterns::Verdict::None)
            return verdict == PathPatterns::Verdict::Excluded;
        if (m_insideIgnored)
            return true;
        std::string path = m_prefix;
        path += relative;
        return m_ignored.excludes(path, directory);
    }

private:
    static std::string userExcludesFile(git_repository* repo)
    {
        std::string path;
        git_config* config = nullptr;
        if (git_repository_config_snapshot(&config, repo) == 0) {
            git_buf buf = GIT_BUF_INIT;
            if (git_config_get_path(&buf, config, "core.excludesfile") == 0)
                path = buf.ptr;
            git_buf_dispose(&buf);
            git_config_free(config);
        }
        if (path.empty()) {
            const char* xdg = std::getenv("XDG_CONFIG_HOME");
            const char* home = std::getenv("HOME");
            if (xdg && *xdg)
                path = std::string(xdg) + "/git/ignore";
            else if (home && *home)
                path = std::string(home) + "/.config/git/ignore";
        }
        return path;
    }

    std::string m_prefix;  // the walked folder within the working folder: "" or "a/b/"
    PathPatterns m_patterns; // given by the user; they have the last word
    PathPatterns m_ignored;  // git's, by paths within the working folder
    bool m_insideIgnored = false; // the walked folder lies in a folder git ignores
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
                return std::make_unique<RepositoryIgnoreFilter>(repo.get(), workdir, std::move(prefix), exclusions);
            }
        }
    }
    if (!exclusions.any())
        return nullptr;
    return makePatternFilter(exclusions);
}

} // namespace tarvik
