#include "ui/ButtonRow.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace halvern {

ButtonRow OkCancelRow(QWidget* parent, const QString& okText, const char* okName,
                      const QString& cancelText, const char* cancelName) {
    ButtonRow row{new QHBoxLayout, new QPushButton(okText, parent),
                  new QPushButton(cancelText, parent)};
    row.ok->setObjectName(okName);
    row.ok->setAutoDefault(false);
    row.cancel->setObjectName(cancelName);
    row.cancel->setAutoDefault(false);
    row.layout->addStretch(1);
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    return row;
}

}  // namespace halvern
