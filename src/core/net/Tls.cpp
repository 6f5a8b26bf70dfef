#include "core/net/Tls.h"

#include "core/net/NetError.h"
#include "core/net/TlsSessions.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace kaldrani::net {

namespace {

std::mutex g_mutex;
SSL_CTX* g_context = nullptr; // lives as long as the process: connections may share it on any thread
std::vector<std::string> g_anchorFiles;

void loadAnchor(SSL_CTX* context, const std::string& pemFile)
{
    if (SSL_CTX_load_verify_locations(context, pemFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        throw NetError(NetError::Kind::Tls, "TLS: cannot read trust anchors from \"" + pemFile + "\".");
    }
}

// A name from a certificate as text that cannot hide its end: a NUL or another control
// byte would cut the reason short or hide what follows, so it is shown as \xHH.
std::string shownName(const unsigned char* bytes, int size)
{
    std::string out;
    for (int i = 0; i < size; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x20 || c == 0x7f || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The names a certificate is for: its DNS and IP subject names, else its common name. A DNS
// name written as an address is marked so, for it never matches that address.
std::string namesOf(X509* certificate)
{
    std::string names;
    const auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
    using Names = GENERAL_NAMES;
    std::unique_ptr<Names, void (*)(Names*)> alternatives(
        static_cast<Names*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)),
        [](Names* n) { GENERAL_NAMES_free(n); });
    if (alternatives) {
        for (int i = 0; i < sk_GENERAL_NAME_num(alternatives.get()); ++i) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives.get(), i);
            if (name->type == GEN_DNS) {
                const ASN1_IA5STRING* dns = name->d.dNSName;
                const std::string shown = shownName(ASN1_STRING_get0_data(dns), ASN1_STRING_length(dns));
                in6_addr ignored;
                const bool address = ::inet_pton(AF_INET, shown.c_str(), &ignored) == 1
                                     || ::inet_pton(AF_INET6, shown.c_str(), &ignored) == 1;
                add(address ? shown + " (as a name, not an address)" : shown);
            } else if (name->type == GEN_IPADD) {
                const ASN1_OCTET_STRING* ip = name->d.iPAddress;
                const unsigned char* b = ASN1_STRING_get0_data(ip);
                char text[INET6_ADDRSTRLEN] = {};
                if (ASN1_STRING_length(ip) == 4 && ::inet_ntop(AF_INET, b, text, sizeof text))
                    add(text);
                else if (ASN1_STRING_length(ip) == 16 && ::inet_ntop(AF_INET6, b, text, sizeof text))
                    add(text);
            }
        }
    }
    if (names.empty()) {
        char common[256] = {};
        const int size =
            X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common - 1);
        if (size > 0)
            names = shownName(reinterpret_cast<const unsigned char*>(common), size);
    }
    return names.empty() ? "no name" : names;
}

// Keeps the names of the server's own certificate where the failure text can find them:
// after a failed handshake the connection no longer holds the certificate.
int rememberNames(int preverified, X509_STORE_CTX* store)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* names = ssl ? static_cast<std::string*>(SSL_get_app_data(ssl)) : nullptr;
    if (names && X509_STORE_CTX_get_error_depth(store) == 0)
        if (X509* certificate = X509_STORE_CTX_get_current_cert(store))
            *names = namesOf(certificate);
    return preverified;
}

// The socket BIO's write, with MSG_NOSIGNAL: a peer gone mid-write fails that write instead
// of killing a process that has not set SIGPIPE aside (a library must not rely on that).
int sendWithoutSignal(BIO* bio, const char* data, int length)
{
    int fd = -1;
    BIO_get_fd(bio, &fd);
    errno = 0;
    const ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    BIO_clear_retry_flags(bio);
    if (n <= 0 && BIO_sock_should_retry(static_cast<int>(n)))
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

const BIO_METHOD* socketWithoutSignal()
{
    static BIO_METHOD* const method = [] {
        const BIO_METHOD* socket = BIO_s_socket();
        BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
        if (m == nullptr)
            return m;
        BIO_meth_set_write(m, sendWithoutSignal);
        BIO_meth_set_read(m, BIO_meth_get_read(socket));
        BIO_meth_set_puts(m, BIO_meth_get_puts(socket));
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(socket));
        BIO_meth_set_create(m, BIO_meth_get_create(socket));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(socket));
        return m;
    }();
    return method;
}

} // namespace

SSL_CTX* tlsClientContext()
{
    const std::lock_guard lock(g_mutex);
    if (g_context)
        return g_context;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context)
        throw NetError(NetError::Kind::Tls, "TLS: cannot set up the library.");
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, rememberNames);
    SSL_CTX_set_default_verify_paths(context);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Many servers end without close_notify; the HTTP framing, not TLS, says whether a
    // body is whole.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    enableSessionStore(context);
    try {
        if (const char* file = std::getenv("KALDRANI_CA_FILE"); file && *file)
            loadAnchor(context, file);
        for (const std::string& file : g_anchorFiles)
            loadAnchor(context, file);
    } catch (...) {
        SSL_CTX_free(context);
        throw;
    }
    g_context = context;
    return g_context;
}

void addTrustAnchorFile(const std::string& pemFile)
{
    {
        const std::lock_guard lock(g_mutex);
        if (g_context) {
            loadAnchor(g_context, pemFile);
            return;
        }
        // Checked now, so that a bad file is named where it was given.
        SSL_CTX* probe = SSL_CTX_new(TLS_client_method());
        try {
            if (probe)
                loadAnchor(probe, pemFile);
        } catch (...) {
            SSL_CTX_free(probe);
            throw;
        }
        SSL_CTX_free(probe);
        g_anchorFiles.push_back(pemFile);
    }
}

std::string tlsFailureText(SSL* ssl, const std::string& host, int sslError)
{
    const long verified = SSL_get_verify_result(ssl);
    if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        const auto* names = static_cast<const std::string*>(SSL_get_app_data(ssl));
        ERR_clear_error();
        return "TLS: certificate is for " + (names && !names->empty() ? *names : std::string("another name"))
               + ", not " + host;
    }
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return std::string("TLS: ") + X509_verify_cert_error_string(verified);
    }
    const unsigned long queued = ERR_peek_last_error();
    ERR_clear_error();
    switch (ERR_GET_REASON(queued)) {
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
        return "TLS: the server offers no protocol version this program accepts (TLS 1.2 or later)";
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
        return "TLS: the server does not speak TLS on this port";
    default: break;
    }
    if (queued != 0) {
        if (const char* reason = ERR_reason_error_string(queued))
            return std::string("TLS: ") + reason;
    }
    if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN)
        return "TLS: the server closed the connection during the handshake";
    return "TLS: handshake failed";
}

bool setSocketWithoutSignal(SSL* ssl, int fd)
{
    BIO* bio = socketWithoutSignal() ? BIO_new(socketWithoutSignal()) : nullptr;
    if (!bio)
        return false;
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl, bio, bio);
    return true;
}

} // namespace kaldrani::net
