#include "output/Workbook.h"

#include "config/AtomicFile.h"
#include "config/NativePath.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace tarvik {

namespace {

// Beyond this a column would push the others off the screen; the text is still all there.
constexpr int kWidestColumn = 100;
// Room for the cell's margins, and in the header for the filter's button as well.
constexpr int kCellMargin = 2;
constexpr int kHeaderMargin = 4;
constexpr int kMaxSheetName = 31;
constexpr lxw_row_t kMaxRows = 1048576;

bool isWide(char32_t c)
{
    struct Range {
        char32_t first, last;
    };
    static constexpr Range kWide[] = {
        {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF}, {0xA960, 0xA97F}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},
        {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
        {0x20000, 0x3FFFD},
    };
    return std::any_of(std::begin(kWide), std::end(kWide), [c](const Range& r) { return c >= r.first && c <= r.last; });
}

QString kstepText(int64_t steps) { return QString::number(static_cast<double>(steps) / 1000.0, 'f', 3); }

// What the cell shows, for measuring its column.
QString shownText(const FigureTable::Cell& cell, FigureTable::Kind kind)
{
    if (const auto* text = std::get_if<QString>(&cell))
        return *text;
    const int64_t value = std::get<int64_t>(cell);
    return kind == FigureTable::Kind::KStep ? kstepText(value) : QString::number(value);
}

// A title a spreadsheet takes as a sheet's name: none of []:*?/\, no quote at either end, at
// most 31 characters, and not the name of an earlier sheet.
QString sheetName(const QString& title, std::set<QString>& used)
{
    QString name = title;
    for (QChar& c : name) {
        if (QStringLiteral("[]:*?/\\").contains(c))
            c = u'_';
    }
    while (name.startsWith(u'\''))
        name.remove(0, 1);
    while (name.endsWith(u'\''))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("Sheet");
    name.truncate(kMaxSheetName);
    const QString base = name;
    for (int n = 2; used.count(name.toLower()) != 0; ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        name = base.left(kMaxSheetName - suffix.size()) + suffix;
    }
    used.insert(name.toLower());
    return name;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A spreadsheet reads "_x0041_" in a cell's text as the character it codes ("A"), and the library
// writes text as it is: the "_" of every such literal sequence is written as "_x005F_".
QByteArray cellText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!utf8.contains("_x"))
        return utf8;
    QByteArray out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '_' && i + 6 < utf8.size() && utf8[i + 1] == 'x' && utf8[i + 6] == '_' && isHexDigit(utf8[i + 2])
            && isHexDigit(utf8[i + 3]) && isHexDigit(utf8[i + 4]) && isHexDigit(utf8[i + 5]))
            out += "_x005F_";
        else
            out += utf8[i];
    }
    return out;
}

class BookWriter {
public:
    explicit BookWriter(lxw_workbook* book) : m_book(book)
    {
        m_header = workbook_add_format(book);
        format_set_bold(m_header);
        m_kstep = workbook_add_format(book);
        format_set_num_format(m_kstep, "0.000");
    }

    lxw_error addSheet(const WorkbookSheet& sheet, std::set<QString>& usedNames)
    {
        const FigureTable& table = sheet.table;
        if (table.columns.empty())
            return LXW_NO_ERROR; // a sheet with nothing to show is left out
        if (table.rows.size() + 2 > kMaxRows)
            return LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE;
        const QByteArray name = sheetName(table.title, usedNames).toUtf8();
        lxw_worksheet* ws = workbook_add_worksheet(m_book, name.constData());
        if (!ws)
            return LXW_ERROR_MEMORY_MALLOC_FAILED;

        setWidths(ws, sheet);
        const auto columns = static_cast<lxw_col_t>(table.columns.size());
        for (lxw_col_t c = 0; c < columns; ++c)
            text(ws, 0, c, table.columns[c].header, m_header);
        lxw_row_t row = 1;
        for (const std::vector<FigureTable::Cell>& cells : table.rows) {
            for (lxw_col_t c = 0; c < columns && c < cells.size(); ++c) {
                if (const auto* t = std::get_if<QString>(&cells[c]))
                    text(ws, row, c, *t, nullptr);
                else if (table.columns[c].kind == FigureTable::Kind::KStep)
                    kstep(ws, row, c, std::get<int64_t>(cells[c]));
                else
                    check(worksheet_write_number(ws, row, c, static_cast<double>(std::get<int64_t>(cells[c])), nullptr));
            }
            ++row;
        }
        worksheet_freeze_panes(ws, 1, 0);
        check(worksheet_autofilter(ws, 0, 0, row - 1, columns - 1));
        if (sheet.total) {
            lxw_col_t c = 0;
            for (const QString& t : sheet.total->texts)
                text(ws, row, c++, t, nullptr);
            kstep(ws, row, c++, sheet.total->steps);
            text(ws, row, c, sheet.total->unit, nullptr);
        }
        return m_error;
    }

private:
    void setWidths(lxw_worksheet* ws, const WorkbookSheet& sheet)
    {
        const FigureTable& table = sheet.table;
        std::vector<int> widths(table.columns.size());
        for (size_t c = 0; c < table.columns.size(); ++c)
            widths[c] = displayWidth(table.columns[c].header) + kHeaderMargin;
        auto widen = [&](size_t c, const QString& shown) {
            if (c >= widths.size())
                widths.resize(c + 1, 0);
            widths[c] = std::max(widths[c], displayWidth(shown) + kCellMargin);
        };
        for (const std::vector<FigureTable::Cell>& cells : table.rows) {
            for (size_t c = 0; c < cells.size() && c < table.columns.size(); ++c)
                widen(c, shownText(cells[c], table.columns[c].kind));
        }
        if (sheet.total) {
            size_t c = 0;
            for (const QString& t : sheet.total->texts)
                widen(c++, t);
            widen(c++, kstepText(sheet.total->steps));
            widen(c, sheet.total->unit);
        }
        for (size_t c = 0; c < widths.size(); ++c) {
            const auto col = static_cast<lxw_col_t>(c);
            check(worksheet_set_column(ws, col, col, std::min(widths[c], kWidestColumn), nullptr));
        }
    }

