#include "traffic/frmTraffic.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "traffic/TrafficModel.h"
#include "ui/Dialogs.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

constexpr int kTextPoints = 10;

QPushButton* Button(const QString& text, const char* name, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    b->setMinimumSize(110, 34);
    b->setFocusPolicy(Qt::NoFocus);  // the keys belong to the window
    return b;
}

}  // namespace

frmTraffic::frmTraffic(Link& link, Dialogs& dialogs, Micros startUs, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), dialogs_(dialogs) {
    setObjectName("frmTraffic");
    setWindowTitle("Bus traffic");
    clock_.wallMsAtAnchor = QDateTime::currentMSecsSinceEpoch();
    clock_.usAtAnchor = link_.Plat().NowUs();
    clock_.startUs = startUs;
    saveFolder_ = QDir::homePath();

    model_ = new TrafficModel(log_, clock_, this);
    tblTraffic_ = new QTableView(this);
    tblTraffic_->setObjectName("tblTraffic");
    tblTraffic_->setModel(model_);
    tblTraffic_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblTraffic_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblTraffic_->setWordWrap(false);
    tblTraffic_->setTextElideMode(Qt::ElideRight);
    tblTraffic_->setAlternatingRowColors(false);
    // Fixed row heights and column widths: a batch of rows then costs no measuring of text.
    QHeaderView* rows = tblTraffic_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(tblTraffic_->fontMetrics().height() + 6);
    tblTraffic_->viewport()->installEventFilter(this);  // its width shared by the columns
    QHeaderView* cols = tblTraffic_->horizontalHeader();
    cols->setSectionResizeMode(QHeaderView::Interactive);
    cols->setStretchLastSection(true);

    lblCount_ = new QLabel(this);
    lblCount_->setObjectName("lblCount");
    QFont f = lblCount_->font();
    f.setPointSize(kTextPoints);
    lblCount_->setFont(f);

    cmdPause_ = Button("&Pause", "cmdPause", "Freeze the table; new traffic waits (P)", this);
    cmdClear_ = Button("&Clear", "cmdClear", "Empty the table (C)", this);
    cmdSave_ = Button("&Save...", "cmdSave", "Write the table to a text file (S)", this);
    cmdClose_ = Button("Close", "cmdClose", "Close the window (Esc)", this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblCount_, 1);
    buttons->addWidget(cmdPause_);
    buttons->addWidget(cmdClear_);
    buttons->addWidget(cmdSave_);
    buttons->addSpacing(12);
    buttons->addWidget(cmdClose_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(tblTraffic_, 1);
    layout->addLayout(buttons);

    connect(cmdPause_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
    connect(cmdClear_, &QPushButton::clicked, this, &frmTraffic::Clear);
    connect(cmdSave_, &QPushButton::clicked, this, &frmTraffic::Save);
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) { return HandleKey(key); });

    link_.SetTrafficTap([this](Micros us, TrafficDirection dir,
                               std::span<const std::uint8_t> bytes) { log_.Take(us, dir, bytes); });
    timer_ = link_.Plat().NewTimer();
    timer_->SetInterval(kTrafficBatchMs);
    timer_->onTick = [this] { Update(); };
    timer_->SetEnabled(true);

    resize(1240, 560);
    // A screen too small for it beside the other windows: it takes the lower part, and the
    // served detector's readings stay in sight above it (until it has a place of its own).
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        if (area.height() < 800) {
            resize(std::min(width(), area.width() - 16), area.height() * 9 / 20);
            move(area.left(), area.bottom() - area.height() * 9 / 20 - 30);
        }
    }
    ShowCounts();
    tblTraffic_->setFocus();
}

frmTraffic::~frmTraffic() {
    link_.SetTrafficTap({});
    timer_->SetEnabled(false);
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

bool frmTraffic::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tblTraffic_->viewport() && event->type() == QEvent::Resize)
        FitColumns();
    return QWidget::eventFilter(watched, event);
}

void frmTraffic::FitColumns() {
    const int digit = tblTraffic_->fontMetrics().horizontalAdvance('0');
    const auto widths = TrafficColumnWidths(tblTraffic_->viewport()->width(), digit);
    for (int c = 0; c < TrafficModel::Meaning; ++c)
        tblTraffic_->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

void frmTraffic::Update() {
    if (paused_) {
        ShowCounts();  // the waiting count goes on
        return;
    }
    QScrollBar* bar = tblTraffic_->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    if (model_->Update() && atBottom)
        tblTraffic_->scrollToBottom();
    ShowCounts();
}

void frmTraffic::SetPaused(bool paused) {
    paused_ = paused;
    cmdPause_->setText(paused ? "&Resume" : "&Pause");
    cmdPause_->setToolTip(paused ? "Show the traffic that waited, and go on (P)"
                                 : "Freeze the table; new traffic waits (P)");
    Update();
}

void frmTraffic::Clear() {
    model_->Clear();
    ShowCounts();
}

void frmTraffic::Save() {
    const QString name =
        "traffic-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".txt";
    const QString suggested = QDir(saveFolder_).filePath(name);
    if (chooseSaveFile) {
        if (const QString path = chooseSaveFile(suggested); !path.isEmpty())
            SaveTo(path);
        return;
    }
    // Not exec(): the polling goes on while the technician picks a file.
    auto* dialog =
        new QFileDialog(this, "Save bus traffic", suggested, "Text files (*.txt);;All files (*)");
    dialog->setObjectName("dlgSave");
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty())
            SaveTo(path);
    });
    dialog->open();
}

bool frmTraffic::SaveTo(const QString& path) {
    std::string why;
    if (log_.Save(path, clock_, &why)) {
        saveFolder_ = QFileInfo(path).absolutePath();
        return true;
    }
    dialogs_.Message("The bus traffic could not be saved to " + path.toStdString() + ": " + why +
                         ".\nThe entries stay in the window: save them to another folder.",
                     "Bus traffic", MsgIcon::Critical);
    return false;
}

void frmTraffic::ShowCounts() {
    const std::size_t shown = log_.Shown().Size();
    QString text = shown == 1 ? QString("1 entry") : QString("%1 entries").arg(shown);
    if (const std::uint64_t dropped = log_.Dropped(); dropped > 0)
        text += QString(", %1 oldest dropped").arg(dropped);
    if (paused_)
        text += QString("  -  paused, %1 waiting").arg(log_.Waiting());
    lblCount_->setText(text);
}

bool frmTraffic::HandleKey(QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;  // Alt+P, Alt+C, Alt+S reach the buttons through their captions
    switch (key.key()) {
        case Qt::Key_Escape:
            close();
            return true;
        case Qt::Key_P:
            SetPaused(!paused_);
            return true;
        case Qt::Key_C:
            Clear();
            return true;
        case Qt::Key_S:
            Save();
            return true;
        default:
            return false;
    }
}

}  // namespace halvern
