#include "FetchFixture.h"
#include "ProcessRunner.h"
#include "TempFolder.h"
#include "core/net/ConnectTo.h"
#include "core/net/HttpClient.h"
#include "core/net/Tls.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

using namespace kaldrani;
using kaldrani::testing::RunningProcess;
using kaldrani::testing::TempFolder;
using kaldrani::testing::runProcess;

namespace {

// A made-up authority and the server certificates it (or nobody) signed, made fresh for
// the run: no key ever lives in the tree.
class Certificates {
public:
    Certificates()
    {
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                 file("ca.key"), "-out", file("ca.pem"), "-days", "2", "-subj", "/CN=Kaldrani test authority"});
        leaf("good", "a.example", "ca", "2");
        leaf("expired", "a.example", "ca", "-1");
        leaf("other", "other.example", "ca", "2");
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                 file("self.key"), "-out", file("self.pem"), "-days", "2", "-subj", "/CN=a.example", "-addext",
                 "subjectAltName=DNS:a.example"});
        // Signed by an authority nobody trusts.
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                 file("stranger.key"), "-out", file("stranger.pem"), "-days", "2", "-subj", "/CN=Nobody"});
        leaf("unknown", "a.example", "stranger", "2");
    }

    std::string file(const std::string& name) const { return (m_folder.path() / name).string(); }
    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    static void openssl(std::vector<std::string> args)
    {
        args.insert(args.begin(), "/usr/bin/openssl");
        const auto r = runProcess(args);
        if (r.exitCode != 0)
            throw std::runtime_error("openssl " + args[1] + ": " + r.err);
    }

    void leaf(const std::string& name, const std::string& host, const std::string& signer, const std::string& days)
    {
        openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", file(name + ".key"),
                 "-out", file(name + ".csr"), "-subj", "/CN=" + host});
        std::ofstream(file(name + ".ext")) << "subjectAltName=DNS:" << host << "\n";
        openssl({"x509", "-req", "-in", file(name + ".csr"), "-CA", file(signer + ".pem"), "-CAkey",
                 file(signer + ".key"), "-CAcreateserial", "-out", file(name + ".pem"), "-days", days, "-extfile",
                 file(name + ".ext")});
    }

    TempFolder m_folder;
};

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// openssl s_server serving the folder's files over TLS with one certificate, stopped when
// it goes out of scope.
class TlsServer {
public:
    TlsServer(const Certificates& certs, const std::string& name, const std::vector<std::string>& extra = {})
        : m_port(freePort())
    {
        std::string command = "cd '" + certs.folder().string() + "' && exec /usr/bin/openssl s_server -WWW -accept 127.0.0.1:"
                              + std::to_string(m_port) + " -cert " + name + ".pem -key " + name + ".key";
        for (const std::string& e : extra)
            command += " " + e;
        m_process = std::make_unique<RunningProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
        for (std::string line; (line = m_process->readLine()) != "ACCEPT";)
            if (line.empty())
                throw std::runtime_error("openssl s_server did not start");
    }
    int port() const { return m_port; }

private:
    int m_port;
    std::unique_ptr<RunningProcess> m_process;
};

class TlsPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certs = std::make_unique<Certificates>();
        net::addTrustAnchorFile(s_certs->file("ca.pem"));
        // Bytes a text decoder would change: they must arrive as they were sent.
        std::ofstream(s_certs->file("page.html"), std::ios::binary) << std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11);
    }
    static void TearDownTestSuite() { s_certs.reset(); }

    void TearDown() override { net::clearConnectToRules(); }

    // Fetches from the server as https://a.example, the socket sent to the loopback port.
    static FetchOutcome fetchFrom(const TlsServer& server, const std::string& path)
    {
        net::clearConnectToRules();
        net::addConnectToRules({{"a.example", "", "127.0.0.1", std::to_string(server.port())}});
        FetchSettings settings;
        settings.readTimeout = 5000;
        return fetchStream("https://a.example" + path, settings);
    }

    static std::unique_ptr<Certificates> s_certs;
};

std::unique_ptr<Certificates> TlsPeers::s_certs;

TEST_F(TlsPeers, ATrustedServerGivesThePageByteForByteUnderTheAddresssName)
{
    const TlsServer server(*s_certs, "good");
    const auto got = fetchFrom(server, "/page.html");
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.body, std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11));
}

TEST_F(TlsPeers, EachUntrustedServerFailsWithItsReason)
{
    struct Case {
        const char* name;
        const char* certificate;
        std::vector<std::string> extra;
        std::string error;
    };
    const Case cases[] = {
        {"expired", "expired", {}, "TLS: certificate has expired"},
        {"for another name", "other", {}, "TLS: certificate is for other.example, not a.example"},
        {"self-signed", "self", {}, "TLS: self-signed certificate"},
        {"from an unknown authority", "unknown", {}, "TLS: unable to get local issuer certificate"},
        {"TLS 1.0 only", "good", {"-tls1", "-cipher", "DEFAULT@SECLEVEL=0"}, "TLS: the server offers no protocol version this program accepts (TLS 1.2 or later)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TlsServer server(*s_certs, c.certificate, c.extra);
        EXPECT_EQ(fetchFrom(server, "/page.html").error, c.error);
    }
}

// Whether something accepts on the loopback port yet.
bool accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

TEST_F(TlsPeers, NginxRedirectsFromPlainToTlsAndTheFetchFollows)
{
    const int tlsPort = freePort();
    const int plainPort = freePort();
    const std::filesystem::path dir = s_certs->folder();
    std::ofstream(dir / "nginx.conf") << "worker_processes 1;\n"
                                         "pid " << (dir / "nginx.pid").string() << ";\n"
                                         "error_log stderr;\n"
                                         "events { worker_connections 16; }\n"
                                         "http {\n"
                                         "  access_log off;\n"
                                         "  client_body_temp_path " << (dir / "body").string() << ";\n"
                                         "  proxy_temp_path " << (dir / "proxy").string() << ";\n"
                                         "  fastcgi_temp_path " << (dir / "fastcgi").string() << ";\n"
                                         "  uwsgi_temp_path " << (dir / "uwsgi").string() << ";\n"
                                         "  scgi_temp_path " << (dir / "scgi").string() << ";\n"
                                         "  default_type text/html;\n"
                                         "  server {\n"
                                         "    listen 127.0.0.1:" << plainPort << ";\n"
                                         "    return 301 https://a.example:" << tlsPort << "$request_uri;\n"
                                         "  }\n"
                                         "  server {\n"
                                         "    listen 127.0.0.1:" << tlsPort << " ssl;\n"
                                         "    ssl_certificate " << s_certs->file("good.pem") << ";\n"
                                         "    ssl_certificate_key " << s_certs->file("good.key") << ";\n"
                                         "    root " << dir.string() << ";\n"
                                         "  }\n"
                                         "}\n";
    RunningProcess nginx({"/usr/sbin/nginx", "-p", dir.string(), "-c", (dir / "nginx.conf").string(), "-g",
                          "daemon off; master_process off;"});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(accepting(tlsPort) && accepting(plainPort)) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    net::addConnectToRules({{"a.example", "", "127.0.0.1", ""}});
    FetchSettings settings;
    settings.follow = true;
    settings.readTimeout = 5000;
    const auto got = fetchStream("http://a.example:" + std::to_string(plainPort) + "/page.html", settings);
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.body, std::string("\xb0\xd9\xb6\xc8 \r\n\0end", 11));
}

} // namespace
