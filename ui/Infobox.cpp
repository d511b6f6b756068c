#include "ui/Infobox.h"

#include "ui_Infobox.h"

Tinformation* information = nullptr;

Tinformation::Tinformation(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::Tinformation>()) {
    ui_->setupUi(this);
    information = this;
}

Tinformation::~Tinformation() {
    if (information == this) information = nullptr;
}
