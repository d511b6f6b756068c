// The main window as a user first sees it, started the way the program starts,
// in a network namespace of its own and with no serial port to find.
#include "app/Startup.h"
#include "tests/support/FormTestMain.h"
#include "tests/support/NetNamespace.h"
#include "ui/Main.h"
#include "ui_Main.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

// Timers with a real interval: a zero-interval single shot is a queued call,
// which the wait hook would run inside the window's start-up waits.
constexpr int SoonMs = 5;

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void layout_captions_columns_and_menu();
    void browse_is_enabled_once_the_first_scan_has_ended_and_ctrl_x_exits_with_0();

  private:
    void checkLayout();
};

void MainWindowTest::layout_captions_columns_and_menu() {
    QTimer::singleShot(SoonMs, [this] {
        checkLayout();
        Tarn->close();
    });
    QCOMPARE(RunKestrel(*qApp), 0);
}

void MainWindowTest::checkLayout() {
    Ui::TTarn* form = Tarn->Form();
    QCOMPARE(Tarn->windowTitle(), QString("Configuration and Upgrade Utility"));
    QCOMPARE(Tarn->size(), QSize(716, 550));
    QCOMPARE(form->Logo->text(), QString("Kestrel"));
    QCOMPARE(form->Label2->text(), QString("Configuration and Upgrade Utility V2.0.1"));
    QCOMPARE(form->Scan->text(), QString("Browse ..."));
    QCOMPARE(form->Scan->geometry(), QRect(8, 32, 75, 25));
    QCOMPARE(form->Panel2->height(), 65);

    const QStringList captions = {"Station", "Link", "Type", "CH", "Model", "ESSID", "Domain"};
    const QList<int> widths = {150, 100, 100, 50, 100, 100, 100};
    QCOMPARE(form->NetTree->columnCount(), captions.size());
    for (int c = 0; c < captions.size(); ++c) {
        QCOMPARE(form->NetTree->headerItem()->text(c), captions[c]);
        QCOMPARE(form->NetTree->columnWidth(c), widths[c]);
    }
    QCOMPARE(form->Option->title(), QString("Option"));
    const auto actions = form->Option->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->objectName(), QString("SetRS232"));
    QCOMPARE(actions[0]->text(), QString("RS232"));
    QCOMPARE(actions[0]->shortcut(), QKeySequence("Ctrl+R"));
    QCOMPARE(actions[1]->objectName(), QString("RunExit"));
    QCOMPARE(actions[1]->text(), QString("Exit"));
    QCOMPARE(actions[1]->shortcut(), QKeySequence("Ctrl+X"));
    QVERIFY(!form->FindHost->isVisible());
}

void MainWindowTest::browse_is_enabled_once_the_first_scan_has_ended_and_ctrl_x_exits_with_0() {
    bool disabledBeforeScan = false;
    bool enabledAfterScan = false;
    QTimer::singleShot(SoonMs, [&] {
        Ui::TTarn* form = Tarn->Form();
        // The first scan waits for Timer1: until it has run, "Browse ..." stays off.
        disabledBeforeScan = !form->Scan->isEnabled() && Tarn->Timer1().isActive();
        enabledAfterScan = QTest::qWaitFor([&] { return form->Scan->isEnabled(); }, 5000);
        QVERIFY(!Tarn->Timer1().isActive());
        QVERIFY(!form->FindHost->isVisible());
        QCOMPARE(form->NetTree->topLevelItemCount(), 0);
        Tarn->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Tarn));
        QTest::keyClick(Tarn, Qt::Key_X, Qt::ControlModifier);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(20000);
    const int exitCode = RunKestrel(*qApp);
    QVERIFY(disabledBeforeScan);
    QVERIFY(enabledAfterScan);
    QCOMPARE(exitCode, 0);
}

int main(int argc, char** argv) {
    return kestrel::test::RunFormTest<MainWindowTest>(argc, argv);
}

#include "MainWindowTest.moc"
