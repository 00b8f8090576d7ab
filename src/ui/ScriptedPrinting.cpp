// The scripted dialogs' printing: what a window or a document would print goes into the PDF
// file of PrintToPdf, where a test reads it back. Apart from the rest of ScriptedDialogs, which
// needs no Qt.
#include <QPrinter>
#include <QWidget>

#include "ui/QtDialogs.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {

bool ScriptedDialogs::PrintWindow(QWidget& window, int copies) {
    DialogCall call = Call(DialogCall::Kind::PrintWindow);
    call.window = window.objectName().toStdString();
    call.copies = copies;
    Record(call);
    if (!pdfPath_.empty()) {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdfPath_));
        std::string why;
        if (!PrintOn(
                printer, [&](QPagedPaintDevice& d) { return PrintWindowPages(window, d, copies); },
                why))
            return false;
    }
    if (printWindows_.empty())
        return true;
    const bool printed = printWindows_.front();
    printWindows_.pop_front();
    return printed;
}

bool ScriptedDialogs::PrintDocument(const std::function<void(QPagedPaintDevice&)>& paint) {
    Record(Call(DialogCall::Kind::PrintDocument));
    if (pdfPath_.empty())
        return true;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdfPath_));
    std::string why;
    return PrintOn(
        printer,
        [&](QPagedPaintDevice& d) {
            paint(d);
            return true;
        },
        why);
}

}  // namespace halvern
