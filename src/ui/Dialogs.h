#pragma once
// The dialog layer: message boxes, the input box, the print dialog and window printing.
// The real one shows Qt dialogs; tests use a scripted one that records what was asked.

#include <functional>
#include <optional>
#include <string>

class QPagedPaintDevice;
class QWidget;

namespace halvern {

// The application's title: the title of message boxes that have none of their own.
constexpr const char* kAppTitle = "Halvern";

enum class MsgIcon { Critical, Exclamation, Information, Question };

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual void Message(const std::string& text, const std::string& title, MsgIcon icon) = 0;
    // A message over `owner` that returns at once, for what the program's own windows report
    // (a file saved or not): the polling goes on while it stays open. Message waits for OK.
    virtual void Notice(QWidget& owner, const std::string& text, const std::string& title,
                        MsgIcon icon) {
        (void)owner;
        Message(text, title, icon);
    }
    // True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title, MsgIcon icon) = 0;
    // The typed text; empty when cancelled.
    virtual std::string Input(const std::string& prompt, const std::string& title,
                              const std::string& defaultText) = 0;
    // The number of copies chosen; nothing when cancelled.
    virtual std::optional<int> PrintDialog() = 0;
    // The print dialog for a document that is often kept as a file: its "Print to File (PDF)"
    // offers `suggestedPdf` and is chosen to start with.
    virtual std::optional<int> PrintDialogToFile(const std::string& suggestedPdf) {
        (void)suggestedPdf;
        return PrintDialog();
    }
    // Prints an image of the window's client area `copies` times; false when printing failed.
    virtual bool PrintWindow(QWidget& window, int copies) = 0;
    // Prints a document on the printer chosen in PrintDialog: `paint` lays it out on the
    // printer's pages. False when nothing was printed.
    virtual bool PrintDocument(const std::function<void(QPagedPaintDevice&)>& paint) {
        (void)paint;
        return false;
    }
    // A short warning sound.
    virtual void Beep() = 0;
    // The system's save dialog over `owner`: `chosen` gets the path, later, and is not called
    // when the dialog is cancelled or `owner` goes first. It returns at once: the polling goes
    // on while the technician picks a file, which a dialog waiting in a loop of its own would
    // hold up. `suggested` is the path it opens with; `filter` as "CSV files (*.csv)". A layer
    // that saves nothing (a terminal) answers as cancelled.
    virtual void SaveFileName(QWidget& owner, const std::string& title,
                              const std::string& suggested, const std::string& filter,
                              std::function<void(const std::string& path)> chosen) {
        (void)owner, (void)title, (void)suggested, (void)filter, (void)chosen;
    }
    // The system's open dialog over `owner`, for an existing file, as SaveFileName: it
    // returns at once and `chosen` gets the path later. It opens in `folder`.
    virtual void OpenFileName(QWidget& owner, const std::string& title, const std::string& folder,
                              const std::string& filter,
                              std::function<void(const std::string& path)> chosen) {
        (void)owner, (void)title, (void)folder, (void)filter, (void)chosen;
    }
};

// The dialogs answered as by someone backing out: No, nothing typed, no print, no file. For
// the program's logic where no one can be asked (a terminal, a fuzz target).
class DecliningDialogs : public Dialogs {
  public:
    void Message(const std::string&, const std::string&, MsgIcon) override {}
    bool AskYesNo(const std::string&, const std::string&, MsgIcon) override { return false; }
    std::string Input(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    std::optional<int> PrintDialog() override { return std::nullopt; }
    bool PrintWindow(QWidget&, int) override { return false; }
    void Beep() override {}
};

}  // namespace halvern
