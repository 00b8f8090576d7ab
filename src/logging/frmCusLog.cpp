#include "logging/frmCusLog.h"

#include <QAction>
#include <QCloseEvent>
#include <QColor>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <memory>

#include "logging/LogCsv.h"
#include "logging/LogReader.h"
#include "logging/frmLogPlot.h"
#include "state/SaveNames.h"
#include "ui/Dialogs.h"

namespace halvern {

namespace {

// The table is read in the field, often from a distance: dark text on light cells, thin grid
// lines between them, every other row shaded so that a line is easy to follow across.
const QColor kGridLine(0xa7, 0xb1, 0xbd);
const QColor kHeaderCell(0xd5, 0xdd, 0xe7);
const QColor kNumberCell(0xe8, 0xec, 0xf1);
const QColor kEvenRow(0xff, 0xff, 0xff);
const QColor kOddRow(0xf0, 0xf4, 0xf8);
const QColor kNumberText(0x4a, 0x55, 0x63);
constexpr int kCellPadX = 7;
constexpr int kCellPadY = 3;
constexpr int kNumberDigits = 8;  // the last lines of a year of records a second
const QColor kExtraHelpText(0x4a, 0x55, 0x63);
constexpr const char* kExportTitle = "Export log as CSV";

// The file's first lines; a big file's are read alone, and its lines counted later.
LogLineTable LoadFirstLines(const std::string& path) {
    if (path.empty())
        return {};
    const bool quick = QFileInfo(QString::fromStdString(path)).size() <= kViewerQuickBytes;
    // A file that went away since the prompt looked shows as an empty table.
    return ReadLogLines(path, LogStretch::First, nullptr, nullptr, quick).value_or(LogLineTable{});
}

QFont TableFont(const QFont& base, bool bold) {
    // Fields keep their spaces and line up by character, so the table needs a fixed pitch.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(std::max({font.pointSizeF(), base.pointSizeF(), 11.0}));
    font.setBold(bold);
    return font;
}

QLabel* Cell(QWidget* parent, const QString& name, const QFont& font, const QColor& background,
             int width, Qt::Alignment align) {
    auto* cell = new QLabel(parent);
    cell->setObjectName(name);
    // Log lines are shown as stored: no markup, one character per byte, spaces kept.
    cell->setTextFormat(Qt::PlainText);
    cell->setFont(font);
    cell->setAlignment(align | Qt::AlignVCenter);
    cell->setContentsMargins(kCellPadX, kCellPadY, kCellPadX, kCellPadY);
    cell->setFixedWidth(width);
    cell->setAutoFillBackground(true);
    QPalette palette = cell->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, Qt::black);
    cell->setPalette(palette);
    return cell;
}

// Room for `chars` characters in both the plain and the bold table font.
int CellWidth(const QFont& plain, const QFont& bold, int chars) {
    const QString sample(chars, QChar('0'));
    return std::max(QFontMetrics(plain).horizontalAdvance(sample),
                    QFontMetrics(bold).horizontalAdvance(sample)) +
           2 * kCellPadX;
}

QString Field(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

frmCusLog::frmCusLog(const Par& par, Dialogs& dialogs, const QString& entry, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      saveFolder_(par.DocumentsFolder),
      entry_(entry),
      path_(LogPathForEntry(par.ProgramFolder, entry.toStdString()).value_or("")),
      model_(LoadFirstLines(path_)) {
    setObjectName("frmCusLog");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    setWindowTitle(QString::fromStdString(ViewerTitle(entry.toStdString())));
    // The labels take no focus; the keys come to the window itself.
    setFocusPolicy(Qt::StrongFocus);

    // The key help is read at the same distance as the table.
    QFont helpFont = font();
    helpFont.setPointSizeF(TableFont(font(), false).pointSizeF());

    auto* exitKey = new QLabel("Exit-Esc", this);
    exitKey->setFont(helpFont);
    exitKey->setObjectName("lblExit");
    exitKey->setFrameShape(QFrame::StyledPanel);
    exitKey->setContentsMargins(8, 2, 8, 2);
    // Which of the file's lines the table holds, when it cannot hold them all.
    lblExtent_ = new QLabel(this);
    lblExtent_->setObjectName("lblExtent");
    lblExtent_->setFont(helpFont);
    auto* top = new QHBoxLayout;
    top->addWidget(lblExtent_);
    top->addStretch(1);
    top->addWidget(exitKey);

    auto* table = new QFrame(this);
    table->setObjectName("fraTable");
    BuildTable(table);

    auto* help = new QHBoxLayout;
    help->setSpacing(28);
    const char* helpTexts[] = {"Next Line - PgDn", "Prev Line - PgUp", "Print - P", "Exit - Esc"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(helpTexts[i], this);
        label->setObjectName(QString("lblHelp(%1)").arg(i));
        label->setFont(helpFont);
        help->addWidget(label);
    }
    help->addStretch(1);

    // The plot and the export, below the viewer's own keys and a shade lighter.
    auto* extraHelp = new QHBoxLayout;
    extraHelp->setSpacing(28);
    const char* extraTexts[] = {"First/last lines - Home/End", "Plot - G", "Export CSV - X",
                                "Menu - right click"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(extraTexts[i], this);
        label->setObjectName(QString("lblMoreHelp(%1)").arg(i));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, kExtraHelpText);
        label->setPalette(palette);
        extraHelp->addWidget(label);
    }
    extraHelp->addStretch(1);

    plotAction_ = new QAction("&Plot the whole file\tG", this);
    plotAction_->setObjectName("mnuPlot");
    connect(plotAction_, &QAction::triggered, this, &frmCusLog::OpenPlot);
    exportAction_ = new QAction("E&xport the whole file as CSV...\tX", this);
    exportAction_->setObjectName("mnuExportCsv");
    connect(exportAction_, &QAction::triggered, this, &frmCusLog::ExportCsv);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 14);
    layout->setSpacing(10);
    layout->addLayout(top);
    layout->addWidget(table);
    layout->addLayout(help);
    layout->addLayout(extraHelp);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowRows();
    CountLines();
}

frmCusLog::~frmCusLog() = default;

void frmCusLog::CountLines() {
    if (model_.Counted())
        return;
    auto total = std::make_shared<std::int64_t>(-1);
    counter_ = std::make_unique<LogWorker>(
        [path = path_, total](LogReadControl& control) {
            if (const auto table = ReadLogLines(path, LogStretch::First, nullptr, &control))
                *total = table->Total;
        },
        [](int) {},
        [this, total] {
            model_.SetTotal(*total);
            ShowRows();
        });
}

void frmCusLog::ShowLastLines() {
    if (RaiseTask())
        return;
    if (QFileInfo(QString::fromStdString(path_)).size() <= kViewerQuickBytes) {
        model_.ShowLast(ReadLogLines(path_, LogStretch::Last).value_or(LogLineTable{}));
        ShowRows();
        return;
    }
    auto table = std::make_shared<std::optional<LogLineTable>>();
    task_ = new frmLogTask(
        windowTitle(), "Reading the last lines of the log file...",
        [path = path_, table](LogReadControl& control) {
            *table = ReadLogLines(path, LogStretch::Last, nullptr, &control);
        },
        this);
    connect(task_, &frmLogTask::done, this, [this, table] {
        counter_.reset();  // the new table has its own count
        model_.ShowLast(table->value_or(LogLineTable{}));
        ShowRows();
    });
    task_->show();
}

void frmCusLog::BuildTable(QWidget* table) {
    const QFont plain = TableFont(font(), false);
    const QFont bold = TableFont(font(), true);

    table->setAutoFillBackground(true);
    QPalette palette = table->palette();
    palette.setColor(QPalette::Window, kGridLine);
    table->setPalette(palette);
    auto* grid = new QGridLayout(table);
    grid->setContentsMargins(1, 1, 1, 1);
    grid->setSpacing(1);

    const int numberWidth = CellWidth(plain, bold, kNumberDigits);
    grid->addWidget(Cell(table, "lblHeader(0)", bold, kHeaderCell, numberWidth, Qt::AlignRight), 0,
                    0);
    std::array<int, kLogColumnCount> widths{};
    for (int c = 0; c < kLogColumnCount; ++c) {
        const LogColumn& column = kLogColumns[static_cast<std::size_t>(c)];
        const int chars = std::max(column.Width, static_cast<int>(std::strlen(column.Header)));
        widths[static_cast<std::size_t>(c)] = CellWidth(plain, bold, chars);
        QLabel* header = Cell(table, QString("lblHeader(%1)").arg(c + 1), bold, kHeaderCell,
                              widths[static_cast<std::size_t>(c)], Qt::AlignLeft);
        header->setText(column.Header);
        grid->addWidget(header, 0, c + 1);
    }

    for (int r = 0; r < kViewerRows; ++r) {
        RowLabels& row = rows_[static_cast<std::size_t>(r)];
        const QColor shade = r % 2 == 0 ? kEvenRow : kOddRow;
        row.number = Cell(table, QString("lblNumber(%1)").arg(r), plain, kNumberCell, numberWidth,
                          Qt::AlignRight);
        QPalette numberPalette = row.number->palette();
        numberPalette.setColor(QPalette::WindowText, kNumberText);
        row.number->setPalette(numberPalette);
        grid->addWidget(row.number, r + 1, 0);
        for (int c = 0; c < kLogColumnCount; ++c) {
            const auto ci = static_cast<std::size_t>(c);
            row.fields[ci] = Cell(table, QString("%1(%2)").arg(kLogColumns[ci].LabelArray).arg(r),
                                  plain, shade, widths[ci], Qt::AlignLeft);
            grid->addWidget(row.fields[ci], r + 1, c + 1);
        }
    }
}

void frmCusLog::ShowRows() {
    lblExtent_->setText(QString::fromStdString(model_.Extent()));
    for (int r = 0; r < kViewerRows; ++r) {
        const LogRow shown = model_.Row(r);
        RowLabels& row = rows_[static_cast<std::size_t>(r)];
        row.number->setText(QString::fromStdString(shown.Number));
        for (std::size_t c = 0; c < row.fields.size(); ++c)
            row.fields[c]->setText(Field(shown.Fields[c]));
    }
}

void frmCusLog::Print() {
    const std::optional<int> copies = dialogs_.PrintDialog();
    // A cancelled dialog or a failed print leaves the viewer as it was, without a word.
    if (copies && *copies > 0)
        dialogs_.PrintWindow(*this, *copies);
}

void frmCusLog::OpenPlot() {
    if (plot_) {
        plot_->raise();
        plot_->activateWindow();
        return;
    }
    if (RaiseTask())
        return;
    const QString serial = entry_.trimmed();
    auto data = std::make_shared<LogPlotData>();
    task_ = new frmLogTask(
        LogPlotTitle(serial), "Reading the whole log file for the plot...",
        [path = path_, data](LogReadControl& control) {
            *data = ReadLogPlot(path, kPlotIntervals, &control);
        },
        this);
    connect(task_, &frmLogTask::done, this, [this, serial, data] {
        if (const std::string failure = task_->Failure(); !failure.empty()) {
            data->Read.Ok = false;
            data->Read.Error = failure;
        }
        plot_ = new frmLogPlot(std::move(*data), serial, saveFolder_, dialogs_, path_, this);
        plot_->setAttribute(Qt::WA_DeleteOnClose);
        plot_->show();
        plot_->activateWindow();
    });
    task_->show();
}

void frmCusLog::ExportCsv() {
    if (RaiseTask())
        return;
    const std::string suggested =
        SuggestedPath(saveFolder_, LogExportName(entry_.toStdString(), ".csv"));
    dialogs_.SaveFileName(*this, kExportTitle, suggested, "CSV files (*.csv)",
                          [this](const std::string& target) { ExportCsvTo(target); });
}

void frmCusLog::ExportCsvTo(const std::string& target) {
    if (RaiseTask())  // a reading started while the dialog was open
        return;
    const std::string shown =
        QDir::toNativeSeparators(QString::fromStdString(target)).toStdString();
    auto result = std::make_shared<CsvExportResult>();
    task_ = new frmLogTask(
        kExportTitle, QString::fromStdString("Writing the whole log file to " + shown + "..."),
        [log = path_, target, result](LogReadControl& control) {
            *result = ExportLogCsv(log, target, &control);
        },
        this);
    const auto report = [this, shown, result] {
        if (const std::string failure = task_->Failure(); !failure.empty())
            result->Error = "Cannot write " + shown + ": " + failure;
        if (!result->Ok) {
            dialogs_.Notice(*this, result->Error, kExportTitle, MsgIcon::Critical);
            return;
        }
        const LogReadCounts& c = result->Counts;
        std::string text = std::to_string(c.Records()) +
                           (c.Records() == 1 ? " record" : " records") + " written to " + shown +
                           ".";
        if (c.Skipped > 0)
            text += "\n" + SkippedText(c) + ".";
        dialogs_.Notice(*this, text, kExportTitle, MsgIcon::Information);
    };
    connect(task_, &frmLogTask::done, this, report);
    // A cancel that came as the file was completed leaves it whole: that is said too.
    connect(task_, &frmLogTask::cancelled, this, [report, result] {
        if (result->Ok)
            report();
    });
    task_->show();
}

bool frmCusLog::RaiseTask() {
    if (!task_ || !task_->Running())
        return false;
    task_->raise();
    task_->activateWindow();
    return true;
}

void frmCusLog::contextMenuEvent(QContextMenuEvent* event) {
    // Shown without a loop of its own, as the save dialog: the polling goes on while it is open.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions({plotAction_, exportAction_});
    menu->popup(event->globalPos());
    event->accept();
}

void frmCusLog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_P:
        case Qt::Key_G:
        case Qt::Key_X:
        case Qt::Key_Escape:
            pressed_.insert(event->key());
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void frmCusLog::keyReleaseEvent(QKeyEvent* event) {
    // A release whose press went to another window (the print dialog closed by Esc or Enter)
    // is not the technician's command to this one.
    if (!pressed_.remove(event->key())) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    switch (event->key()) {
        case Qt::Key_PageDown:
            model_.PageDown();
            ShowRows();
            break;
        case Qt::Key_PageUp:
            model_.PageUp();
            ShowRows();
            break;
        case Qt::Key_Home:  // with Ctrl too
            if (RaiseTask())
                break;
            model_.ShowFirst(LoadFirstLines(path_));
            ShowRows();
            CountLines();
            break;
        case Qt::Key_End:  // the file as it is now: the newest records
            ShowLastLines();
            break;
        case Qt::Key_P:
            Print();
            break;
        case Qt::Key_G:
            OpenPlot();
            break;
        case Qt::Key_X:
            ExportCsv();
            break;
        case Qt::Key_Escape:
            close();
            break;
        default:
            break;
    }
}

void frmCusLog::closeEvent(QCloseEvent* event) {
    event->accept();
    pressed_.clear();
    emit closed();
}

}  // namespace halvern
