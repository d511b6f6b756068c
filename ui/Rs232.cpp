#include "ui/Rs232.h"

#include "ui_Rs232.h"

TRS232Form* RS232Form = nullptr;

TRS232Form::TRS232Form(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TRS232Form>()) {
    ui_->setupUi(this);
    RS232Form = this;
}

TRS232Form::~TRS232Form() {
    if (RS232Form == this) RS232Form = nullptr;
}
