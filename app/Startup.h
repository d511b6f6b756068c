#pragma once

class QApplication;

// Creates the seven forms once each, in their order, shows the main window and
// runs the message loop until "Exit" or the window closes. Returns the exit code.
int RunKestrel(QApplication& application);
