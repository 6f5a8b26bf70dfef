#include "core/net/ConnectTo.h"
#include "core/net/TcpConnection.h"
#include "core/net/Tls.h"
#include "core/net/TlsSessions.h"

#include "TlsPeers.h"

#include <gtest/gtest.h>

using namespace kaldrani::net;

namespace {

// One GET over a fresh connection; whether its handshake resumed a session.
bool fetchResumed(const std::string& host, int port)
{
    TcpConnection connection;
    connection.open(host, port, 5000);
    connection.startTls(host, 5000);
    const bool resumed = connection.tlsResumed();
    connection.sendAll("GET /ca.pem HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n", 5000);
    // Reading the answer also reads the tickets a TLS 1.3 server sends after the handshake.
    connection.readToEnd(nullptr, 1 << 20, 5000, "too large");
    return resumed;
}

} // namespace

TEST(TlsSessions, ALaterConnectionToTheSameServerResumes)
{
    kaldrani::testing::TestCertificates certs;
    kaldrani::testing::OpensslServer server(certs, "good");
    addTrustAnchorFile(certs.file("ca.pem"));
    clearSessionStore();
    addConnectToRules({parseConnectTo("a.example::127.0.0.1:")});
    EXPECT_FALSE(fetchResumed("a.example", server.port()));
    EXPECT_TRUE(fetchResumed("a.example", server.port()));
    EXPECT_TRUE(fetchResumed("a.example", server.port()));
    clearSessionStore();
    EXPECT_FALSE(fetchResumed("a.example", server.port()));
    clearConnectToRules();
}
