#include "ui/Boot.h"

#include "ui_Boot.h"

TReBoot* ReBoot = nullptr;

TReBoot::TReBoot(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TReBoot>()) {
    ui_->setupUi(this);
    ReBoot = this;
}

TReBoot::~TReBoot() {
    if (ReBoot == this) ReBoot = nullptr;
}
