#include "gui/StartupProbe.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kaldrani::gui {

bool startupProbed()
{
    return std::getenv("KALDRANI_STARTUP_PROBE") != nullptr;
}

void reportShownIfProbed()
{
    if (!startupProbed())
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("shown %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
}

void quitIfProbed()
{
    if (startupProbed())
        QCoreApplication::quit();
}

} // namespace kaldrani::gui
