#include "core/fetch/SafetyTimeout.h"

#include <atomic>

namespace kaldrani::fetch {

namespace {
std::atomic<int> g_safetyReadTimeoutMs{10000};
}

int safetyReadTimeoutMs()
{
    return g_safetyReadTimeoutMs.load();
}

void setSafetyReadTimeoutMs(int ms)
{
    g_safetyReadTimeoutMs.store(ms < 1 ? 1 : ms);
}

} // namespace kaldrani::fetch
