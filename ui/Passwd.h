// The "Change Password" dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TPasswdBox;
}

class TPasswdBox : public QDialog {
    Q_OBJECT
  public:
    explicit TPasswdBox(QWidget* parent = nullptr);
    ~TPasswdBox() override;

    Ui::TPasswdBox* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::TPasswdBox> ui_;
};

extern TPasswdBox* PasswdBox;
