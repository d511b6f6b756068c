#include "ui/Firmware.h"

#include "ui_Firmware.h"

TUpgradeForm* UpgradeForm = nullptr;

TUpgradeForm::TUpgradeForm(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TUpgradeForm>()) {
    ui_->setupUi(this);
    UpgradeForm = this;
}

TUpgradeForm::~TUpgradeForm() {
    if (UpgradeForm == this) UpgradeForm = nullptr;
}
