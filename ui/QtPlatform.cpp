#include "ui/QtPlatform.h"

#include "platform/MessageBox.h"
#include "platform/PollTimer.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

namespace {

class TQtMessageBox : public kestrel::MessageBoxSink {
  public:
    void Show(const std::string& text, const std::string& title,
              kestrel::MessageIcon icon) override {
        QMessageBox box(IconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
    }

  private:
    static QMessageBox::Icon IconOf(kestrel::MessageIcon icon) {
        switch (icon) {
        case kestrel::MessageIcon::Error:
            return QMessageBox::Critical;
        case kestrel::MessageIcon::Warning:
            return QMessageBox::Warning;
        case kestrel::MessageIcon::Question:
            return QMessageBox::Question;
        case kestrel::MessageIcon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }
};

// Polling timers of the serial component on the event loop.
class TQtPollTimer : public kestrel::PollTimer {
  public:
    TQtPollTimer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
    }
    void Start(int intervalMs, std::function<void()> callback) override {
        callback_ = std::move(callback);
        timer_.start(intervalMs);
    }
    void Stop() override { timer_.stop(); }
    bool Running() const override { return timer_.isActive(); }

  private:
    void Fire() {
        if (callback_) callback_();
    }
    QTimer timer_;
    std::function<void()> callback_;
};

TWaitEventFilter* waitFilter = nullptr;

void RunQtWaitHook() {
    waitFilter->active = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    waitFilter->active = false;
}

} // namespace

bool TWaitEventFilter::eventFilter(QObject* receiver, QEvent* event) {
    if (!active) return false;
    if (event->type() == QEvent::Timer) return !allowed_.contains(receiver);
    if (event->isInputEvent()) return true;
    switch (event->type()) {
    case QEvent::Close:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

void InstallQtPlatform() {
    static TQtMessageBox messageBox;
    if (!waitFilter) {
        waitFilter = new TWaitEventFilter;
        qApp->installEventFilter(waitFilter);
    }
    kestrel::SetMessageBoxSink(&messageBox);
    kestrel::SetWaitHook(RunQtWaitHook);
    kestrel::SetPollTimerFactory([] { return std::make_unique<TQtPollTimer>(); });
}

void AllowTimerDuringWaits(const QObject* timer) {
    if (waitFilter) waitFilter->Allow(timer);
}
