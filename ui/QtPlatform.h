// The Qt side of the platform interfaces: real message boxes, and the wait
// hook that keeps the windows alive while an exchange blocks the thread.
#pragma once

#include <QObject>
#include <QSet>

// While the wait hook runs, drops user input, close requests and timer events
// (a repeating timer's dropped tick comes again at its next interval), except
// the ticks of the timers allowed here: no click, key or timer handler can
// start a second exchange inside the first one.
class TWaitEventFilter : public QObject {
  public:
    bool eventFilter(QObject* receiver, QEvent* event) override;
    void Allow(const QObject* timer) { allowed_.insert(timer); }
    void Forget(const QObject* timer) { allowed_.remove(timer); }
    bool active = false;

  private:
    QSet<const QObject*> allowed_;
};

// Installs the Qt message boxes, the wait hook and the Qt polling timers.
void InstallQtPlatform();
// Lets a timer (such as the search animation's) tick while an exchange waits.
void AllowTimerDuringWaits(const QObject* timer);
