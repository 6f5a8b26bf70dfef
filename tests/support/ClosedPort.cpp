#include "ClosedPort.h"

#include "core/sys/LoopbackListener.h"

namespace kaldrani::testing {

int closedLoopbackPort()
{
    // A port the system just handed out and that is closed again is free and refuses.
    return sys::LoopbackListener().port();
}

} // namespace kaldrani::testing
