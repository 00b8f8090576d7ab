#include "config/frmSetupT.h"

#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "HalvernVersion.h"
#include "config/ConfigExchanges.h"
#include "config/SetupFile.h"
#include "config/SetupHistory.h"
#include "platform/WholeFile.h"
#include "state/Par.h"
#include "state/SaveNames.h"
#include "ui/Dialogs.h"

namespace halvern {

namespace {

using C = SetupControl;

// The design's sizes in twips: the client area, and each setup control.
constexpr int kClientWidth = 4950;
constexpr int kClientHeight = 6645;
// Readable at arm's length on a laptop, and room for fonts wider than the design's.
constexpr double kFontScale = 1.15;
constexpr double kMinScale = 1.25;
constexpr double kMaxScale = 1.7;

struct Place {
    SetupControl control;
    int left, top, width, height;  // twips, in the client area
};

// Labels come first, so that a field is drawn over the lower part of its label's box.
// clang-format off
constexpr Place kPlaces[] = {
    {C::Label4, 240, 1080, 1935, 375},
    {C::Label7, 2640, 1080, 2055, 255},
    {C::Label5, 240, 1920, 2415, 375},
    {C::Label8, 2640, 1920, 1815, 255},
    {C::Label6, 240, 2760, 2415, 375},
    {C::Label9, 2640, 2760, 1815, 255},
    {C::Label10, 240, 3600, 2175, 495},
    {C::Label11, 2640, 3840, 1815, 255},
    {C::Label12, 2640, 4680, 1815, 255},
    {C::Combo2, 240, 1320, 1935, 345},
    {C::Combo5, 2640, 1320, 1815, 345},
    {C::Combo3, 240, 2160, 1935, 345},
    {C::cmbShort410, 240, 2160, 1935, 345},
    {C::Combo6, 2640, 2160, 1815, 345},
    {C::Combo4, 240, 3000, 1935, 345},
    {C::Combo7, 2640, 3000, 1815, 345},
    {C::Combo8, 240, 4080, 1935, 345},
    {C::Combo9, 2640, 4080, 1815, 345},
    {C::Combo10, 2640, 4920, 1815, 345},
};
// clang-format on

constexpr const char* kSaveTitle = "Save setup table";
constexpr const char* kLoadTitle = "Load setup table";
constexpr const char* kSetupFilter = "Setup tables (*.json);;All files (*)";

// Bold Arial throughout, a little larger than designed.
QFont Arial(double points, const char* family = "Arial") {
    return DesignFont(family, points * kFontScale, true);
}

QFont CaptionFont() {
    return Arial(9.75);
}

void Fill(QWidget* w, const QColor& back) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(p);
}

}  // namespace

frmSetupT::frmSetupT(Par& par, Link& link, Dialogs& dialogs, std::uint8_t address, StopCheck stop,
                     QWidget* parent)
    : ConfigWindow(par, link, dialogs, std::move(stop), parent),
      model_{par.Reading.ModelName, par.Reading.ModelCode},
      layout_(SetupLayoutFor(model_)),
      address_(address),
      read_(SetupTableFromReply(par.Link.RxBuffer)),
      registers_(SetupRegistersFromReply(par.Link.RxBuffer)),
      modelCode_(
          static_cast<std::uint16_t>(par.Reading.Variant << 8 | (par.Reading.ModelCode & 0xFF))) {
    setObjectName("frmSetupT");
    setWindowTitle("Setup table");
    BuildUi();

    // Decode the reply that opened the screen.
    par_.Setup = read_;
    const SetupTexts texts = ShownSetupTexts(read_, model_);
    lblAddr_->setText(QString::number(address_));
    serial_ = static_cast<long long>(par_.Reading.SerialNumber);
    lblSerial_->setText(QString::number(serial_));
    for (int i = 0; i < kSetupFieldCount; ++i) {
        QComboBox* field = fields_[static_cast<std::size_t>(i)];
        field->setCurrentIndex(-1);
        field->setEditText(QString::fromStdString(texts[static_cast<std::size_t>(i)]));
        field->lineEdit()->setCursorPosition(0);  // a text wider than the field shows its start
    }

    RecordSetup(par_, address_, model_, std::nullopt, read_, true);
    Field(C::Combo2)->setFocus();
}

