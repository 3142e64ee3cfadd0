#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <optional>

namespace tarvik {

// Finishes a QSaveFile: its buffer flushed and the data synced to disk before the rename, so
// that a full disk or an I/O error fails the write. QSaveFile::commit() alone renames even when
// flushing its buffer failed, which replaces the old file with a cut one. On failure the old
// file stays as it was, the temporary file is removed, and `error` says why.
bool commitSaveFile(QSaveFile& file, QString* error);

// Replaces the file at `path` with `bytes` in that way. With `mode`, the new file gets those
// permissions before any byte is written, so it never passes through a more open state.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         std::optional<QFileDevice::Permissions> mode = std::nullopt);

} // namespace tarvik
