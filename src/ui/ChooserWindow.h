#pragma once
// The keys and the closing of a window that lists detectors to serve (the bus scan, the bus
// overview): Esc closes it (unless the window uses Esc first: the scan cancels a running
// scan), Enter or Return on the current row or a double-click chooses that row, and a row
// that names a detector closes the window; closing, by any way, tells the window's logic
// (`Closing`) and emits closed() once.

#include <cstddef>

#include <QWidget>

class QCloseEvent;
class QKeyEvent;

namespace halvern {

class ChooserWindow : public QWidget {
    Q_OBJECT
  public:
    ~ChooserWindow() override;

  signals:
    void closed();

  protected:
    ChooserWindow(QWidget* parent, Qt::WindowFlags flags);
    void closeEvent(QCloseEvent* event) override;
    // A row chosen (-1: none); the window closes when its logic took it.
    void Choose(int row);

    virtual int CurrentRow() const = 0;
    // True when the row named a detector, which the main window now serves.
    virtual bool ChooseRow(std::size_t row) = 0;
    // Esc: true when the window used it; otherwise the window closes.
    virtual bool Escape() { return false; }
    // The window is closing: its logic gives the bus back.
    virtual void Closing() = 0;

  private:
    bool HandleKey(QKeyEvent& key);

    bool closedSent_ = false;
};

}  // namespace halvern
