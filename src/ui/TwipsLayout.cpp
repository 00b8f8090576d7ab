#include "ui/TwipsLayout.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace halvern {

namespace {

int Px(int twips, double scale) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel * scale));
}

// The room the widget's content needs, in pixels; an empty size when it has no text to fit.
QSize Needed(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty())
            return {};
        const QFontMetrics fm(label->font());
        return {fm.horizontalAdvance(label->text()) + 2 * label->margin() + 6, fm.height()};
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        const QFontMetrics fm(box->font());
        return {fm.horizontalAdvance(box->title()) + 24, 0};
    }
    if (qobject_cast<const QPushButton*>(w) || qobject_cast<const QComboBox*>(w))
        return w->sizeHint();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return {0, QFontMetrics(edit->font()).height() + 6};
    return {};
}

}  // namespace

QFont DesignFont(const char* family, double points, bool bold) {
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void TwipsLayout::Add(QWidget* w, int left, int top, int width, int height) {
    placed_.push_back({w, QRect(left, top, width, height)});
}

void TwipsLayout::Move(QWidget* w, int left, int top, int width, int height) {
    for (auto& p : placed_)
        if (p.widget == w)
            p.twips = QRect(left, top, width, height);
}

double TwipsLayout::FitScale(double minimum, double maximum) const {
    double scale = minimum;
    for (const auto& p : placed_) {
        const QSize need = Needed(p.widget);
        const double w = p.twips.width() / kTwipsPerPixel;
        const double h = p.twips.height() / kTwipsPerPixel;
        if (need.width() > 0 && w > 0)
            scale = std::max(scale, need.width() / w);
        if (need.height() > 0 && h > 0)
            scale = std::max(scale, need.height() / h);
    }
    return std::min(scale, maximum);
}

void TwipsLayout::Apply(double scale) const {
    for (const auto& p : placed_)
        p.widget->setGeometry(Px(p.twips.left(), scale), Px(p.twips.top(), scale),
                              Px(p.twips.width(), scale), Px(p.twips.height(), scale));
}

QSize TwipsLayout::Size(int width, int height, double scale) {
    return {Px(width, scale), Px(height, scale)};
}

}  // namespace halvern
