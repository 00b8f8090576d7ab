#pragma once
// The value fields of the monitoring windows: sunken white labels in large bold type that can
// be read from arm's length, and the colours the shared state gives them.

#include <QColor>
#include <QString>

#include "state/Par.h"

class QLabel;
class QWidget;

namespace halvern {

QLabel* ValueLabel(const char* name, QWidget* parent, int pointSize, int minWidth,
                   const QString& tip = {});
void SetColours(QLabel* label, const QColor& back, const QColor& fore);
inline QColor ToQColor(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

}  // namespace halvern
