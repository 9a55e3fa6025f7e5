#pragma once

// The program's windowed side, linked only into a build with the operator window.
// Promises: MakeWindowApplication makes the QApplication the window needs, with the window's
// title; RunWindow shows the operator window, starts the server in it and returns the exit
// status once the window is closed (or the process gets SIGTERM or SIGINT).

#include "server/server_options.h"

#include <QCoreApplication>

#include <memory>

namespace taurelin {

std::unique_ptr<QCoreApplication> MakeWindowApplication(int& argc, char** argv);
int RunWindow(const ServerOptions& options);

}  // namespace taurelin
