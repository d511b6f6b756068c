// The "RS232 Configuration" dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TRS232Form;
}

class TRS232Form : public QDialog {
    Q_OBJECT
  public:
    explicit TRS232Form(QWidget* parent = nullptr);
    ~TRS232Form() override;

    Ui::TRS232Form* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::TRS232Form> ui_;
};

extern TRS232Form* RS232Form;
