// The "Firmware Upgrade" dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TUpgradeForm;
}

class TUpgradeForm : public QDialog {
    Q_OBJECT
  public:
    explicit TUpgradeForm(QWidget* parent = nullptr);
    ~TUpgradeForm() override;

    Ui::TUpgradeForm* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::TUpgradeForm> ui_;
};

extern TUpgradeForm* UpgradeForm;
