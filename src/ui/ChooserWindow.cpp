#include "ui/ChooserWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "ui/WindowKeys.h"

namespace halvern {

ChooserWindow::ChooserWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) { return HandleKey(key); });
}

ChooserWindow::~ChooserWindow() {
    // The controls die after this; what they still signal must not reach the window's slots.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void ChooserWindow::Choose(int row) {
    if (row >= 0 && ChooseRow(static_cast<std::size_t>(row)))
        close();
}

bool ChooserWindow::HandleKey(QKeyEvent& key) {
    switch (key.key()) {
        case Qt::Key_Escape:
            if (!Escape())
                close();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Choose(CurrentRow());
            return true;
        default:
            return false;
    }
}

void ChooserWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Closing();
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

}  // namespace halvern
