#pragma once

#include <string>

namespace kaldrani::net {

// What a server's certificate says, once it verified for the name asked.
struct CertificateInfo {
    std::string expires; // the notAfter day, "YYYY-MM-DD" (UTC)
    std::string issuer;  // the issuer's organisation, else its common name
};

// Connects to host:port where the connect-to rules send it and completes a TLS handshake
// for host, the certificate verified as every connection verifies it (Tls.h). Each wait
// bounded by timeoutMs. Raises NetError: kind Tls with the reason when the certificate
// does not verify ("TLS: certificate has expired", ...), or as a connect or read would.
CertificateInfo probeCertificate(const std::string& host, int port, int timeoutMs);

} // namespace kaldrani::net
