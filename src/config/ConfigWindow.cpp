#include "config/ConfigWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "ui/WindowKeys.h"

namespace halvern {

ConfigWindow::ConfigWindow(Par& par, Link& link, Dialogs& dialogs, StopCheck stop, QWidget* parent)
    : QWidget(parent, Qt::Window),
      par_(par),
      link_(link),
      dialogs_(dialogs),
      stop_(std::move(stop)) {
    // A fixed box with a close button, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget& receiver) {
        switch (key.key()) {
            case Qt::Key_F3:
                Burn();
                return true;
            case Qt::Key_Escape:
                Cancel();
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (auto* button = qobject_cast<QPushButton*>(&receiver))
                    button->click();
                else
                    DefaultCommand();
                return true;
            default:
                if (IsCancelKey(key)) {
                    Cancel();
                    return true;
                }
                return OwnKey(key);
        }
    });
}

void ConfigWindow::Cancel() {
    if (!burning_)
        close();
}

void ConfigWindow::SetBurning(bool on) {
    burning_ = on;
    setCursor(on ? Qt::BusyCursor : Qt::ArrowCursor);
    BurnShown(on);
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
    if (burning_) {
        event->ignore();  // the Burn closes the window itself when it ends
        return;
    }
    event->accept();
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

}  // namespace halvern
