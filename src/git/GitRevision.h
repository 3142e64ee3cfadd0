#pragma once

#include "counting/SourceStore.h"
#include "counting/VersionDiff.h"
#include "config/FileTypeTable.h"
#include "intake/PathPatterns.h"
#include "intake/UnregisteredFiles.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tarvik {

// Which files of a revision are taken: the rules of the directory walk, applied to its tree.
struct RevisionSelection {
    QStringList extensions;            // the registered file types that the folder search takes
    bool includeSubdirectories = true;
    QStringList limits;                // folders or files of the repository ("" or none: all of it)
    Exclusions exclusions;             // with `gitignore`, the .gitignore files of the tree itself
    QStringList names{};               // whole file names the folder search takes
    QStringList interpreters{};        // interpreters of "#!" lines it takes (names without a ".")

    void setTypes(const SearchedTypes& types)
    {
        extensions = types.extensions;
        names = types.names;
        interpreters = types.interpreters;
    }
};

// A repository opened for reading its objects; it is never changed. The files of its revisions
// are read straight from the object store, and are listed as "REV:path".
class GitRepository {
public:
    ~GitRepository();
    GitRepository(const GitRepository&) = delete;
    GitRepository& operator=(const GitRepository&) = delete;

    // Null with a one-line reason when `folder` is not a repository.
    static std::unique_ptr<GitRepository> open(const QString& folder, QString* error);

    // The working folder; empty for a bare repository.
    QString workFolder() const;
    // Tags, then branches, each the newest commit first.
    QStringList revisionNames() const;
    // Whether `revision` names a commit (or tree) of this repository.
    bool hasRevision(const QString& revision) const;

    // A path given by the user as a path of the repository: relative to the working folder
    // when, taken from `currentFolder`, it lies inside it; otherwise a relative path is taken
    // as written ("src/x.c", for a bare repository or a folder elsewhere). Nullopt for an
    // absolute path outside the working folder.
    std::optional<QString> repositoryPath(const QString& given, const QString& currentFolder) const;

    // The files of `revision` that `selection` takes, in the walk's order, each as
    // "REV:path"; a file named by a limit is taken whatever its type, as on disk. Nullopt with
    // a one-line reason when the revision, or an object it needs, is not there. The files the
    // selection passed over go to `unregistered` when given (sizes from the object headers; 0
    // for an object that is not there, as in a partial clone).
    std::optional<QStringList> listFiles(const QString& revision, const RevisionSelection& selection, QString* error,
                                         UnregisteredFiles* unregistered = nullptr);

    // The two revisions' files paired by path, and a file moved (libgit2's rename detection)
    // paired with its old self. A file passed over in both revisions counts once in `unregistered`.
    std::optional<std::vector<FilePair>> pairFiles(const QString& oldRevision, const QString& newRevision,
                                                   const RevisionSelection& selection, QString* error,
                                                   UnregisteredFiles* unregistered = nullptr);

    // Reads the files listed by this repository; safe from several threads.
    const SourceStore& store() const;

private:
    struct Impl;
    explicit GitRepository(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// The filter of a walk of the folder `root` on disk: with `gitignore`, the rules git itself
// applies when the folder lies in a repository's working folder (its .gitignore files, the
// repository's exclude file and the user's), otherwise the .gitignore files met on the way.
std::unique_ptr<WalkFilter> makeWalkFilter(const std::string& root, const Exclusions& exclusions);

} // namespace tarvik
