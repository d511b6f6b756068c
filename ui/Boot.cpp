#include "ui/Boot.h"

#include "ui_Boot.h"

#include "platform/RebootWait.h"
#include "station/RebootWait.h"
#include "ui/Infobox.h"

#include <QShowEvent>

TReBoot* ReBoot = nullptr;

TReBoot::TReBoot(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TReBoot>()) {
    ui_->setupUi(this);
    // Dialog frame with a title but no system menu and no close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(273, 31);
    QFont font("MS Sans Serif");
    font.setPixelSize(17);
    font.setBold(true);
    ui_->Label1->setFont(font);

    // Timer1 repeats and its handler stops it: a tick dropped while an
    // exchange waits comes again instead of being lost.
    timer1_.setObjectName("Timer1");
    timer1_.setInterval(10);
    connect(&timer1_, &QTimer::timeout, this, &TReBoot::Timer1Timer);

    ReBoot = this;
    kestrel::SetRebootWaitShow([this] { return exec(); });
}

TReBoot::~TReBoot() {
    if (ReBoot == this) {
        kestrel::SetRebootWaitShow({});
        ReBoot = nullptr;
    }
}

void TReBoot::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TReBoot::FormShow() {
    timer1_.start();
}

void TReBoot::CentreOverInformation() {
    if (!information) return;
    // Outer sizes, as for the other dialogs; int divisions truncate toward zero, as the placement
    // rule asks.
    const QRect parent = information->frameGeometry();
    const QRect own = frameGeometry();
    move(parent.x() + (parent.width() - own.width()) / 2,
         parent.y() + (parent.height() - own.height()) / 2);
}

void TReBoot::Timer1Timer() {
    CentreOverInformation();
    timer1_.stop();
    done(kestrel::PollRebootingStation());
}
