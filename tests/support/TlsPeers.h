#pragma once

#include "ProcessRunner.h"
#include "TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Real TLS peers for tests and benchmarks: a made-up authority with server certificates
// made fresh by the openssl program (no key ever lives in the tree), openssl s_server and
// nginx serving a folder with them. Each server stops when it goes out of scope.
namespace kaldrani::testing {

class TestCertificates {
public:
    // Makes "ca" (the trusted authority) and, for a.example unless said: "good" (signed by
    // ca), "expired", "other" (other.example), "self" (self-signed) and "unknown" (signed by
    // an authority nobody trusts), "nul" (for the DNS name "a.example\0.evil.test") and "dnsip" (for the
    // DNS name "127.0.0.1", which is no address). Raises std::runtime_error when openssl fails.
    TestCertificates();

    // The path of NAME in the folder, e.g. file("ca.pem"), file("good.key").
    std::string file(const std::string& name) const { return (m_folder.path() / name).string(); }
    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    // alternativeNames: the subjectAltName value, "DNS:host" when empty.
    void leaf(const std::string& name, const std::string& host, const std::string& signer, const std::string& days,
              const std::string& alternativeNames = {});
    TempFolder m_folder;
};

// A loopback port nobody listens on at the moment of asking.
int freeLoopbackPort();

// openssl s_server serving the certificates' folder (-WWW) over TLS with certificate NAME.
class OpensslServer {
public:
    OpensslServer(const TestCertificates& certs, const std::string& name, const std::vector<std::string>& extra = {});
    int port() const { return m_port; }

private:
    int m_port;
    std::unique_ptr<RunningProcess> m_process;
};

// nginx serving the certificates' folder over TLS with "good" on tlsPort(), and answering on
// plainPort() with a redirect to https://a.example:tlsPort() and the same target; filesPort()
// serves the folder over plain HTTP. On both, /requests answers how many requests its
// connection has carried, this one included.
class NginxServer {
public:
    explicit NginxServer(const TestCertificates& certs);
    int tlsPort() const { return m_tlsPort; }
    int plainPort() const { return m_plainPort; }
    int filesPort() const { return m_filesPort; }

private:
    int m_tlsPort;
    int m_plainPort;
    int m_filesPort;
    std::unique_ptr<RunningProcess> m_process;
};

} // namespace kaldrani::testing
