// The main window: the station list, "Browse ...", and the menu.
#pragma once

#include "link/SerialPortDriver.h"
#include "platform/StationList.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace Ui {
class TTarn;
}
class QTreeWidgetItem;

class TTarn : public QMainWindow, public kestrel::StationListSink {
    Q_OBJECT
  public:
    explicit TTarn(QWidget* parent = nullptr);
    ~TTarn() override;

    // Event handlers, named after the control and the event.
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void ScanClick();
    void NetTreeDblClick();
    void SetRS232Click();
    void RunExitClick();
    void FormDestroy();

    // The station list, as the scan fills it.
    void DeleteAllRows() override;
    void AddRow(const kestrel::StationRow& row) override;
    void DeleteRow(int position) override;
    void InsertRow(int position, const kestrel::StationRow& row) override;

    Ui::TTarn* Form() const { return ui_.get(); }
    QTimer& Timer1() { return timer1_; }
    kestrel::TSerialPortDriver& SerialDrvComponent() { return serialDrv_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Opens and binds the channel for an Ethernet row; true when the station can be asked.
    bool OpenStationLink();
    void CentreOnScreen();
    void ApplyFonts();

    std::unique_ptr<Ui::TTarn> ui_;
    QTimer timer1_;
    kestrel::TSerialPortDriver serialDrv_;
};

extern TTarn* Tarn;
