#pragma once
// The desktop program from start to end: the folders, the start-up settings, every window,
// their texts, and the message loop.
#include <QStringList>
#include <memory>

namespace mailsift::ui {

class Windows;

// Everything before the main window is shown, on an application object that exists. Returns
// none after telling the user why the program cannot start.
std::unique_ptr<Windows> StartUp(const QStringList& arguments);

// The stores named on the command line (every argument but "/extract"), as absolute paths.
QStringList StoreArguments(const QStringList& arguments);

// The whole program; its exit code.
int RunMailsift(int argc, char** argv);

}  // namespace mailsift::ui
