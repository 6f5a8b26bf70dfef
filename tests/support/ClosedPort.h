#pragma once

// A loopback port with nothing listening: connections to it are refused at once.
namespace kaldrani::testing {

int closedLoopbackPort();

} // namespace kaldrani::testing
