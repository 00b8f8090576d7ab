#include "ui/ScriptedDialogs.h"

namespace halvern {

void ScriptedDialogs::Record(DialogCall call) {
    calls_.push_back(call);
    if (onCall)
        onCall(call);
}

template <typename T>
T ScriptedDialogs::Take(std::deque<T>& queue, T fallback) {
    if (queue.empty()) {
        ++unanswered_;
        return fallback;
    }
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

DialogCall ScriptedDialogs::Call(DialogCall::Kind kind, std::string text, std::string title,
                                 MsgIcon icon) {
    DialogCall call;
    call.kind = kind;
    call.text = std::move(text);
    call.title = std::move(title);
    call.icon = icon;
    return call;
}

void ScriptedDialogs::Message(const std::string& text, const std::string& title, MsgIcon icon) {
    Record(Call(DialogCall::Kind::Message, text, title, icon));
}

bool ScriptedDialogs::AskYesNo(const std::string& text, const std::string& title, MsgIcon icon) {
    Record(Call(DialogCall::Kind::AskYesNo, text, title, icon));
    return Take(yesNo_, false);
}

std::string ScriptedDialogs::Input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) {
    DialogCall call = Call(DialogCall::Kind::Input, prompt, title);
    call.defaultText = defaultText;
    Record(call);
    return Take(inputs_, std::string());
}

std::optional<int> ScriptedDialogs::PrintDialog() {
    Record(Call(DialogCall::Kind::PrintDialog));
    return Take(printDialogs_, std::optional<int>());
}

std::optional<int> ScriptedDialogs::PrintDialogToFile(const std::string& suggestedPdf) {
    DialogCall call = Call(DialogCall::Kind::PrintDialog);
    call.defaultText = suggestedPdf;
    Record(call);
    return Take(printDialogs_, std::optional<int>());
}

void ScriptedDialogs::Beep() {
    Record(Call(DialogCall::Kind::Beep));
}

void ScriptedDialogs::SaveFileName(QWidget&, const std::string& title, const std::string& suggested,
                                   const std::string& filter,
                                   std::function<void(const std::string& path)> chosen) {
    DialogCall call = Call(DialogCall::Kind::SaveFileName, {}, title);
    call.defaultText = suggested;
    call.filter = filter;
    Record(call);
    if (const std::string path = Take(saveNames_, std::string()); !path.empty())
        chosen(path);
}

void ScriptedDialogs::OpenFileName(QWidget&, const std::string& title, const std::string& folder,
                                   const std::string& filter,
                                   std::function<void(const std::string& path)> chosen) {
    DialogCall call = Call(DialogCall::Kind::OpenFileName, {}, title);
    call.defaultText = folder;
    call.filter = filter;
    Record(call);
    if (const std::string path = Take(openNames_, std::string()); !path.empty())
        chosen(path);
}

}  // namespace halvern
