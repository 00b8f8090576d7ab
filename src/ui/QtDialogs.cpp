#include "ui/QtDialogs.h"

#include <QApplication>
#include <QBuffer>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <algorithm>

#include "platform/WholeFile.h"

namespace halvern {

namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

// Boxes open over the window the technician is working in.
// A window that was just closed can still count as active until the window system says
// otherwise; a box owned by it would never be seen.
QWidget* Owner() {
    QWidget* w = QApplication::activeWindow();
    return w && w->isVisible() ? w : nullptr;
}

// A carriage return alone ends a line of a message, as a line feed does.
QString MessageText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

}  // namespace

bool PrintOn(QPrinter& printer, const std::function<bool(QPagedPaintDevice&)>& paint,
             std::string& why) {
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return paint(printer);
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    bool painted = false;
    {
        QPdfWriter pdf(&bytes);
        pdf.setResolution(printer.resolution());
        pdf.setPageLayout(printer.pageLayout());
        pdf.setTitle(printer.docName());
        pdf.setCreator(printer.creator());
        painted = paint(pdf);
    }
    const QByteArray& pdf = bytes.data();
    return painted &&
           WriteWholeFile(printer.outputFileName().toStdString(),
                          std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())),
                          why);
}

bool PrintWindowPages(QWidget& window, QPagedPaintDevice& printer, int copies) {
    if (copies <= 0)
        return true;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QSize size = window.size();
    const double toPrinter =
        static_cast<double>(printer.logicalDpiX()) / std::max(1, window.logicalDpiX());
    const double scale =
        std::min({toPrinter, static_cast<double>(printer.width()) / std::max(1, size.width()),
                  static_cast<double>(printer.height()) / std::max(1, size.height())});
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        painter.save();
        painter.scale(scale, scale);
        window.render(&painter);
        painter.restore();
    }
    return painter.end();
}

QtDialogs::QtDialogs() = default;
QtDialogs::~QtDialogs() = default;

void QtDialogs::Message(const std::string& text, const std::string& title, MsgIcon icon) {
    QMessageBox box(ToQt(icon), QString::fromStdString(title), MessageText(text), QMessageBox::Ok,
                    Owner());
    box.exec();
}

void QtDialogs::Notice(QWidget& owner, const std::string& text, const std::string& title,
                       MsgIcon icon) {
    auto* box = new QMessageBox(ToQt(icon), QString::fromStdString(title), MessageText(text),
                                QMessageBox::Ok, &owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& title, MsgIcon icon) {
    QMessageBox box(ToQt(icon), QString::fromStdString(title), MessageText(text),
                    QMessageBox::Yes | QMessageBox::No, Owner());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::string QtDialogs::Input(const std::string& prompt, const std::string& title,
                             const std::string& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(Owner(), QString::fromStdString(title),
                                               QString::fromStdString(prompt), QLineEdit::Normal,
                                               QString::fromStdString(defaultText), &ok);
    return ok ? text.toStdString() : std::string();
}

std::optional<int> QtDialogs::PrintDialog() {
    QPrinter& printer = Printer();
    if (!suggestedPdf_.isEmpty() && printer.outputFileName() == suggestedPdf_)
        printer.setOutputFileName(QString());
    suggestedPdf_.clear();
    QPrintDialog dialog(&printer, Owner());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    // The program prints each copy itself; left in the printer the count would multiply.
    const int copies = std::max(1, printer.copyCount());
    printer.setCopyCount(1);
    return copies;
}

std::optional<int> QtDialogs::PrintDialogToFile(const std::string& suggestedPdf) {
    // A file name set on the printer is what the dialog's PDF entry offers, chosen at once;
    // the dialog's own default would be print.pdf in the home folder.
    suggestedPdf_.clear();
    Printer().setOutputFileName(QString::fromStdString(suggestedPdf));
    const auto copies = PrintDialog();
    // The next print (a window's) does not offer to overwrite this file.
    suggestedPdf_ = Printer().outputFileName();
    return copies;
}

bool QtDialogs::PrintWindow(QWidget& window, int copies) {
    std::string why;
    const bool printed = PrintOn(
        Printer(), [&](QPagedPaintDevice& d) { return PrintWindowPages(window, d, copies); }, why);
    // Said beside the window, without a loop of its own: the polling goes on.
    if (!why.empty())
        Notice(window, why, "Print", MsgIcon::Critical);
    return printed;
}

bool QtDialogs::PrintDocument(const std::function<void(QPagedPaintDevice&)>& paint) {
    std::string why;
    const bool printed = PrintOn(
        Printer(),
        [&](QPagedPaintDevice& d) {
            paint(d);
            return true;
        },
        why);
    if (QWidget* owner = Owner(); !why.empty() && owner)
        Notice(*owner, why, "Print", MsgIcon::Critical);
    else if (!why.empty())
        Message(why, "Print", MsgIcon::Critical);
    return printed;
}

void QtDialogs::Beep() {
    QApplication::beep();
}

namespace {

// A child of the owner: it goes with it, and `chosen` is never called on a window gone.
void OpenFileDialog(QWidget& owner, const std::string& title, const std::string& start,
                    const std::string& filter, QFileDialog::AcceptMode mode,
                    std::function<void(const std::string& path)> chosen) {
    auto* dialog = new QFileDialog(&owner, QString::fromStdString(title),
                                   QString::fromStdString(start), QString::fromStdString(filter));
    dialog->setAcceptMode(mode);
    if (mode == QFileDialog::AcceptOpen)
        dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // What follows the choice (a message, a file written) comes once the dialog has gone,
    // not over it; and not at all when the owner went meanwhile.
    QObject::connect(
        dialog, &QFileDialog::fileSelected, &owner,
        [chosen = std::move(chosen)](const QString& path) {
            if (!path.isEmpty())
                chosen(path.toStdString());
        },
        Qt::QueuedConnection);
    dialog->open();
}

}  // namespace

void QtDialogs::SaveFileName(QWidget& owner, const std::string& title, const std::string& suggested,
                             const std::string& filter,
                             std::function<void(const std::string& path)> chosen) {
    OpenFileDialog(owner, title, suggested, filter, QFileDialog::AcceptSave, std::move(chosen));
}

void QtDialogs::OpenFileName(QWidget& owner, const std::string& title, const std::string& folder,
                             const std::string& filter,
                             std::function<void(const std::string& path)> chosen) {
    OpenFileDialog(owner, title, folder, filter, QFileDialog::AcceptOpen, std::move(chosen));
}

void QtDialogs::PrintToPdf(const std::string& path) {
    QPrinter& printer = Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
}

QPrinter& QtDialogs::Printer() {
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

}  // namespace halvern