void frmSetupT::BuildUi() {
    BuildValueBoxes();
    BuildSetupControls();
    BuildButtons();
    BuildBurningNotice();
    // Scaled as a whole once every control has its place in twips.
    const double scale = twips_.FitScale(kMinScale, kMaxScale);
    twips_.Apply(scale);
    setFixedSize(TwipsLayout::Size(kClientWidth, kClientHeight, scale));

    connect(Command1_, &QPushButton::clicked, this, &frmSetupT::Burn);
    connect(cmdPrint_, &QPushButton::clicked, this, &frmSetupT::Print);
    connect(cmdExit_, &QPushButton::clicked, this, &frmSetupT::Cancel);
    connect(cmdSave_, &QPushButton::clicked, this, &frmSetupT::SaveFile);
    connect(cmdLoad_, &QPushButton::clicked, this, &frmSetupT::LoadFile);
    for (QComboBox* f : fields_)
        connect(f, &QComboBox::editTextChanged, this, &frmSetupT::MarkChanged);
}

// Address and serial number, each a value in a frame of its own along the top.
void frmSetupT::BuildValueBoxes() {
    const QFont captionFont = CaptionFont();
    const QFont valueFont = Arial(14.25);
    const auto valueBox = [&](const char* frameName, const char* title, const char* labelName,
                              int left) {
        auto* frame = new QGroupBox(title, this);
        frame->setObjectName(frameName);
        frame->setFont(captionFont);
        twips_.Add(frame, left, 120, 1935, 735);
        auto* value = new QLabel(frame);
        value->setObjectName(labelName);
        value->setFont(valueFont);
        value->setAlignment(Qt::AlignCenter);
        value->setFrameShape(QFrame::Panel);
        value->setFrameShadow(QFrame::Sunken);
        Fill(value, Qt::white);
        // Inside the frame's border, below its caption, whatever the style draws there.
        auto* inside = new QVBoxLayout(frame);
        inside->setContentsMargins(8, 2, 8, 6);
        inside->addWidget(value);
        return value;
    };
    lblAddr_ = valueBox("Frame1", "Address", "lblAddr", 240);
    lblSerial_ = valueBox("Frame2", "Serial No", "lblSerial", 2640);
}

// The labels and fields of the setup table, where this model has them.
void frmSetupT::BuildSetupControls() {
    const QFont fieldFont = Arial(9);
    const QFont captionFont = CaptionFont();
    for (const Place& p : kPlaces) {
        QWidget* w = nullptr;
        if (!IsSetupField(p.control)) {
            auto* label =
                new QLabel(QString::fromStdString(SetupCaption(p.control, layout_)), this);
            label->setFont(captionFont);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(p.control == C::Label10);
            labels_[static_cast<std::size_t>(Index(p.control) - kSetupFieldCount)] = label;
            w = label;
        } else {
            auto* field = new QComboBox(this);
            field->setEditable(true);
            field->setInsertPolicy(QComboBox::NoInsert);
            // A completed text would be written instead of the one typed ("3" growing to "30").
            field->setCompleter(nullptr);
            field->setFont(fieldFont);
            for (const auto& option : layout_.Options(p.control))
                field->addItem(QString::fromStdString(option));
            fields_[static_cast<std::size_t>(Index(p.control))] = field;
            w = field;
        }
        w->setObjectName(SetupControlName(p.control));
        w->setVisible(layout_.Visible(p.control));
        twips_.Add(w, p.left, p.top, p.width, p.height);
    }
    if (layout_.heaterInLeftColumn) {
        // The Talvek screens have no left column of their own below the range: the heater
        // fields move there, at the height of their rows.
        twips_.Move(labels_[Index(C::Label11) - kSetupFieldCount], 240, 3840, 1815, 375);
        twips_.Move(labels_[Index(C::Label12) - kSetupFieldCount], 240, 4680, 1815, 375);
        twips_.Move(Field(C::Combo9), 240, 4080, 1815, 345);
        twips_.Move(Field(C::Combo10), 240, 4920, 1815, 345);
    }
}

