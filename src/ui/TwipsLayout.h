#pragma once
// Windows laid out by the positions of their design, given in twips (1/1440 inch; 15 make a
// pixel at 96 dots per inch), scaled as a whole. Fonts differ between systems (a face asked
// for may be replaced by a wider one), so the scale is chosen to let every text fit its box.

#include <QFont>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace halvern {

constexpr double kTwipsPerPixel = 15.0;

// A type face of the design; a sans-serif face stands in where the family is missing.
QFont DesignFont(const char* family, double points, bool bold);

class TwipsLayout {
  public:
    // Places w at (left, top) with the given size, relative to its parent's client area.
    void Add(QWidget* w, int left, int top, int width, int height);
    // Gives an added widget another place and size.
    void Move(QWidget* w, int left, int top, int width, int height);
    // The smallest scale from `minimum` to `maximum` at which the text of every added widget
    // fits its box, in width and in height.
    double FitScale(double minimum, double maximum) const;
    // Sets the geometry of every added widget at this scale.
    void Apply(double scale) const;
    static QSize Size(int width, int height, double scale);

  private:
    struct Placed {
        QWidget* widget;
        QRect twips;
    };
    std::vector<Placed> placed_;
};

}  // namespace halvern
