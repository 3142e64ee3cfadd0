#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>
#include <string>

namespace tarvik {

// A file being saved; every save of the program goes through it. A regular file, or a name
// where nothing is yet, is replaced atomically: the bytes go to a temporary file in its folder,
// which is synced to disk and renamed over it at commit, so a full disk or an I/O error leaves
// the old file whole. Where the file system allows, the temporary file has no name until the
// commit links it in, so a process killed while writing leaves nothing behind; elsewhere it is
// named, and removePendingTemporaries() removes it on an interrupt. A symbolic link is followed
// and the file it leads to is replaced, the link kept. A FIFO or a character device (a
// terminal, /dev/null) is written straight into, as a shell's redirection does: renaming over it
// would replace the node itself. Anything else (a directory, a block device) is refused. Errors
// name the system's reason ("No space left on device").
class OutputFile {
public:
    explicit OutputFile(const QString& path);
    ~OutputFile(); // a file not committed is cancelled
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // With `mode`, a file that is replaced gets those permissions before any byte is written;
    // otherwise it keeps the mode of the file it replaces.
    bool open(QString* error, std::optional<QFileDevice::Permissions> mode = std::nullopt);
    // After the first failure writes do nothing more; commit() reports it.
    bool write(const QByteArray& bytes);
    bool commit(QString* error);
    // Leaves the old file as it was and removes the temporary file.
    void cancel();
    // A name of the temporary file, open and empty, for a writer that wants a name to write to
    // rather than bytes (commit still syncs and renames it): /proc/self/fd/N of an unnamed one;
    // empty when the path is a FIFO or a device written straight into.
    const std::string& temporaryPath() const { return m_writerPath; }
    // The file replaced at commit, links followed.
    const std::string& targetPath() const { return m_final; }

private:
    bool fail(int err, QString* error);
    bool writeAll(const char* data, size_t size);
    bool openUnnamed(const std::string& folder, mode_t mode, int* err);
    int linkIn(); // errno, or 0 once the unnamed file has replaced m_final

    QString m_path;
    std::string m_final;      // the file replaced at commit
    std::string m_temporary;  // the named temporary beside m_final, while there is one
    std::string m_writerPath; // what temporaryPath() gives
    bool m_unnamed = false;
    int m_slot = -1; // m_temporary's entry among the names removed on an interrupt
    int m_fd = -1;
    int m_writeError = 0; // errno of the first failed write
    std::string m_buffer; // small writes go out together
};

// Removes the named temporary files of the OutputFiles not yet committed or cancelled. Safe in
// a signal handler: it only reads a fixed table and calls unlink.
void removePendingTemporaries() noexcept;

// Saves `bytes` to `path` through an OutputFile.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         std::optional<QFileDevice::Permissions> mode = std::nullopt);

} // namespace tarvik
