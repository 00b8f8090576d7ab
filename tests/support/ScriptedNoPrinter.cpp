// The scripted dialogs where there is no Qt (the core built for Windows): no window exists and
// nothing prints, so a print is recorded and answered as scripted, with no PDF.
#include "ui/ScriptedDialogs.h"

namespace halvern {

bool ScriptedDialogs::PrintWindow(QWidget&, int copies) {
    DialogCall call = Call(DialogCall::Kind::PrintWindow);
    call.copies = copies;
    Record(call);
    if (printWindows_.empty())
        return true;
    const bool printed = printWindows_.front();
    printWindows_.pop_front();
    return printed;
}

bool ScriptedDialogs::PrintDocument(const std::function<void(QPagedPaintDevice&)>&) {
    Record(Call(DialogCall::Kind::PrintDocument));
    return true;
}

}  // namespace halvern
