// The reboot wait form as the user sees it, offscreen: its look, one wait per
// showing, its place over the information dialog and the result it ends with.
#include "platform/RebootWait.h"
#include "station/Protocol.h"
#include "station/RebootWait.h"
#include "station/StationTable.h"
#include "tests/station/StationRig.h"
#include "tests/support/FormTestMain.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/PtyPeer.h"
#include "ui/Boot.h"
#include "ui/Infobox.h"
#include "ui/QtPlatform.h"
#include "ui_Boot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <cstdlib>

using namespace kestrel;
using kestrel::test::PtyPeer;
using kestrel::test::SerialRig;

class RebootFormTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        information_ = new Tinformation;
        information_->setGeometry(100, 80, 480, 524);
        reboot_ = new TReBoot;
    }
    void cleanup() {
        delete reboot_;
        delete information_;
    }
    void caption_frame_size_label_and_idle_timer();
    void each_showing_runs_one_wait_centred_over_the_information_dialog();
    void answering_station_ends_the_wait_with_ok();
    void without_the_form_the_wait_polls_directly();

  private:
    Tinformation* information_ = nullptr;
    TReBoot* reboot_ = nullptr;
};

void RebootFormTest::caption_frame_size_label_and_idle_timer() {
    QCOMPARE(reboot_->windowTitle(), QString("ReBoot ...."));
    const Qt::WindowFlags flags = reboot_->windowFlags();
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
    QCOMPARE(reboot_->size(), QSize(273, 31));
    QCOMPARE(reboot_->minimumSize(), reboot_->maximumSize());
    Ui::TReBoot* form = reboot_->Form();
    QCOMPARE(form->Label1->text(), QString("Waiting ReBoot ..."));
    QCOMPARE(form->Label1->alignment(), Qt::AlignCenter);
    QVERIFY(form->Label1->font().bold());
    QCOMPARE(form->Label1->font().pixelSize(), 17);
    QCOMPARE(form->Label1->parentWidget(), form->Panel1);
    QCOMPARE(reboot_->Timer1().interval(), 10);
    QVERIFY(!reboot_->Timer1().isActive());
    QVERIFY(bool(RebootWaitShow()));
}

void RebootFormTest::each_showing_runs_one_wait_centred_over_the_information_dialog() {
    PtyPeer peer;
    QVERIFY(peer.Ok());
    peer.SetAsComPort(2);
    SerialRig rig;
    QVERIFY(rig.Connected());
    peer.Answer("never sent", "");

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!WaitForReboot(3));
    QVERIFY(clock.elapsed() >= 3 * 200 - 10);
    QCOMPARE(peer.Received(), std::string("ATz\r\n"));
    QCOMPARE(RebootPollCount, 0);
    QVERIFY(!reboot_->isVisible());
    QVERIFY(!reboot_->Timer1().isActive());
    const QRect own = reboot_->frameGeometry();
    const QRect parent = information_->frameGeometry();
    QCOMPARE(own.x(), parent.x() + (parent.width() - own.width()) / 2);
    QCOMPARE(own.y(), parent.y() + (parent.height() - own.height()) / 2);

    // Shown again, it waits again - and still once.
    QVERIFY(!WaitForReboot(0));
    QCOMPARE(peer.Received(), std::string("ATz\r\nATz\r\n"));
}

void RebootFormTest::answering_station_ends_the_wait_with_ok() {
    PtyPeer peer;
    QVERIFY(peer.Ok());
    peer.SetAsComPort(2);
    SerialRig rig;
    QVERIFY(rig.Connected());
    peer.Answer("ATz\r\n", "ATz\r\n");
    // Escape and a close request while the wait is shown end nothing.
    QTimer::singleShot(5, [this] {
        QTest::keyClick(reboot_, Qt::Key_Escape);
        reboot_->close();
    });
    QVERIFY(WaitForReboot(3));
    QCOMPARE(RebootPollCount, 3);
    QCOMPARE(peer.Received(), std::string("ATz\r\n"));
}

void RebootFormTest::without_the_form_the_wait_polls_directly() {
    delete reboot_;
    reboot_ = nullptr;
    QVERIFY(!RebootWaitShow());
    PtyPeer peer;
    QVERIFY(peer.Ok());
    peer.SetAsComPort(2);
    SerialRig rig;
    QVERIFY(rig.Connected());
    peer.Answer("ATz\r\n", "\r\nREADY\r\n");
    QVERIFY(WaitForReboot(3));
    QCOMPARE(peer.Received(), std::string("ATz\r\n"));
}

int main(int argc, char** argv) {
    return kestrel::test::RunFormTest<RebootFormTest>(argc, argv, InstallQtPlatform);
}

#include "RebootFormTest.moc"
