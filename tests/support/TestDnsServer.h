#pragma once

#include "core/sys/UniqueFd.h"

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A name server on loopback UDP for tests: answers A and AAAA questions from a table,
// "no such name" for names it does not hold, and nothing at all for the silent names (a
// lookup that hangs). Runs on a thread of its own until it goes out of scope.
namespace kaldrani::testing {

class TestDnsServer {
public:
    // names: each name's addresses as text ("127.0.0.1", "::1"), in the order answered.
    TestDnsServer(std::map<std::string, std::vector<std::string>> names, std::set<std::string> silent = {});
    ~TestDnsServer();
    TestDnsServer(const TestDnsServer&) = delete;
    TestDnsServer& operator=(const TestDnsServer&) = delete;

    // "127.0.0.1:PORT", as the resolver's server list takes it.
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // How many questions arrived.
    int questions() const { return m_questions; }

private:
    void serve();
    std::string answer(const std::string& query);

    std::map<std::string, std::vector<std::string>> m_names;
    std::set<std::string> m_silent;
    sys::UniqueFd m_socket;
    sys::UniqueFd m_stopRead;
    sys::UniqueFd m_stopWrite;
    int m_port = 0;
    std::atomic<int> m_questions{0};
    std::thread m_thread;
};

} // namespace kaldrani::testing
