#include "app/PrintCommand.h"

#include "app/UserPrompter.h"
#include "output/ResultPrinter.h"

#include <QApplication>
#include <QPrinter>
#include <QPrinterInfo>

namespace tarvik {

PrinterSource defaultPrinterSource()
{
    return []() -> std::unique_ptr<QPrinter> {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return nullptr;
        return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    };
}

void printWithConsent(QWidget* parent, UserPrompter& prompter, const PrinterSource& source, const QString& directory,
                      const QList<PrintPage>& pages, const DrawnPage& drawnPage)
{
    if (!prompter.askOkCancel(parent, QStringLiteral("印刷しますか")))
        return;
    std::unique_ptr<QPrinter> printer = source();
    if (!printer) {
        // Many desktops have no printer: the same pages can go to a PDF file instead.
        if (!prompter.askYesNo(parent, QStringLiteral("既定のプリンタがありません。\n印刷結果をPDFファイルに保存しますか？"), true))
            return;
        const QString pdf = prompter.saveFile(parent, QStringLiteral("PDFファイルに保存"), directory,
                                              QStringLiteral("PDFファイル (*.pdf)"));
        if (pdf.isEmpty())
            return;
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    QString reason;
    const bool printed = ResultPrinter::print(*printer, pages, &reason, drawnPage);
    QApplication::restoreOverrideCursor();
    if (!printed) {
        const QString target = printer->outputFileName().isEmpty() ? printer->printerName() : printer->outputFileName();
        prompter.message(parent, QStringLiteral("印刷できませんでした。\n%1\n%2").arg(target, reason),
                         UserPrompter::Icon::Warning);
    }
}

} // namespace tarvik
