#include "output/DiffCsvFile.h"

#include "config/AtomicFile.h"
#include "config/NativePath.h"
#include "output/CsvFormat.h"

namespace tarvik {

QByteArray DiffCsv::header()
{
    return QByteArrayLiteral("relative_path,status,outcome,old_steps,new_steps,added,changed,deleted,old_path,new_path,status_code,reused\r\n");
}

QByteArray DiffCsv::row(const FileChange& c, CsvFormat::Reader reader)
{
    return CsvFormat::field(exportPath(c.relativePath), reader) + ',' + changeStatusText(c.status).toUtf8() + ',' + outcomeName(c.outcome).toUtf8()
           + ',' + QByteArray::number(c.oldSteps) + ',' + QByteArray::number(c.newSteps) + ','
           + QByteArray::number(c.steps.added) + ',' + QByteArray::number(c.steps.changed) + ','
           + QByteArray::number(c.steps.deleted) + ',' + CsvFormat::field(exportPath(c.oldPath), reader) + ',' + CsvFormat::field(exportPath(c.newPath), reader)
           + ',' + changeStatusCode(c.status).toLatin1() + ',' + QByteArray::number(c.reusedSteps()) + "\r\n";
}

bool SaveDiffCsv(const QString& path, const QList<FileChange>& changes, QString* error)
{
    OutputFile file(path);
    if (!file.open(error))
        return false;
    file.write(QByteArrayLiteral("\xEF\xBB\xBF"));
    file.write(DiffCsv::header());
    for (const FileChange& c : changes)
        file.write(DiffCsv::row(c, CsvFormat::Reader::Spreadsheet));
    return file.commit(error);
}

} // namespace tarvik
