#pragma once

#include "output/PrintLayout.h"

#include <QString>

#include <functional>

class QPainter;
class QPrinter;
class QRectF;

namespace tarvik {

// A page drawn rather than laid out in character cells: the painter and the printable area.
using DrawnPage = std::function<void(QPainter&, const QRectF&)>;

// Puts laid-out pages on a printer (a real one or a PDF file): A4 portrait, Mincho fonts,
// character cells converted to the printer's resolution.
class ResultPrinter {
public:
    // Returns false with a reason when the printer could not be started.
    // `drawnPage`, when set, comes after the laid-out pages.
    static bool print(QPrinter& printer, const QList<PrintPage>& pages, QString* error, const DrawnPage& drawnPage = {});
};

} // namespace tarvik
