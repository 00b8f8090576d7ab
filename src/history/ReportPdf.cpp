#include "history/ReportPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "platform/WholeFile.h"

namespace halvern {

void PaintReport(const QString& html, QPagedPaintDevice& device) {
    device.setPageMargins(
        QMarginsF(kReportMarginMm, kReportMarginMm, kReportMarginMm, kReportMarginMm),
        QPageLayout::Millimeter);
    // Laid out in the device's own pixels with its fonts: a printer, a PDF file of the
    // program and one of the command line, whatever their resolution or the screen's, get
    // the same lines on the same pages, the tables as wide as the paper allows.
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&device);
    doc.setHtml(html);
    const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiX());
    doc.setPageSize(page.size());
    QPainter painter(&device);
    if (!painter.isActive())
        return;
    for (int i = 0; i < doc.pageCount(); ++i) {
        if (i > 0)
            device.newPage();
        painter.save();
        const QRectF shown(0, i * page.height(), page.width(), page.height());
        painter.translate(0, -shown.top());
        doc.drawContents(&painter, shown);
        painter.restore();
    }
}

bool WriteReportPdf(const QString& html, const std::string& path, ReportPage page,
                    std::string& why) {
    // Made in memory and then written whole: a report that cannot be written leaves the one
    // of the same name as it was.
    QBuffer pdfBytes;
    pdfBytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&pdfBytes);
        pdf.setTitle("Service report");
        pdf.setCreator("Halvern");
        pdf.setPageLayout(
            QPageLayout(QPageSize(page == ReportPage::Letter ? QPageSize::Letter : QPageSize::A4),
                        QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
        PaintReport(html, pdf);
    }
    const QByteArray& bytes = pdfBytes.data();
    return WriteWholeFile(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), why);
}

}  // namespace halvern
