#pragma once
// The dialog layer on real Qt dialogs: modal message boxes, the input box, the system print
// dialog, and printing an image of a window onto the printer chosen there.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/Dialogs.h"

class QPagedPaintDevice;
class QPrinter;

namespace halvern {

// Renders the window's client area (its contents, without the frame) onto one page per copy,
// at its size on screen, shrunk to fit the page when larger. False when the printer cannot
// be opened or a page cannot be started.
bool PrintWindowPages(QWidget& window, QPagedPaintDevice& printer, int copies);
// Prints with `paint` onto the printer, or, when it prints to a PDF file, makes the file in
// memory and writes it whole: a print that cannot be written leaves the file of that name as
// it was. False with `why` when painting or writing failed.
bool PrintOn(QPrinter& printer, const std::function<bool(QPagedPaintDevice&)>& paint,
             std::string& why);

class QtDialogs : public Dialogs {
  public:
    QtDialogs();
    ~QtDialogs() override;

    void Message(const std::string& text, const std::string& title, MsgIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MsgIcon icon) override;
    std::string Input(const std::string& prompt, const std::string& title,
                      const std::string& defaultText) override;
    std::optional<int> PrintDialog() override;
    std::optional<int> PrintDialogToFile(const std::string& suggestedPdf) override;
    bool PrintWindow(QWidget& window, int copies) override;
    void Notice(QWidget& owner, const std::string& text, const std::string& title,
                MsgIcon icon) override;
    bool PrintDocument(const std::function<void(QPagedPaintDevice&)>& paint) override;
    void Beep() override;
    void SaveFileName(QWidget& owner, const std::string& title, const std::string& suggested,
                      const std::string& filter,
                      std::function<void(const std::string& path)> chosen) override;
    void OpenFileName(QWidget& owner, const std::string& title, const std::string& folder,
                      const std::string& filter,
                      std::function<void(const std::string& path)> chosen) override;

    // Sends the printouts into a PDF file instead of the printer (until a print dialog
    // chooses otherwise).
    void PrintToPdf(const std::string& path);

  private:
    QPrinter& Printer();

    std::unique_ptr<QPrinter> printer_;
    QString suggestedPdf_;  // the file a report was offered and written as  // made on first use:
                            // it needs the running application
};

}  // namespace halvern
