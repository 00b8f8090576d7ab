#pragma once
// The service report laid out on pages by Qt's text document: into a PDF file, or onto any
// paged device (a printer). Needs a QGuiApplication for its fonts.

#include <QString>
#include <string>

class QPagedPaintDevice;

namespace halvern {

enum class ReportPage { A4, Letter };
// The margin on every side of the page.
constexpr double kReportMarginMm = 15;

// Lays the HTML out on the device's pages, with the report's margins.
void PaintReport(const QString& html, QPagedPaintDevice& device);
// Writes the report to `path`; false with `why` when the file cannot be written.
bool WriteReportPdf(const QString& html, const std::string& path, ReportPage page,
                    std::string& why);

}  // namespace halvern
