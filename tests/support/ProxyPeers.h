#pragma once

#include "ProcessRunner.h"
#include "TempFolder.h"

#include <memory>
#include <string>

// Real proxies for tests and benchmarks, each on a free loopback port with its own
// settings in a folder of its own, stopped when it goes out of scope.
namespace kaldrani::testing {

// tinyproxy: HTTP CONNECT and plain HTTP; with a user, Basic credentials are required.
class Tinyproxy {
public:
    explicit Tinyproxy(const std::string& user = {}, const std::string& password = {});
    int port() const { return m_port; }
    // "http://[USER:PASSWORD@]127.0.0.1:PORT".
    std::string url(const std::string& user = {}, const std::string& password = {}) const;

private:
    TempFolder m_folder;
    int m_port;
    std::unique_ptr<RunningProcess> m_process;
};

// microsocks: SOCKS5, the names it is given resolved by itself; with a user, RFC 1929
// credentials are required.
class Microsocks {
public:
    explicit Microsocks(const std::string& user = {}, const std::string& password = {});
    int port() const { return m_port; }

private:
    int m_port;
    std::unique_ptr<RunningProcess> m_process;
};

// Waits up to 10 s for something to accept on 127.0.0.1:port. Raises std::runtime_error
// naming what when nothing does.
void awaitListening(int port, const std::string& what);

} // namespace kaldrani::testing
