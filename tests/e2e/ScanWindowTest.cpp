// The main window while its first scan blocks the thread, started the way the
// program starts, against one station on one adapter: the search animation
// keeps moving, a click on "Browse ..." starts no second scan, and no timer
// handler runs inside the scan's exchanges.
#include "app/Startup.h"
#include "tests/e2e/SimStations.h"
#include "tests/support/FormTestMain.h"
#include "tests/support/NetNamespace.h"
#include "ui/Main.h"
#include "ui_Main.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

bool ScanRunning() {
    return Tarn && Tarn->Form()->FindHost->isVisible();
}

// What the user could see and do while the scan waits. It runs as queued calls
// posted from another thread: the wait hook delivers those, unlike timer ticks
// and input, so they run inside the scan's waits just as a repaint does.
struct DuringScan {
    QImage firstGrab;
    QImage laterGrab;
    std::chrono::steady_clock::time_point firstGrabAt;
    bool clicked = false;
    bool sawScan = false;
    bool scanEnded = false;

    void Look() {
        if (!ScanRunning()) {
            scanEnded = scanEnded || (sawScan && Tarn && Tarn->Form()->Scan->isEnabled());
            return;
        }
        sawScan = true;
        Ui::TTarn* form = Tarn->Form();
        const auto now = std::chrono::steady_clock::now();
        if (firstGrab.isNull()) {
            firstGrab = form->FindHost->grab().toImage();
            firstGrabAt = now;
        } else if (laterGrab.isNull() && now - firstGrabAt > 500ms) {
            laterGrab = form->FindHost->grab().toImage();
        }
        if (!clicked) {
            clicked = true;
            QTest::mouseClick(form->Scan, Qt::LeftButton);
        }
    }
};

} // namespace

class ScanWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void window_stays_alive_and_single_during_a_blocked_scan();
};

void ScanWindowTest::window_stays_alive_and_single_during_a_blocked_scan() {
    if (!kestrel::test::InPrivateNetNamespace()) QSKIP("needs a private network namespace (root)");
    kestrel::test::SimStations sim({.adapters = {"kw0"}, .stations = {"name=ap,link=kw0s"}});
    std::string why;
    QVERIFY2(sim.Ready(&why), why.c_str());
    kestrel::test::SetAbsentComPorts();

    DuringScan seen;
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop) {
            QMetaObject::invokeMethod(
                qApp, [&] { seen.Look(); }, Qt::QueuedConnection);
            std::this_thread::sleep_for(100ms);
        }
    });

    // Timer handlers that record whether they ever ran inside the scan.
    int ticks = 0;
    int ticksInsideScan = 0;
    QTimer ticker;
    ticker.setInterval(20);
    connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (ScanRunning()) ++ticksInsideScan;
    });
    ticker.start();

    // Ends the run a while after the scan, so that a second scan would have begun.
    QTimer finisher;
    finisher.setInterval(1500);
    connect(&finisher, &QTimer::timeout, [&] {
        if (seen.scanEnded && Tarn) Tarn->close();
    });
    finisher.start();
    QTimer watchdog;
    watchdog.setInterval(60000);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start();

    const int exitCode = RunKestrel(*qApp);
    stop = true;
    poster.join();

    QCOMPARE(exitCode, 0);
    QVERIFY(seen.sawScan);
    QVERIFY(seen.clicked);
    QVERIFY(!seen.firstGrab.isNull());
    QVERIFY(!seen.laterGrab.isNull());
    QVERIFY2(seen.firstGrab != seen.laterGrab, "the search animation stood still");
    QVERIFY(ticks > 0);
    QCOMPARE(ticksInsideScan, 0);
    // One scan: one pair of discovery rounds, and the station listed once.
    QCOMPARE(sim.CountLines({" ap kw0s rx identity-request "}), 2);
}

int main(int argc, char** argv) {
    return kestrel::test::RunFormTest<ScanWindowTest>(argc, argv);
}

#include "ScanWindowTest.moc"
