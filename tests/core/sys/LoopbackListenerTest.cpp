#include "core/sys/LoopbackListener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <string>

namespace kaldrani::sys {
namespace {

UniqueFd connectTo(int port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return UniqueFd();
    return fd;
}

TEST(LoopbackListener, AcceptsAConnectionToItsPort)
{
    const LoopbackListener listener;
    ASSERT_GT(listener.port(), 0);
    const UniqueFd client = connectTo(listener.port());
    ASSERT_TRUE(client);
    const UniqueFd served = listener.accept();
    ASSERT_TRUE(served);
    ASSERT_EQ(::write(client.get(), "x", 1), 1);
    char byte = 0;
    EXPECT_TRUE(listener.waitReadable(served.get()));
    EXPECT_EQ(::read(served.get(), &byte, 1), 1);
    EXPECT_EQ(byte, 'x');
}

// The servers stop by waking a thread blocked in accept or in a connection's wait; a wake
// that did not reach it would hang their destructors.
TEST(LoopbackListener, WakeEndsABlockedAcceptAndEveryLaterWait)
{
    const LoopbackListener listener;
    auto accepted = std::async(std::launch::async, [&] { return listener.accept(); });
    listener.wake();
    EXPECT_FALSE(accepted.get());

    const UniqueFd client = connectTo(listener.port());
    ASSERT_TRUE(client);
    EXPECT_FALSE(listener.accept()) << "a woken listener accepts nothing more";
    EXPECT_FALSE(listener.waitReadable(client.get()));
}

TEST(LoopbackListener, RefusesWhatItCannotBind)
{
    const LoopbackListener taken;
    struct Case {
        const char* name;
        LoopbackListener::Options options;
        std::string expected;
    };
    const Case cases[] = {
        {"port in use", {.port = taken.port(), .backlog = 16, .reuseAddress = true},
         "cannot listen on 127.0.0.1:" + std::to_string(taken.port()) + ": Address already in use"},
        {"negative port", {.port = -1}, "cannot listen on 127.0.0.1:-1: no such port"},
        {"port past 65535", {.port = 65536}, "cannot listen on 127.0.0.1:65536: no such port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const LoopbackListener listener(c.options);
            ADD_FAILURE() << "listening on " << listener.port();
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.expected);
        }
    }
}

} // namespace
} // namespace kaldrani::sys
