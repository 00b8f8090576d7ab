#pragma once
// Where each of the program's windows was, and how big: kept between showings (a window
// manager places a window that is shown again anew, elsewhere) and between runs, in the
// program folder's settings file. A window never opens off every screen, nor larger than the
// screen it opens on, whatever the file says or the window asks for.

#include <QObject>
#include <QRect>
#include <QSettings>

class QWidget;

namespace halvern {

// The program folder's settings file.
constexpr const char* kSettingsFile = "halvern.ini";

// Where a window whose frame would be `frame` goes on a screen whose free area is `screen`:
// as large as it was but no larger than the screen (nor smaller than `minimum`), moved as
// little as needed to lie wholly on it.
QRect FitOnScreen(QRect frame, const QRect& screen, const QSize& minimum = {});

class WindowPlaces : public QObject {
  public:
    // Watches every window of the application whose object name starts with "frm"; those of
    // their own (without a parent window) are remembered.
    explicit WindowPlaces(const QString& settingsPath, QObject* parent = nullptr);
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Place(QWidget& w);
    void Keep(QWidget& w);
    QSettings settings_;
};

}  // namespace halvern
