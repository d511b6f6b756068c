// The search animation shown over the station list while a scan runs: a
// magnifying glass that sweeps over a row of computers. It plays on a timer of
// its own, which the wait hook lets through while an exchange blocks the
// thread, so it keeps moving during a scan.
#pragma once

#include <QTimer>
#include <QWidget>

class TSearchAnimation : public QWidget {
    Q_OBJECT
  public:
    static constexpr int FrameCount = 9;
    static constexpr int StartFrame = 0;
    static constexpr int StopFrame = 8;
    static constexpr int FrameIntervalMs = 80;

    explicit TSearchAnimation(QWidget* parent = nullptr);

    // Plays from the start frame to the stop frame, over and over.
    void Play();
    // Stops and rewinds to the start frame.
    void Stop();
    bool Playing() const { return frameTimer_.isActive(); }
    int CurrentFrame() const { return frame_; }
    // The timer that advances the frames (the wait hook lets its ticks through).
    const QTimer* FrameTimer() const { return &frameTimer_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void NextFrame();

    QTimer frameTimer_;
    int frame_ = StartFrame;
};
