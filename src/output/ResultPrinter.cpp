#include "output/ResultPrinter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace tarvik {

bool ResultPrinter::print(QPrinter& printer, const QList<PrintPage>& pages, QString* error, const DrawnPage& drawnPage)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("プリンタを開始できませんでした");
        return false;
    }
    // Character cells: 120 twips across, 240 twips down (1440 twips an inch).
    const double cellX = printer.resolution() * 120.0 / 1440.0;
    const double cellY = printer.resolution() * 240.0 / 1440.0;
    QFont title(QStringLiteral("ＭＳ 明朝"));
    title.setPointSizeF(16);
    title.setBold(true);
    title.setStyleHint(QFont::Serif);
    // Character cells only line up without ligatures or kerning.
    title.setStyleStrategy(QFont::PreferNoShaping);
    QFont body(QStringLiteral("ＭＳ 明朝"));
    body.setPointSizeF(12);
    body.setStyleHint(QFont::Serif);
    body.setStyleStrategy(QFont::PreferNoShaping);
    title = QFont(title, &printer);
    body = QFont(body, &printer);

    bool first = true;
    for (const PrintPage& page : pages) {
        if (!first && !printer.newPage()) {
            if (error)
                *error = QStringLiteral("改ページできませんでした");
            painter.end();
            return false;
        }
        first = false;
        for (const PrintItem& item : page.items) {
            painter.setFont(item.font == PrintItem::Font::Title ? title : body);
            // Texts are placed by their top edge, as lines of a page are.
            const double ascent = QFontMetricsF(painter.font(), &printer).ascent();
            painter.drawText(QPointF(item.x * cellX, item.y * cellY + ascent), item.text);
        }
    }
    if (drawnPage) {
        if (!first && !printer.newPage()) {
            if (error)
                *error = QStringLiteral("改ページできませんでした");
            painter.end();
            return false;
        }
        drawnPage(painter, QRectF(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size()));
    }
    if (!painter.end()) {
        if (error)
            *error = QStringLiteral("印刷ジョブを終了できませんでした");
        return false;
    }
    return true;
}

} // namespace tarvik
