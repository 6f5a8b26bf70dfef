#include "core/net/CertificateProbe.h"

#include "core/net/NetError.h"
#include "core/net/TcpConnection.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kaldrani::net {

namespace {

std::string nameEntry(X509_NAME* name, int nid)
{
    char text[256] = {};
    const int n = X509_NAME_get_text_by_NID(name, nid, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

CertificateInfo probeCertificate(const std::string& host, int port, int timeoutMs)
{
    TcpConnection connection;
    connection.setDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(3 * timeoutMs));
    connection.open(host, port, timeoutMs);
    connection.startTls(host, timeoutMs);
    X509* certificate = SSL_get0_peer_certificate(connection.tlsSession());
    if (certificate == nullptr)
        throw NetError(NetError::Kind::Tls, "TLS: the server sent no certificate");
    std::tm tm{};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &tm) != 1)
        throw NetError(NetError::Kind::Tls, "TLS: the certificate's expiry cannot be read");
    char day[48];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    CertificateInfo info;
    info.expires = day;
    X509_NAME* issuer = X509_get_issuer_name(certificate);
    info.issuer = nameEntry(issuer, NID_organizationName);
    if (info.issuer.empty())
        info.issuer = nameEntry(issuer, NID_commonName);
    return info;
}

} // namespace kaldrani::net
