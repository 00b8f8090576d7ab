#include "ui/ValueLabel.h"

#include <QLabel>

namespace halvern {

QLabel* ValueLabel(const char* name, QWidget* parent, int pointSize, int minWidth,
                   const QString& tip) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setToolTip(tip);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAutoFillBackground(true);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(minWidth);
    QFont f = l->font();
    f.setPointSize(pointSize);
    f.setBold(true);
    l->setFont(f);
    l->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    l->setMinimumHeight(QFontMetrics(f).height() + 14);
    SetColours(l, Qt::white, Qt::black);
    return l;
}

void SetColours(QLabel* label, const QColor& back, const QColor& fore) {
    QPalette p = label->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, fore);
    label->setPalette(p);
}

}  // namespace halvern
