#pragma once

#include <QString>

#include <git2.h>

#include <memory>

namespace tarvik {

// libgit2's objects, each freed by its own function when its handle goes.
template <typename T, void (*Free)(T*)>
struct GitDeleter {
    void operator()(T* p) const { Free(p); }
};
using BlamePtr = std::unique_ptr<git_blame, GitDeleter<git_blame, git_blame_free>>;
using BlobPtr = std::unique_ptr<git_blob, GitDeleter<git_blob, git_blob_free>>;
using CommitPtr = std::unique_ptr<git_commit, GitDeleter<git_commit, git_commit_free>>;
using DiffPtr = std::unique_ptr<git_diff, GitDeleter<git_diff, git_diff_free>>;
using EntryPtr = std::unique_ptr<git_tree_entry, GitDeleter<git_tree_entry, git_tree_entry_free>>;
using ObjectPtr = std::unique_ptr<git_object, GitDeleter<git_object, git_object_free>>;
using OdbObjectPtr = std::unique_ptr<git_odb_object, GitDeleter<git_odb_object, git_odb_object_free>>;
using OdbPtr = std::unique_ptr<git_odb, GitDeleter<git_odb, git_odb_free>>;
using ReferenceIteratorPtr = std::unique_ptr<git_reference_iterator, GitDeleter<git_reference_iterator, git_reference_iterator_free>>;
using ReferencePtr = std::unique_ptr<git_reference, GitDeleter<git_reference, git_reference_free>>;
using RepositoryPtr = std::unique_ptr<git_repository, GitDeleter<git_repository, git_repository_free>>;
using TreePtr = std::unique_ptr<git_tree, GitDeleter<git_tree, git_tree_free>>;

// libgit2's words on its last failure on this thread; empty when it gave none.
inline QString lastGitError()
{
    const git_error* e = git_error_last();
    return e && e->message ? QString::fromUtf8(e->message) : QString();
}

// Starts libgit2, once, with the options every reader of repositories here uses.
void initLibgit2Once();

} // namespace tarvik
