#include "ui/frmOpenS.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

namespace halvern {

namespace {

const char* const kLines[] = {
    "Halvern for 410, 620, 880 and 890 Series ",
    "Gas Detectors",
    "Halvern Instruments",
    "service@halvern.example",
};

void DrawUnit(QPainter& p, const QRectF& body, bool lensOnRight) {
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(96, 104, 116));
    shade.setColorAt(1, QColor(52, 58, 68));
    p.setPen(QPen(QColor(30, 34, 40), 1.5));
    p.setBrush(shade);
    p.drawRoundedRect(body, 6, 6);
    const double lensX = lensOnRight ? body.right() - 4 : body.left() - 10;
    const QRectF hood(lensX, body.top() + 6, 14, body.height() - 12);
    p.setBrush(QColor(40, 44, 52));
    p.drawRoundedRect(hood, 3, 3);
    const QPointF lens = hood.center() + QPointF(lensOnRight ? 5 : -5, 0);
    p.setBrush(QColor(150, 200, 230));
    p.drawEllipse(lens, 5, body.height() / 2 - 10);
    // Mounting post.
    p.setBrush(QColor(120, 124, 130));
    p.drawRect(QRectF(body.center().x() - 4, body.bottom(), 8, 26));
    p.drawRect(QRectF(body.center().x() - 16, body.bottom() + 26, 32, 5));
}

}  // namespace

QPixmap ProductPicture() {
    const QSize size(380, 150);
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(226, 238, 248));
    sky.setColorAt(1, QColor(250, 252, 255));
    p.fillRect(pixmap.rect(), sky);
    p.fillRect(QRectF(0, size.height() - 18, size.width(), 18), QColor(200, 210, 200));

    const QRectF tx(24, 44, 64, 50);
    const QRectF rx(size.width() - 88, 44, 64, 50);
    const double beamY = tx.center().y();
    const double beamLeft = tx.right() + 14;
    const double beamRight = rx.left() - 14;

    // The gas cloud the beam crosses.
    QPainterPath cloud;
    cloud.setFillRule(Qt::WindingFill);  // overlapping puffs merge into one shape
    const double mid = (beamLeft + beamRight) / 2;
    cloud.addEllipse(QPointF(mid - 30, beamY - 4), 34, 22);
    cloud.addEllipse(QPointF(mid + 8, beamY - 14), 38, 26);
    cloud.addEllipse(QPointF(mid + 36, beamY + 4), 30, 20);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 60, 90));
    p.drawPath(cloud.simplified());

    // The infrared beam: a soft glow with a bright core.
    QLinearGradient glow(0, beamY - 10, 0, beamY + 10);
    glow.setColorAt(0, QColor(220, 40, 40, 0));
    glow.setColorAt(0.5, QColor(220, 40, 40, 110));
    glow.setColorAt(1, QColor(220, 40, 40, 0));
    p.fillRect(QRectF(beamLeft, beamY - 10, beamRight - beamLeft, 20), glow);
    p.setPen(QPen(QColor(200, 20, 20), 2, Qt::DashLine));
    p.drawLine(QPointF(beamLeft, beamY), QPointF(beamRight, beamY));

    DrawUnit(p, tx, true);
    DrawUnit(p, rx, false);
    p.end();
    return pixmap;
}

frmOpenS::frmOpenS(TimerFactory& timers, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), timer1_(timers.NewTimer()) {
    setObjectName("frmOpenS");

    // No title bar: a thin border sets the window off from what lies behind it.
    auto* border = new QFrame(this);
    border->setObjectName("Border");
    border->setStyleSheet("#Border { border: 1px solid #4a5462; background: #f4f6f8; }");
    auto* picture = new QLabel(border);
    picture->setObjectName("Picture1");
    picture->setPixmap(ProductPicture());
    picture->setAlignment(Qt::AlignCenter);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    for (int i = 0; i < static_cast<int>(std::size(kLines)); ++i) {
        auto* line = new QLabel(kLines[i], border);
        line->setObjectName(QString("Label1(%1)").arg(i));
        line->setAlignment(Qt::AlignCenter);
        QFont font = line->font();
        if (i < 2) {
            font.setPointSizeF(font.pointSizeF() * 1.35);
            font.setBold(true);
        }
        line->setFont(font);
        if (i == 2)
            text->addSpacing(10);
        text->addWidget(line);
    }

    auto* inner = new QVBoxLayout(border);
    inner->setContentsMargins(20, 20, 20, 20);
    inner->setSpacing(16);
    inner->addWidget(picture);
    inner->addLayout(text);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(border);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    if (const QScreen* screen = this->screen()) {
        adjustSize();
        move(screen->availableGeometry().center() - rect().center());
    }

    timer1_->SetInterval(kShowMs);
    timer1_->onTick = [this] { Timer1_Timer(); };
    timer1_->SetEnabled(true);
}

frmOpenS::~frmOpenS() = default;

void frmOpenS::Timer1_Timer() {
    // Hidden first and closed after the announcement, so that the port dialog is up
    // before the last window closes (which would end the application).
    hide();
    Finish();
    close();
}

void frmOpenS::Finish() {
    timer1_->SetEnabled(false);
    if (finished_)
        return;
    finished_ = true;
    emit finished();
}

void frmOpenS::closeEvent(QCloseEvent* event) {
    event->accept();
    Finish();  // closed before its time: go on now
}

}  // namespace halvern
