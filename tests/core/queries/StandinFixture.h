#pragma once

#include "OverviewPages.h"
#include "StandinServer.h"
#include "core/net/ConnectTo.h"

#include <gtest/gtest.h>

#include <string>

namespace kaldrani::testing {

// A stand-in server on a free loopback port, with every connection of the process sent
// to it while the test runs.
class StandinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(server.port())}});
    }
    void TearDown() override { net::clearConnectToRules(); }

    standin::StandinServer server;
};

} // namespace kaldrani::testing
