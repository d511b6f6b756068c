#include "app/Startup.h"

#include "platform/MessageBox.h"
#include "ui/Boot.h"
#include "ui/Firmware.h"
#include "ui/Infobox.h"
#include "ui/Main.h"
#include "ui/Passwd.h"
#include "ui/QtPlatform.h"
#include "ui/Rs232.h"
#include "ui/Web.h"

#include <QApplication>
#include <exception>

namespace {

int RunForms(QApplication& application) {
    // The main form first: its creation prepares the links that the others use.
    TTarn mainWindow;
    Tinformation informationForm;
    TUpgradeForm upgradeForm;
    TRS232Form rs232Form;
    TNetManager netManager;
    TPasswdBox passwdBox;
    TReBoot reBoot;
    mainWindow.show();
    return application.exec();
}

} // namespace

int RunKestrel(QApplication& application) {
    InstallQtPlatform();
    try {
        return RunForms(application);
    } catch (const std::exception& error) {
        kestrel::ShowMessage(error.what(), "Kestrel", kestrel::MessageIcon::Error);
        return 1;
    }
}
