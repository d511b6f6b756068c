// The "ReBoot ...." wait shown while a station restarts. It cannot be closed
// or cancelled; its one timer tick per showing runs the whole wait.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class TReBoot;
}

class TReBoot : public QDialog {
    Q_OBJECT
  public:
    explicit TReBoot(QWidget* parent = nullptr);
    ~TReBoot() override;

    Ui::TReBoot* Form() const { return ui_.get(); }
    QTimer& Timer1() { return timer1_; }

    void FormShow();
    void Timer1Timer();

    // Neither Escape nor a close request ends the wait; only its result does.
    void reject() override {}

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CentreOverInformation();

    std::unique_ptr<Ui::TReBoot> ui_;
    QTimer timer1_;
};

extern TReBoot* ReBoot;
