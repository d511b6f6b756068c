// The "Information" dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Tinformation;
}

class Tinformation : public QDialog {
    Q_OBJECT
  public:
    explicit Tinformation(QWidget* parent = nullptr);
    ~Tinformation() override;

    Ui::Tinformation* Form() const { return ui_.get(); }

  private:
    std::unique_ptr<Ui::Tinformation> ui_;
};

extern Tinformation* information;
