#include "output/DiffCsvFile.h"

#include "config/AtomicFile.h"
#include "counting/DiffReport.h"

namespace tarvik {

bool SaveDiffCsv(const QString& path, const QList<FileChange>& changes, QString* error)
{
    OutputFile file(path);
    if (!file.open(error))
        return false;
    file.write(QByteArrayLiteral("\xEF\xBB\xBF"));
    file.write(DiffCsv::header());
    for (const FileChange& c : changes)
        file.write(DiffCsv::row(c));
    return file.commit(error);
}

} // namespace tarvik
