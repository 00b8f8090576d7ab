#pragma once
// frmOpenS: the splash window shown first at start-up. Three seconds after loading (Timer1, a
// platform timer, so tests run it on virtual time) it hides, emits finished(), on which the
// application shows the port dialog, and closes itself. Closed earlier (by the window system),
// it emits finished() at once, so the program never goes on without a window.

#include <QPixmap>
#include <QWidget>
#include <memory>

#include "platform/Platform.h"

namespace halvern {

// The product picture: a transmitter and a receiver with the open-path beam between them.
QPixmap ProductPicture();

class frmOpenS : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kShowMs = 3000;

    // Loads the window and starts Timer1.
    explicit frmOpenS(TimerFactory& timers, QWidget* parent = nullptr);
    ~frmOpenS() override;

    Timer& Timer1() { return *timer1_; }

  signals:
    // Timer1 fired (once): the splash is gone from the screen.
    void finished();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Timer1_Timer();
    void Finish();

    std::unique_ptr<Timer> timer1_;
    bool finished_ = false;
};

}  // namespace halvern
