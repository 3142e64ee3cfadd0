#pragma once

#include "output/PrintLayout.h"
#include "output/ResultPrinter.h"

#include <QString>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace tarvik {

class UserPrompter;

// Where printing goes: the system's default printer, or nullptr when there is none.
using PrinterSource = std::function<std::unique_ptr<QPrinter>()>;
PrinterSource defaultPrinterSource();

// The print command once there is something to print: asks "印刷しますか", prints the pages on
// the printer `source` gives, or where there is none offers to save them as a PDF file (the
// file dialog opens in `directory`), and says when printing failed.
// `drawnPage`, when set, draws one more page after the others (the 集計 charts) in the area
// the page gives.
void printWithConsent(QWidget* parent, UserPrompter& prompter, const PrinterSource& source, const QString& directory,
                      const QList<PrintPage>& pages, const DrawnPage& drawnPage = {});

} // namespace tarvik
