// The start of a benchmark that runs the engine under Qt's event loop, as the window does.
#pragma once

#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "QtPlatformBridge.h"
#include "base/FFLoad.h"

namespace vx::bench {

// Makes the Qt application and bridge, loads the libraries a conversion needs and returns
// what ARun returns; a failure is printed under AProgram and gives 1.
template <class TRun> int RunUnderQt(int argc, char* argv[], const char* AProgram, TRun ARun) {
    QCoreApplication app(argc, argv);
    // The media libraries read and write numbers in the C locale; Qt has just applied the user's.
    std::setlocale(LC_NUMERIC, "C");
    TQtPlatformBridge bridge;
    try {
        if (!FFLoader().Load(EncoderLibraries))
            throw std::runtime_error(FFLoader().LastErrMsg());
        return ARun();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", AProgram, e.what());
        return 1;
    }
}

} // namespace vx::bench
