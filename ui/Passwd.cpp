#include "ui/Passwd.h"

#include "ui_Passwd.h"

TPasswdBox* PasswdBox = nullptr;

TPasswdBox::TPasswdBox(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TPasswdBox>()) {
    ui_->setupUi(this);
    PasswdBox = this;
}

TPasswdBox::~TPasswdBox() {
    if (PasswdBox == this) PasswdBox = nullptr;
}
