#pragma once
// The row of OK and Cancel buttons along the bottom of the small dialogs.

#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace halvern {

struct ButtonRow {
    QHBoxLayout* layout;
    QPushButton* ok;
    QPushButton* cancel;
};

// Right-aligned, neither button a default: the dialogs handle Enter and Esc themselves.
ButtonRow OkCancelRow(QWidget* parent, const QString& okText, const char* okName,
                      const QString& cancelText, const char* cancelName);

}  // namespace halvern
