#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tarvik {

// The printed result list, laid out in character cells (1/12 inch across, 1/6 inch down, the
// height of one line of the 12-point font): a heading on every page, then one line per grid row,
// a row and a half apart, 40 rows to a page.
struct PrintItem {
    enum class Font { Title, Body }; // 16-point bold and 12-point regular Mincho
    double x = 0;
    double y = 0;
    QString text;
    Font font = Font::Body;
};

struct PrintPage {
    QList<PrintItem> items;
};

class PrintLayout {
public:
    static constexpr int kRowsPerPage = 40;

    // One printed row from a grid row's columns 0, 2, 3 and 4.
    struct Row {
        QString programId, executable, comment, total;
    };

    // `closing` lines follow the rows (after the totals row), laid out as they are.
    static QList<PrintPage> pages(const QList<Row>& rows, const QStringList& closing = {});
    // The four fields side by side, right-aligned in 15, 11, 13 and 13 characters; the Program
    // ID is cut to its first 15 characters, a longer value is printed whole.
    static QString rowText(const Row& row);

    // Body lines from 4.5 down, a line and a half apart, 40 to a page, each page starting with
    // what `heading` puts on it. At least one page, even for no lines.
    static QList<PrintPage> paginate(const QStringList& lines, const std::function<void(PrintPage&)>& heading);

private:
    static void heading(PrintPage& page);
};

} // namespace tarvik