void frmSetupT::BuildButtons() {
    const QFont captionFont = CaptionFont();
    const auto button = [&](const char* text, const char* name, int left, int top, int width,
                            int height) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setFont(captionFont);
        b->setAutoDefault(false);
        twips_.Add(b, left, top, width, height);
        return b;
    };
    Command1_ = button("Burn-F3", "Command1", 240, 5760, 1335, 735);
    cmdPrint_ = button("Print-F6", "cmdPrint", 1800, 5760, 1215, 735);
    cmdExit_ = button("Cancel-Esc", "cmdExit", 3240, 5760, 1335, 735);
    Command1_->setToolTip("Write these settings into the detector");
    cmdPrint_->setToolTip("Print this screen");
    cmdExit_->setToolTip("Close without writing");
    // The file buttons stand in the column that the model leaves free at the bottom: the
    // left one, or the right one where the heater fields have moved to the left.
    // Their bottoms line up with the heater fields' beside them.
    const bool right = layout_.heaterInLeftColumn;
    const int left = right ? 2640 : 240, width = right ? 1815 : 1935;
    cmdSave_ = button("Save...", "cmdSave", left, 3960, width, 465);
    cmdLoad_ = button("Load...", "cmdLoad", left, 4800, width, 465);
    cmdSave_->setToolTip("Keep the detector's setup table, as read, in a file");
    cmdLoad_->setToolTip("Fill the fields from a setup table kept in a file; Burn writes them");
}

// "Burning...", over the fields while a write runs.
void frmSetupT::BuildBurningNotice() {
    Frame3_ = new QFrame(this);
    Frame3_->setObjectName("Frame3");
    Frame3_->setFrameShape(QFrame::Box);
    Fill(Frame3_, QColor(192, 192, 192));
    twips_.Add(Frame3_, 1508, 2640, 1935, 855);
    Label2_ = new QLabel("Burning...", Frame3_);
    Label2_->setObjectName("Label2");
    Label2_->setFont(Arial(14.25, "Arial Narrow"));
    Label2_->setAlignment(Qt::AlignCenter);
    Fill(Label2_, QColor(255, 255, 0));
    twips_.Add(Label2_, 120, 240, 1695, 495);
    Frame3_->hide();
}

SetupTexts frmSetupT::Texts() const {
    SetupTexts texts;
    for (int i = 0; i < kSetupFieldCount; ++i)
        texts[static_cast<std::size_t>(i)] =
            fields_[static_cast<std::size_t>(i)]->currentText().toStdString();
    return texts;
}

void frmSetupT::DefaultCommand() {
    // Enter closes without writing, as always; changed fields are not thrown away unasked.
    if (Burning())
        return;
    const SetupTexts texts = Texts();
    const auto changed =
        ChangedFieldTexts(ChangedSetupFields(read_, texts, model_), texts, layout_);
    if (!changed.empty() &&
        !dialogs_.AskYesNo(DiscardChangesQuestion(changed), "Setup table", MsgIcon::Question))
        return;
    Cancel();
}

bool frmSetupT::OwnKey(QKeyEvent& key) {
    if (key.key() != Qt::Key_F6)
        return false;
    Print();
    return true;
}

void frmSetupT::BurnShown(bool on) {
    for (QComboBox* f : fields_)
        f->setEnabled(!on);
    for (QPushButton* b : {Command1_, cmdPrint_, cmdExit_, cmdSave_, cmdLoad_})
        b->setEnabled(!on);
    Frame3_->setVisible(on);
    if (on)
        Frame3_->raise();
}

void frmSetupT::Burn() {
    if (Burning())
        return;
    const SetupTexts texts = Texts();
    const SetupFieldSet changed = ChangedSetupFields(read_, texts, model_);
    const auto burn = SetupTableToBurn(read_, texts, changed, model_);
    if (const auto* refused = std::get_if<SetupRefusal>(&burn)) {
        dialogs_.Message(SetupRefusalMessage(*refused, texts, layout_), kAppTitle,
                         MsgIcon::Critical);
        return;
    }
    SetBurning(true);
    par_.Setup = std::get<SetupTable>(burn);
    const WriteResult written = WriteSetupTable(link_, address_, par_.Setup, stop_);
    RecordSetup(par_, address_, model_, read_, par_.Setup, written.Confirmed(), written.attempts,
                loadedFrom_);
    Frame3_->hide();
    if (written.Confirmed()) {
        par_.Main.WriteNotice =
            SetupConfirmedNotice(address_, ChangedFieldTexts(changed, texts, layout_));
    } else {
        par_.Main.WriteNotice = FirstLine(SetupNotConfirmedMessage(address_, written.outcome));
        if (!Ending())
            dialogs_.Message(SetupNotConfirmedMessage(address_, written.outcome), "Warning",
                             MsgIcon::Critical);
    }
    SetBurning(false);
    close();
}

void frmSetupT::Print() {
    if (Burning())
        return;
    // A cancelled dialog or a failed print leaves the screen as it was, without a word.
    const std::optional<int> copies = dialogs_.PrintDialog();
    if (copies && *copies > 0)
        dialogs_.PrintWindow(*this, *copies);
}

}  // namespace halvern

