#include "ui/Web.h"

#include "ui_Web.h"

TNetManager* NetManager = nullptr;

TNetManager::TNetManager(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TNetManager>()) {
    ui_->setupUi(this);
    NetManager = this;
}

TNetManager::~TNetManager() {
    if (NetManager == this) NetManager = nullptr;
}
