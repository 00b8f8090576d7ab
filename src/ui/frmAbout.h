#pragma once
// frmAbout, "About the software": a modeless box opened from the main window's About menu.
// "OK", Enter, Esc or the close box close it and emit closed(), on which the application
// activates the main window again.

#include <QPointer>
#include <QWidget>

namespace halvern {

class frmAbout : public QWidget {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Opening it again while it is open brings the same box forward: the caller keeps the one
    // instance in `box` (made on first use, as a child of `parent`, and kept for later
    // openings; it holds no state of its own). Without a parent the caller deletes it.
    static frmAbout& ShowOnce(QPointer<frmAbout>& box, QWidget* parent);

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace halvern
