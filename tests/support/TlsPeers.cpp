#include "TlsPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace kaldrani::testing {

namespace {

void openssl(std::vector<std::string> args)
{
    args.insert(args.begin(), "/usr/bin/openssl");
    const auto r = runProcess(args);
    if (r.exitCode != 0)
        throw std::runtime_error("openssl " + args[1] + ": " + r.err);
}

const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

TestCertificates::TestCertificates()
{
    openssl(concat(concat({"req", "-x509"}, kNewKey), {"-keyout", file("ca.key"), "-out", file("ca.pem"), "-days", "2",
                                                       "-subj", "/CN=Kaldrani test authority"}));
    leaf("good", "a.example", "ca", "2");
    leaf("expired", "a.example", "ca", "-1");
    leaf("other", "other.example", "ca", "2");
    openssl(concat(concat({"req", "-x509"}, kNewKey), {"-keyout", file("self.key"), "-out", file("self.pem"), "-days",
                                                       "2", "-subj", "/CN=a.example", "-addext",
                                                       "subjectAltName=DNS:a.example"}));
    openssl(concat(concat({"req", "-x509"}, kNewKey), {"-keyout", file("stranger.key"), "-out", file("stranger.pem"),
                                                       "-days", "2", "-subj", "/CN=Nobody"}));
    leaf("unknown", "a.example", "stranger", "2");
    // GeneralNames holding one dNSName [2] of 20 bytes: "a.example", NUL, ".evil.test".
    leaf("nul", "nul.example", "ca", "2", "DER:30168214612e6578616d706c65002e6576696c2e74657374");
    leaf("dnsip", "127.0.0.1", "ca", "2", "DNS:127.0.0.1");
}

void TestCertificates::leaf(const std::string& name, const std::string& host, const std::string& signer,
                            const std::string& days, const std::string& alternativeNames)
{
    openssl(concat(concat({"req"}, kNewKey),
                   {"-keyout", file(name + ".key"), "-out", file(name + ".csr"), "-subj", "/CN=" + host}));
    std::ofstream(file(name + ".ext")) << "subjectAltName="
                                       << (alternativeNames.empty() ? "DNS:" + host : alternativeNames) << "\n";
    openssl({"x509", "-req", "-in", file(name + ".csr"), "-CA", file(signer + ".pem"), "-CAkey", file(signer + ".key"),
             "-CAcreateserial", "-out", file(name + ".pem"), "-days", days, "-extfile", file(name + ".ext")});
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

OpensslServer::OpensslServer(const TestCertificates& certs, const std::string& name, const std::vector<std::string>& extra)
    : m_port(freeLoopbackPort())
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

NginxServer::NginxServer(const TestCertificates& certs)
    : m_tlsPort(freeLoopbackPort()), m_plainPort(freeLoopbackPort()), m_filesPort(freeLoopbackPort())
{
    const std::filesystem::path dir = certs.folder();
    const auto in = [&dir](const char* name) { return (dir / name).string(); };
    std::ofstream(dir / "nginx.conf") << "worker_processes 1;\n"
                                      << "pid " << in("nginx.pid") << ";\n"
                                      << "error_log stderr;\n"
                                      << "events { worker_connections 64; }\n"
                                      << "http {\n"
                                      << "  access_log off;\n"
                                      << "  client_body_temp_path " << in("body") << ";\n"
                                      << "  proxy_temp_path " << in("proxy") << ";\n"
                                      << "  fastcgi_temp_path " << in("fastcgi") << ";\n"
                                      << "  uwsgi_temp_path " << in("uwsgi") << ";\n"
                                      << "  scgi_temp_path " << in("scgi") << ";\n"
                                      << "  default_type text/html;\n"
                                      << "  server {\n"
                                      << "    listen 127.0.0.1:" << m_plainPort << ";\n"
                                      << "    return 301 https://a.example:" << m_tlsPort << "$request_uri;\n"
                                      << "  }\n"
                                      << "  server {\n"
                                      << "    listen 127.0.0.1:" << m_filesPort << ";\n"
                                      << "    root " << dir.string() << ";\n"
                                      << "    location = /requests { return 200 \"$connection_requests\"; }\n"
                                      << "  }\n"
                                      << "  server {\n"
                                      << "    listen 127.0.0.1:" << m_tlsPort << " ssl;\n"
                                      << "    ssl_certificate " << certs.file("good.pem") << ";\n"
                                      << "    ssl_certificate_key " << certs.file("good.key") << ";\n"
                                      << "    root " << dir.string() << ";\n"
                                      << "    location = /requests { return 200 \"$connection_requests\"; }\n"
                                      << "  }\n"
                                      << "}\n";
    m_process = std::make_unique<RunningProcess>(std::vector<std::string>{
        "/usr/sbin/nginx", "-p", dir.string(), "-c", in("nginx.conf"), "-g", "daemon off; master_process off;"});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(accepting(m_tlsPort) && accepting(m_plainPort) && accepting(m_filesPort))) {
        if (std::chrono::steady_clock::now() > until)
            throw std::runtime_error("nginx did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace kaldrani::testing
