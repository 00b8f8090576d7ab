#include "logging/frmSerForLog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "logging/LogViewer.h"
#include "ui/ButtonRow.h"
#include "ui/Dialogs.h"
#include "ui/WindowKeys.h"

namespace halvern {

frmSerForLog::frmSerForLog(const Par& par, Dialogs& dialogs, const QString& served, QWidget* parent)
    : QWidget(parent, Qt::Dialog), par_(par), dialogs_(dialogs) {
    setObjectName("frmSerForLog");
    // A small fixed box with a close button and no title text.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString());

    auto* label = new QLabel(kSerialPromptLabel, this);
    label->setObjectName("Label1");
    txtSer_ = new QLineEdit(this);
    txtSer_->setObjectName("txtSer");
    txtSer_->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString(12, '0')));
    txtSer_->setText(served);
    label->setBuddy(txtSer_);
    auto* entryRow = new QHBoxLayout;
    entryRow->setSpacing(10);
    entryRow->addWidget(label);
    entryRow->addWidget(txtSer_, 1);

    const auto [buttons, ok, cancel] = OkCancelRow(this, "OK", "cmdOK", "Cancel", "cmdCancel");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 14);
    layout->setSpacing(14);
    layout->addLayout(entryRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    txtSer_->setFocus();

    connect(ok, &QPushButton::clicked, this, &frmSerForLog::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) {
        switch (key.key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                cmdOK_Click();
                return true;
            case Qt::Key_Escape:
                close();
                return true;
            default:
                return false;
        }
    });
}

QString frmSerForLog::Entry() const {
    return txtSer_->text();
}

void frmSerForLog::cmdOK_Click() {
    const QString entry = txtSer_->text();
    const SerialEntryCheck check = CheckSerialEntry(par_.ProgramFolder, entry.toStdString());
    switch (check.outcome) {
        case SerialEntryOutcome::Invalid:
            dialogs_.Message(kInvalidEntryText, kInvalidEntryTitle, MsgIcon::Critical);
            close();
            return;
        case SerialEntryOutcome::MissingFile:
        case SerialEntryOutcome::NoFile:
            if (check.outcome == SerialEntryOutcome::MissingFile)
                dialogs_.Message(kMissingFileText, kMissingFileTitle, MsgIcon::Critical);
            else
                dialogs_.Message(check.problem, kInvalidEntryTitle, MsgIcon::Critical);
            txtSer_->setFocus();
            txtSer_->selectAll();
            return;
        case SerialEntryOutcome::Open:
            hide();
            emit openViewer(entry);
            return;
    }
}

void frmSerForLog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Shown again after the viewer: Enter reopens the same log, typing replaces the entry.
    txtSer_->setFocus();
    txtSer_->selectAll();
}

void frmSerForLog::closeEvent(QCloseEvent* event) {
    event->accept();
    // A closed prompt keeps no entry, whether or not its owner makes a new one.
    txtSer_->clear();
    emit closedBack();
}

}  // namespace halvern
