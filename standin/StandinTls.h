#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

// TLS for the stand-in services, so the program's encrypted paths can be shown and tested
// offline with its certificate checks left on.
namespace kaldrani::standin {

// A certificate authority made when the stand-in starts. Its keys live only in memory, so
// no key ever sits in a file; each name a client asks for (SNI) gets a certificate for it
// signed here on first use, so connections pointed at the stand-in pass the program's
// name check for the real hosts once the program trusts certificatePem(). Certificates
// last 90 days; one for a name starting with "expiring" lasts 10, as a site's that is
// about to run out.
class StandinAuthority {
public:
    // Raises std::runtime_error when the library cannot make the keys.
    StandinAuthority();
    ~StandinAuthority();
    StandinAuthority(const StandinAuthority&) = delete;
    StandinAuthority& operator=(const StandinAuthority&) = delete;

    // The authority's certificate, PEM.
    std::string certificatePem() const;
    // Writes certificatePem() to path, replacing the file. Raises std::runtime_error.
    void writeCertificate(const std::filesystem::path& path) const;

    // The server context every TLS listener of the stand-in shares (TLS 1.2 at least).
    SSL_CTX* serverContext() const { return m_context; }

private:
    static int chooseCertificate(SSL* ssl, void* self);
    // The certificate for name, made on first use; the caller owns one reference to it.
    X509* certificateFor(const std::string& name);

    EVP_PKEY* m_key = nullptr;    // the authority's
    EVP_PKEY* m_leafKey = nullptr; // shared by every certificate it signs
    X509* m_certificate = nullptr;
    SSL_CTX* m_context = nullptr;
    std::mutex m_mutex;
    std::map<std::string, X509*> m_leaves;
};

// One accepted connection's TLS server end. The socket is made non-blocking; every wait is
// a poll on it and, when given, wakeFd (the service stopping), bounded by idleMs.
class TlsChannel {
public:
    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Runs the handshake. False when it fails, a wait runs out or wakeFd fires.
    bool accept(SSL_CTX* context, int fd, int wakeFd, int idleMs);
    // Reads what is there, waiting for it. Returns the bytes read; 0 when the peer closed,
    // a wait ran out, wakeFd fired or the session failed.
    size_t read(char* into, size_t size);
    // Writes all bytes. False when the peer is gone.
    bool write(std::string_view bytes);
    // Says goodbye (close_notify) without waiting for the peer's.
    void shutdown();

private:
    // Waits for what the last call asked for; false on time-out, stop or error.
    bool wait(int sslError);

    SSL* m_ssl = nullptr;
    int m_fd = -1;
    int m_wakeFd = -1;
    int m_idleMs = 0;
};

} // namespace kaldrani::standin
