#include "output/DiffCsvFile.h"

#include "counting/DiffReport.h"

#include <QSaveFile>

namespace tarvik {

bool SaveDiffCsv(const QString& path, const QList<FileChange>& changes, QString* error)
{
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    auto put = [&](const QByteArray& bytes) {
        if (written)
            written = file.write(bytes) == bytes.size();
    };
    put(QByteArrayLiteral("\xEF\xBB\xBF"));
    put(DiffCsv::header());
    for (const FileChange& c : changes)
        put(DiffCsv::row(c));
    if (!written || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace tarvik
