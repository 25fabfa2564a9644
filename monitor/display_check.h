// Starting the window's application where there may be no display: Qt's own
// answer is an abort with plugin advice; this says what is missing instead.
#pragma once

#include <QApplication>
#include <memory>

namespace kelvo_monitor {

// The QApplication for `argc`/`argv`. When Qt can reach no display it does
// not return: it says so on standard error, with how to run under Xvfb, and
// ends the process with status 1. Qt's messages from the start-up are passed
// on afterwards when it succeeds.
[[nodiscard]] std::unique_ptr<QApplication> StartApplicationOrExplain(int& argc, char** argv);

}  // namespace kelvo_monitor
