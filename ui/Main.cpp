#include "ui/Main.h"

#include "ui_Main.h"

#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "platform/AdapterList.h"
#include "platform/CurrentDirectory.h"
#include "platform/MessageBox.h"
#include "station/Discovery.h"
#include "station/Protocol.h"
#include "station/SharedState.h"
#include "station/StationTable.h"
#include "ui/Infobox.h"
#include "ui/QtPlatform.h"
#include "ui/Rs232.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>
#include <cstring>

TTarn* Tarn = nullptr;

using namespace kestrel;

TTarn::TTarn(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TTarn>()) {
    ui_->setupUi(this);
    ApplyFonts();
    // "Browse ..." sits over the title line, at a fixed place in the panel.
    ui_->panel2Layout->removeWidget(ui_->Scan);
    ui_->Scan->setGeometry(8, 32, 75, 25);
    ui_->Scan->raise();
    ui_->NetTree->header()->setStretchLastSection(false);
    const int widths[StationListColumns] = {150, 100, 100, 50, 100, 100, 100};
    for (int column = 0; column < StationListColumns; ++column)
        ui_->NetTree->setColumnWidth(column, widths[column]);
    ui_->FindHost->setVisible(false);
    AllowTimerDuringWaits(ui_->FindHost->FrameTimer());

    serialDrv_.SetComPortSpeed(br19200);
    serialDrv_.SetComPortHwHandshaking(hhRTSCTS);

    // Timer1 repeats and its handler stops it: a tick dropped while an
    // exchange waits comes again instead of being lost.
    timer1_.setObjectName("Timer1");
    timer1_.setInterval(10);
    connect(&timer1_, &QTimer::timeout, this, &TTarn::Timer1Timer);
    connect(ui_->Scan, &QPushButton::clicked, this, &TTarn::ScanClick);
    connect(ui_->NetTree, &QTreeWidget::itemDoubleClicked, this, &TTarn::NetTreeDblClick);
    connect(ui_->SetRS232, &QAction::triggered, this, &TTarn::SetRS232Click);
    connect(ui_->RunExit, &QAction::triggered, this, &TTarn::RunExitClick);

    Tarn = this;
    FormCreate();
    CentreOnScreen();
}

TTarn::~TTarn() {
    FormDestroy();
    if (Tarn == this) Tarn = nullptr;
}

void TTarn::ApplyFonts() {
    QFont logo = ui_->Logo->font();
    logo.setPixelSize(23);
    logo.setBold(true);
    ui_->Logo->setFont(logo);
    QFont title = ui_->Label2->font();
    title.setPixelSize(17);
    title.setItalic(true);
    ui_->Label2->setFont(title);
}

void TTarn::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TTarn::FormCreate() {
    PacketChannel = new TPacketChannel();
    SerialDrv = &serialDrv_;
    SerialDrv->PausePolling();
    ComPortIndex = DetectComPort(*SerialDrv);
    BaudIndex = DetectBaudRate(*SerialDrv);
    ui_->Logo->setText("Kestrel");
    StartDir = CurrentDirectory();
    AdapterList = ReadAdapterList();
}

void TTarn::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TTarn::FormShow() {
    timer1_.start();
}

void TTarn::Timer1Timer() {
    timer1_.stop();
    ScanClick();
}

void TTarn::ScanClick() {
    ui_->FindHost->setVisible(true);
    ui_->FindHost->raise();
    ui_->FindHost->Play();
    SavedDir = CurrentDirectory();
    SetCurrentDirectory(StartDir);
    ui_->Scan->setEnabled(false);
    ScanStations(*this);
    ui_->Scan->setEnabled(true);
    SetCurrentDirectory(SavedDir);
    ui_->FindHost->setVisible(false);
    ui_->FindHost->Stop();
}

void TTarn::NetTreeDblClick() {
    const QList<QTreeWidgetItem*> selected = ui_->NetTree->selectedItems();
    if (selected.isEmpty()) return;
    StationTable.CurrentStation = ui_->NetTree->indexOfTopLevelItem(selected.first());
    if (!OpenStationLink()) return;
    std::memset(&CurrentFirmwareInfo, 0, sizeof CurrentFirmwareInfo);
    QueryFirmwareInfo(CurrentFirmwareInfo);
    std::memset(&CurrentConfig, 0, sizeof CurrentConfig);
    ReadStationConfig(CurrentConfig);
    CurrentConfig.stationAddress =
        StationTable.identities[static_cast<size_t>(StationTable.CurrentStation)].StationAddress();
    information->exec();
    if (!CurrentStationIsSerial()) ClosePacketChannel();
}

bool TTarn::OpenStationLink() {
    const int32_t link = CurrentLinkIndex();
    if (link == SerialLink) return true;
    // The driver is opened with the start directory current, whatever a file
    // dialog has made current since; the user's directory comes back after.
    SavedDir = CurrentDirectory();
    SetCurrentDirectory(StartDir);
    const bool known = link >= 0 && static_cast<size_t>(link) < AdapterList.size();
    if (!known || !OpenPacketChannel(AdapterList[static_cast<size_t>(link)])) {
        SetCurrentDirectory(SavedDir);
        return false;
    }
    if (!EnablePacketFilter()) {
        SetCurrentDirectory(SavedDir);
        ShowMessage("Filter Error!", "Ethernet Card", MessageIcon::Warning);
        return false;
    }
    DrainPackets();
    SetCurrentDirectory(SavedDir);
    return true;
}

void TTarn::SetRS232Click() {
    StationTable.CurrentStation = SerialStation;
    RS232Form->exec();
}

void TTarn::RunExitClick() {
    QCoreApplication::exit(0);
}

void TTarn::FormDestroy() {
    delete PacketChannel;
    PacketChannel = nullptr;
    if (SerialDrv == &serialDrv_) SerialDrv = nullptr;
    AdapterList.clear();
}

void TTarn::DeleteAllRows() {
    ui_->NetTree->clear();
}

namespace {
QTreeWidgetItem* MakeItem(const StationRow& row) {
    QStringList texts;
    for (const auto& text : row)
        texts << QString::fromStdString(text);
    return new QTreeWidgetItem(texts);
}
} // namespace

void TTarn::AddRow(const StationRow& row) {
    ui_->NetTree->addTopLevelItem(MakeItem(row));
}

void TTarn::DeleteRow(int position) {
    delete ui_->NetTree->takeTopLevelItem(position);
}

void TTarn::InsertRow(int position, const StationRow& row) {
    ui_->NetTree->insertTopLevelItem(position, MakeItem(row));
}
