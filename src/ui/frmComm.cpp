#include "ui/frmComm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/LinkFiles.h"
#include "ui/ButtonRow.h"
#include "ui/WindowKeys.h"

namespace halvern {

frmComm::frmComm(Par& par, QWidget* parent) : QDialog(parent), par_(par) {
    setObjectName("frmComm");
    // A small fixed box: a close button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Communication setup");

    auto* frame = new QGroupBox(this);
    frame->setObjectName("Frame2");
    auto* label = new QLabel("Select COM port", frame);
    label->setObjectName("Label1");
    cmbCOM_ = new QComboBox(frame);
    cmbCOM_->setObjectName("cmbCOM");
    cmbCOM_->setEditable(true);
    cmbCOM_->setInsertPolicy(QComboBox::NoInsert);
    cmbCOM_->setCompleter(nullptr);  // a typed "1" must stay "1", not grow into "10"
    cmbCOM_->setMinimumContentsLength(6);
    label->setBuddy(cmbCOM_);
    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(16, 14, 16, 14);
    frameLayout->setSpacing(12);
    frameLayout->addWidget(label);
    frameLayout->addWidget(cmbCOM_, 1);

    const auto [buttons, ok, cancel] =
        OkCancelRow(this, "OK-Enter", "OKButton", "Cancel-Esc", "CancelButton");
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (int n = 1; n <= 16; ++n)
        cmbCOM_->addItem(QString::number(n));
    par_.port = LoadPortNumber(PortFile(), par_.port);
    cmbCOM_->setEditText(QString::number(par_.port));
    cmbCOM_->lineEdit()->selectAll();
    cmbCOM_->setFocus();

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &frmComm::reject);
    // Only the technician's own choices and typing count: the text set while loading shows
    // the stored port and must not be checked or written back.
    connect(cmbCOM_, &QComboBox::activated, this, &frmComm::cmbCOM_Click);
    connect(cmbCOM_->lineEdit(), &QLineEdit::textEdited, this, &frmComm::cmbCOM_Change);

    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) {
        switch (key.key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                accept();
                return true;
            case Qt::Key_Escape:
                reject();
                return true;
            default:
                return false;
        }
    });
}

std::string frmComm::PortFile() const {
    return JoinPath(par_.ProgramFolder, kPortFile);
}

void frmComm::reject() {
    QDialog::reject();
    emit cancelled();
}

void frmComm::cmbCOM_Click(int index) {
    par_.port = static_cast<std::int16_t>(cmbCOM_->itemText(index).toInt());
    SavePortNumber(PortFile(), par_.port);
}

void frmComm::cmbCOM_Change(const QString& text) {
    const auto typed = ParseTypedPort(text.toStdString());
    if (!typed) {
        // Selected, so that the next digit typed replaces it.
        cmbCOM_->lineEdit()->setText("1");
        cmbCOM_->lineEdit()->selectAll();
    }
    par_.port = typed.value_or(1);
    SavePortNumber(PortFile(), par_.port);
}

}  // namespace halvern
