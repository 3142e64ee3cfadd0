#pragma once

#include "output/PrintLayout.h"

#include <QString>

class QPrinter;

namespace tarvik {

// Puts laid-out pages on a printer (a real one or a PDF file): A4 portrait, Mincho fonts,
// character cells converted to the printer's resolution.
class ResultPrinter {
public:
    // Returns false with a reason when the printer could not be started.
    static bool print(QPrinter& printer, const QList<PrintPage>& pages, QString* error);
};

} // namespace tarvik
