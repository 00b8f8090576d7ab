#pragma once
// The dialog layer for tests: answers from a script instead of a modal loop, and a record of
// every dialog the program opened, in order.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/Dialogs.h"

namespace halvern {

struct DialogCall {
    enum class Kind {
        Message,
        AskYesNo,
        Input,
        PrintDialog,
        PrintWindow,
        Beep,
        SaveFileName,
        OpenFileName,
        PrintDocument
    };
    Kind kind = Kind::Message;
    std::string text;  // message, question or prompt
    std::string title;
    MsgIcon icon = MsgIcon::Information;  // Message and AskYesNo
    std::string defaultText;              // Input; SaveFileName, PrintDialog: the suggested path;
                                          // OpenFileName: the folder
    std::string filter;                   // SaveFileName, OpenFileName
    std::string window;                   // PrintWindow: the window's objectName
    int copies = 0;                       // PrintWindow
};

class ScriptedDialogs : public Dialogs {
  public:
    // Answers are taken in order, one queue per kind of dialog. A dialog with no answer left
    // is counted in Unanswered() and answered as a technician backing out would: No, an
    // empty (cancelled) input, a cancelled print or save dialog. PrintWindow succeeds unless told.
    void AnswerYesNo(bool yes) { yesNo_.push_back(yes); }
    void AnswerInput(std::string text) { inputs_.push_back(std::move(text)); }
    void AnswerPrintDialog(std::optional<int> copies) { printDialogs_.push_back(copies); }
    void AnswerPrintWindow(bool printed) { printWindows_.push_back(printed); }
    // The path chosen in a save dialog (handed on at once); empty for Cancel.
    void AnswerSaveFileName(std::string path) { saveNames_.push_back(std::move(path)); }
    void AnswerOpenFileName(std::string path) { openNames_.push_back(std::move(path)); }
    // PrintWindow also renders its pages into this PDF file (rewritten by each call).
    void PrintToPdf(std::string path) { pdfPath_ = std::move(path); }

    const std::vector<DialogCall>& Calls() const { return calls_; }
    int Unanswered() const { return unanswered_; }
    void ClearCalls() { calls_.clear(); }

    // Runs as each dialog opens, before it is answered (a real modal box runs events there).
    std::function<void(const DialogCall&)> onCall;

    void Message(const std::string& text, const std::string& title, MsgIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title, MsgIcon icon) override;
    std::string Input(const std::string& prompt, const std::string& title,
                      const std::string& defaultText) override;
    std::optional<int> PrintDialog() override;
    // Recorded as a PrintDialog with the suggested file as its defaultText.
    std::optional<int> PrintDialogToFile(const std::string& suggestedPdf) override;
    bool PrintWindow(QWidget& window, int copies) override;
    // Lays the document out into the PDF file of PrintToPdf, when there is one.
    bool PrintDocument(const std::function<void(QPagedPaintDevice&)>& paint) override;
    void Beep() override;
    void SaveFileName(QWidget& owner, const std::string& title, const std::string& suggested,
                      const std::string& filter,
                      std::function<void(const std::string& path)> chosen) override;
    void OpenFileName(QWidget& owner, const std::string& title, const std::string& folder,
                      const std::string& filter,
                      std::function<void(const std::string& path)> chosen) override;

  private:
    static DialogCall Call(DialogCall::Kind kind, std::string text = {}, std::string title = {},
                           MsgIcon icon = MsgIcon::Information);
    void Record(DialogCall call);
    template <typename T>
    T Take(std::deque<T>& queue, T fallback);

    std::deque<bool> yesNo_;
    std::deque<std::string> inputs_;
    std::deque<std::optional<int>> printDialogs_;
    std::deque<bool> printWindows_;
    std::deque<std::string> saveNames_, openNames_;
    std::string pdfPath_;
    std::vector<DialogCall> calls_;
    int unanswered_ = 0;
};

}  // namespace halvern
