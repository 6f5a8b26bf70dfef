#pragma once

#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace kaldrani::net {

// The one client context every TLS connection shares: the system's trust store plus any
// trust anchor added here, the peer's certificate always verified, TLS 1.2 at least.
SSL_CTX* tlsClientContext();

// Adds the certificates of a PEM file as trust anchors for every later connection (a
// company proxy's, or the tests' own authority). Raises NetError of kind Tls naming the
// file when it holds no certificate that can be read. KALDRANI_CA_FILE, when set, is
// added the same way when the context is first made.
void addTrustAnchorFile(const std::string& pemFile);

// Why a handshake failed, for a person: "TLS: certificate has expired", "TLS: certificate
// is for other.example, not a.example", ... Takes the connection after a failed
// SSL_connect (its app data, when set, a std::string the verification filled with the
// certificate's names), the name asked for and the SSL error code.
std::string tlsFailureText(SSL* ssl, const std::string& host, int sslError);

// Gives ssl the socket fd (left open when ssl goes) through a BIO that writes with
// MSG_NOSIGNAL, so a peer gone mid-write fails the write instead of raising SIGPIPE.
// Returns false when the library cannot make it.
bool setSocketWithoutSignal(SSL* ssl, int fd);

} // namespace kaldrani::net
