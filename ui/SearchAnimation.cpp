#include "ui/SearchAnimation.h"

#include <QPainter>
#include <QtMath>

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    frameTimer_.setInterval(FrameIntervalMs);
    connect(&frameTimer_, &QTimer::timeout, this, &TSearchAnimation::NextFrame);
}

void TSearchAnimation::Play() {
    frame_ = StartFrame;
    frameTimer_.start();
    update();
}

void TSearchAnimation::Stop() {
    frameTimer_.stop();
    frame_ = StartFrame;
    update();
}

void TSearchAnimation::NextFrame() {
    frame_ = frame_ >= StopFrame ? StartFrame : frame_ + 1;
    update();
}

namespace {
void DrawComputer(QPainter& p, QPointF centre, qreal size) {
    const QRectF screen(centre.x() - size / 2, centre.y() - size / 2, size, size * 0.7);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(200, 220, 240));
    p.drawRect(screen);
    p.setBrush(QColor(30, 90, 160));
    p.drawRect(screen.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1));
    p.setBrush(QColor(180, 180, 180));
    p.drawRect(
        QRectF(centre.x() - size * 0.3, screen.bottom() + size * 0.08, size * 0.6, size * 0.12));
}

void DrawMagnifier(QPainter& p, QPointF centre, qreal radius) {
    p.setPen(QPen(QColor(90, 60, 20), radius * 0.35, Qt::SolidLine, Qt::RoundCap));
    const QPointF handle = centre + QPointF(radius * 0.75, radius * 0.75);
    p.drawLine(handle, handle + QPointF(radius * 0.9, radius * 0.9));
    p.setPen(QPen(QColor(60, 60, 60), radius * 0.18));
    p.setBrush(QColor(255, 255, 210, 150));
    p.drawEllipse(centre, radius, radius);
}
} // namespace

void TSearchAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const qreal size = qMin(width() / 6.0, height() / 3.0);
    const QPointF middle(width() / 2.0, height() / 2.0);
    for (int i = -1; i <= 1; ++i)
        DrawComputer(p, middle + QPointF(i * size * 1.6, 0), size);
    // The glass travels along an ellipse over the computers, one lap per loop.
    const qreal angle = 2 * M_PI * (frame_ - StartFrame) / (StopFrame - StartFrame + 1);
    const QPointF glass =
        middle + QPointF(std::cos(angle) * size * 1.8, std::sin(angle) * size * 0.6);
    DrawMagnifier(p, glass, size * 0.45);
}
