#include "ui/ElidedLabel.h"

#include <QResizeEvent>

namespace halvern {

void ElidedLabel::SetFullText(const QString& text) {
    if (text == full_)
        return;
    full_ = text;
    setToolTip(text);
    updateGeometry();
    Elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(full_) + m.left() + m.right() + 2 * margin(),
            QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::Elide() {
    setText(fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width()));
}

}  // namespace halvern
