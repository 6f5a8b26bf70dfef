#include "core/queries/SafetyTimeout.h"

#include <atomic>

namespace kaldrani::queries {

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

} // namespace kaldrani::queries
