// The "ReBoot ...." wait shown while a station restarts.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TReBoot;
}

class TReBoot : public QDialog {
    Q_OBJECT
  public:
    explicit TReBoot(QWidget* parent = nullptr);
    ~TReBoot() override;

    Ui::TReBoot* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::TReBoot> ui_;
};

extern TReBoot* ReBoot;
