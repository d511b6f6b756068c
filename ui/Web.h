// The "Access Control" dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TNetManager;
}

class TNetManager : public QDialog {
    Q_OBJECT
  public:
    explicit TNetManager(QWidget* parent = nullptr);
    ~TNetManager() override;

    Ui::TNetManager* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::TNetManager> ui_;
};

extern TNetManager* NetManager;