namespace halvern {

void frmSetupT::SaveFile() {
    if (Burning())
        return;
    const QDate today = QDate::currentDate();
    const std::string name =
        SetupFileName(std::to_string(serial_), today.year(), today.month(), today.day());
    dialogs_.SaveFileName(*this, kSaveTitle, SuggestedPath(par_.DocumentsFolder, name),
                          kSetupFilter, [this](const std::string& path) { SaveTo(path); });
}

void frmSetupT::SaveTo(const std::string& path) {
    const SetupFile file{
        .program = "halvern",
        .programVersion = kVersion,
        .savedUtc = QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddTHH:mm:ssZ").toStdString(),
        .address = address_,
        .modelCode = modelCode_,
        .model = model_.name,
        .serial = static_cast<long>(serial_),
        .registers = registers_};
    if (std::string why; !WriteWholeFile(path, SetupFileJson(file), why)) {
        dialogs_.Message("The setup table was not saved.\n" + why, kSaveTitle, MsgIcon::Critical);
        return;
    }
    std::string text = "The setup table of serial number " + std::to_string(file.serial) +
                       " was saved to " + path + ".";
    if (ChangedSetupFields(read_, Texts(), model_).any())
        text +=
            "\nIt holds the table as read from the detector, without the changes shown "
            "here that have not been burnt.";
    dialogs_.Notice(*this, text, kSaveTitle, MsgIcon::Information);
}

void frmSetupT::LoadFile() {
    if (Burning())
        return;
    dialogs_.OpenFileName(*this, kLoadTitle, par_.DocumentsFolder, kSetupFilter,
                          [this](const std::string& path) { LoadFrom(path); });
}

void frmSetupT::LoadFrom(const std::string& path) {
    if (Burning())  // a Burn started while the dialog was open
        return;
    std::string bytes;
    std::string why = ReadSetupFileBytes(path, bytes);
    std::optional<SetupFile> file;
    if (why.empty()) {
        auto parsed = ParseSetupFile(bytes);
        if (const auto* reason = std::get_if<std::string>(&parsed))
            why = path + ": " + *reason;
        else
            file = std::get<SetupFile>(std::move(parsed));
    }
    if (file)
        if (const std::string other = SetupModelMismatch(*file, model_, address_); !other.empty())
            why = path + ": " + other;
    if (!why.empty()) {
        dialogs_.Message("The setup table was not loaded.\n" + why, kLoadTitle, MsgIcon::Critical);
        return;
    }
    const SetupTable wanted = SetupTableOf(*file);
    const SetupTexts texts = LoadedSetupTexts(read_, wanted, model_);
    loadedFrom_ = SetupFileSource(path, *file);
    for (int i = 0; i < kSetupFieldCount; ++i) {
        QComboBox* field = fields_[static_cast<std::size_t>(i)];
        field->setEditText(QString::fromStdString(texts[static_cast<std::size_t>(i)]));
        field->lineEdit()->setCursorPosition(0);
    }
    MarkChanged();
    const auto differences = SetupDifferences(read_, wanted, model_);
    std::string text = loadedFrom_ + ".\n";
    std::string names;
    for (const SetupDifference& d : differences)
        names += (names.empty() ? "" : ", ") + d.caption;
    if (differences.empty())
        text += "It equals the detector's setup table: nothing to change.";
    else
        text += "Marked where it differs from the detector (" + names + "); Burn-F3 writes it.";
    dialogs_.Notice(*this, text, kLoadTitle, MsgIcon::Information);
}

void frmSetupT::MarkChanged() {
    if (loadedFrom_.empty())
        return;
    const SetupTexts shown = ShownSetupTexts(read_, model_);
    const SetupFieldSet changed = ChangedSetupFields(read_, Texts(), model_);
    for (int i = 0; i < kSetupFieldCount; ++i) {
        QComboBox* field = fields_[static_cast<std::size_t>(i)];
        const bool mark = changed[static_cast<std::size_t>(i)];
        field->setStyleSheet(mark ? "QComboBox { background: #ffe680; }" : "");
        const std::string& held = shown[static_cast<std::size_t>(i)];
        field->setToolTip(mark ? QString::fromStdString("The detector holds: " +
                                                        (held.empty() ? "(empty)" : held))
                               : QString());
    }
}

}  // namespace halvern