    void text(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, const QString& value, lxw_format* format)
    {
        if (value.isEmpty() && !format)
            return; // an empty field is an empty cell
        check(worksheet_write_string(ws, row, col, cellText(value).constData(), format));
    }
    void kstep(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, int64_t steps)
    {
        check(worksheet_write_number(ws, row, col, static_cast<double>(steps) / 1000.0, m_kstep));
    }
    void check(lxw_error error)
    {
        if (m_error == LXW_NO_ERROR)
            m_error = error;
    }

    lxw_workbook* m_book;
    lxw_format* m_header = nullptr;
    lxw_format* m_kstep = nullptr;
    lxw_error m_error = LXW_NO_ERROR;
};

QString reasonOf(lxw_error error, int err)
{
    // The library leaves the system's reason in errno when a file could not be made or written.
    switch (error) {
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        if (err != 0)
            return QString::fromLocal8Bit(std::strerror(err));
        break;
    case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
        return QStringLiteral("More rows than a sheet can hold");
    default:
        break;
    }
    return QString::fromUtf8(lxw_strerror(error));
}

// Builds the workbook in the file `target`, which the library opens by its name. Its own
// temporary files go into `folder`, that of the file saved: one disk, and not a small /tmp in
// memory.
bool writeBook(const std::string& target, std::string folder, const std::vector<WorkbookSheet>& sheets, QString* error)
{
    lxw_workbook_options options{};
    // Rows go out as they are written, so a long list does not sit in memory twice.
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    lxw_workbook* book = workbook_new_opt(target.c_str(), &options);
    if (!book) {
        if (error)
            *error = reasonOf(LXW_ERROR_MEMORY_MALLOC_FAILED, 0);
        return false;
    }
    BookWriter writer(book);
    std::set<QString> usedNames;
    lxw_error failed = LXW_NO_ERROR;
    for (const WorkbookSheet& sheet : sheets) {
        failed = writer.addSheet(sheet, usedNames);
        if (failed != LXW_NO_ERROR)
            break;
    }
    if (failed == LXW_NO_ERROR && usedNames.empty())
        worksheet_write_blank(workbook_add_worksheet(book, nullptr), 0, 0, nullptr); // a workbook needs a sheet
    errno = 0;
    const lxw_error closed = workbook_close(book); // frees the workbook whatever happens
    const int err = errno;
    if (failed == LXW_NO_ERROR)
        failed = closed;
    if (failed != LXW_NO_ERROR && error)
        *error = reasonOf(failed, err);
    return failed == LXW_NO_ERROR;
}

} // namespace

int displayWidth(const QString& text)
{
    int width = 0;
    for (char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

bool SaveWorkbook(OutputFile& file, const std::vector<WorkbookSheet>& sheets, QString* error)
{
    if (!file.temporaryPath().empty()) {
        const std::string& target = file.targetPath();
        const size_t slash = target.rfind('/');
        std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, std::max<size_t>(slash, 1));
        if (!writeBook(file.temporaryPath(), std::move(folder), sheets, error)) {
            file.cancel();
            return false;
        }
        return file.commit(error);
    }
    // A FIFO or a device cannot be sought in, which the library's zip writer needs: the workbook
    // is built aside and then written into it.
    QTemporaryDir scratch;
    const QString aside = scratch.filePath(QStringLiteral("book.xlsx"));
    if (!scratch.isValid() || !writeBook(pathToNative(aside), pathToNative(scratch.path()), sheets, error)) {
        if (error && !scratch.isValid())
            *error = scratch.errorString();
        file.cancel();
        return false;
    }
    QFile built(aside);
    if (!built.open(QIODevice::ReadOnly)) {
        if (error)
            *error = built.errorString();
        file.cancel();
        return false;
    }
    file.write(built.readAll());
    return file.commit(error);
}

bool SaveWorkbook(const QString& path, const std::vector<WorkbookSheet>& sheets, QString* error)
{
    OutputFile file(path);
    return file.open(error) && SaveWorkbook(file, sheets, error);
}

} // namespace tarvik
