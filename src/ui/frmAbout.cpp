#include "ui/frmAbout.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "HalvernVersion.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

QLabel* AddLabel(QWidget* parent, QVBoxLayout* layout, const char* name, const char* text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    layout->addWidget(label);
    return label;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setObjectName("frmAbout");
    // A small fixed box: a close button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("About the software");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 16);
    layout->setSpacing(8);

    auto* title =
        AddLabel(this, layout, "lblTitle",
                 "Halvern for Veridan 410, 620, 880 and 890 Series Open Path Gas Detectors");
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setWordWrap(true);
    title->setMinimumWidth(420);
    layout->addSpacing(6);
    AddLabel(this, layout, "lblDescription", "Version: Nb");
    AddLabel(this, layout, "lblVersion", "Part: K52017");
    // Which build this is, as --version says it, for a technician reporting a fault.
    AddLabel(this, layout, "lblProgramVersion", "")->setText(QString("halvern ") + kVersion);

    auto* line = new QFrame(this);
    line->setObjectName("Line1");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addSpacing(4);
    layout->addWidget(line);
    layout->addSpacing(4);

    AddLabel(this, layout, "Label1", "Date: 21/7/2019");
    AddLabel(this, layout, "Label2", "Halvern Instruments - service@halvern.example");

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setMinimumWidth(90);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ok->setFocus();

    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) {
        switch (key.key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
                close();
                return true;
            default:
                return false;
        }
    });
}

frmAbout& frmAbout::ShowOnce(QPointer<frmAbout>& box, QWidget* parent) {
    if (!box)
        box = new frmAbout(parent);
    box->show();
    box->raise();
    box->activateWindow();
    return *box;
}

void frmAbout::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace halvern
