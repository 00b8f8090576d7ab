#include "history/ReportPdf.h"

#include <QFile>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>

namespace halvern {

void PaintReport(const QString& html, QPagedPaintDevice& device) {
    QTextDocument doc;
    doc.setHtml(html);
    doc.print(&device);
}

bool WriteReportPdf(const QString& html, const std::string& path, ReportPage page,
                    std::string& why) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        why = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setTitle("Service report");
        pdf.setCreator("Halvern");
        pdf.setPageLayout(
            QPageLayout(QPageSize(page == ReportPage::Letter ? QPageSize::Letter : QPageSize::A4),
                        QPageLayout::Portrait, QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        PaintReport(html, pdf);
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        why = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace halvern
