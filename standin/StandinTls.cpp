#include "StandinTls.h"

#include "core/net/Tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <stdexcept>

namespace kaldrani::standin {

namespace {

// Any name a client sends gets its certificate: the cache is bounded, not the names.
constexpr size_t kMaxLeaves = 512;

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        throw std::runtime_error("cannot make the certificate extension " + value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for subjectKey, valid from an hour ago for validDays; self-signed when
// issuer is null. sans: the subjectAltName value, or empty for the authority.
X509* makeCertificate(const std::string& commonName, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey,
                      const std::string& sans, int validDays = 90)
{
    X509* certificate = X509_new();
    BIGNUM* serial = BN_new();
    try {
        if (!certificate || !serial)
            throw std::runtime_error("out of memory");
        X509_set_version(certificate, X509_VERSION_3);
        BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
        BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate));
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), static_cast<long>(validDays) * 24 * 3600);
        X509_set_pubkey(certificate, subjectKey);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
        X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer) : name);
        X509* signer = issuer ? issuer : certificate;
        if (sans.empty()) {
            addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
            addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
            addExtension(certificate, signer, NID_subject_key_identifier, "hash");
        } else {
            addExtension(certificate, signer, NID_basic_constraints, "CA:FALSE");
            addExtension(certificate, signer, NID_key_usage, "critical,digitalSignature");
            addExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
            addExtension(certificate, signer, NID_subject_alt_name, sans);
            addExtension(certificate, signer, NID_authority_key_identifier, "keyid");
        }
        if (X509_sign(certificate, issuerKey, EVP_sha256()) == 0)
            throw std::runtime_error("cannot sign a certificate");
    } catch (...) {
        BN_free(serial);
        X509_free(certificate);
        throw;
    }
    BN_free(serial);
    return certificate;
}

// The subjectAltName for a name a client asked for. Only a host name or an address goes
// into the extension's text, so a crafted name cannot add to it.
std::string altNames(const std::string& name)
{
    in6_addr address{};
    if (::inet_pton(AF_INET, name.c_str(), &address) == 1 || ::inet_pton(AF_INET6, name.c_str(), &address) == 1)
        return "IP:" + name;
    const bool hostName = !name.empty() && name.size() <= 253 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    if (hostName)
        return "DNS:" + name;
    return "DNS:localhost,IP:127.0.0.1";
}

} // namespace

StandinAuthority::StandinAuthority()
{
    m_key = EVP_EC_gen("P-256");
    m_leafKey = EVP_EC_gen("P-256");
    if (!m_key || !m_leafKey) {
        EVP_PKEY_free(m_key);
        EVP_PKEY_free(m_leafKey);
        throw std::runtime_error("cannot make a key for the stand-in's authority");
    }
    try {
        m_certificate = makeCertificate("Kaldrani stand-in authority", m_key, nullptr, m_key, {});
        m_context = SSL_CTX_new(TLS_server_method());
        if (!m_context)
            throw std::runtime_error("cannot make a TLS server context");
    } catch (...) {
        X509_free(m_certificate);
        EVP_PKEY_free(m_key);
        EVP_PKEY_free(m_leafKey);
        throw;
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_cert_cb(m_context, &StandinAuthority::chooseCertificate, this);
}

StandinAuthority::~StandinAuthority()
{
    SSL_CTX_free(m_context);
    for (auto& [name, leaf] : m_leaves)
        X509_free(leaf);
    X509_free(m_certificate);
    EVP_PKEY_free(m_leafKey);
    EVP_PKEY_free(m_key);
}

std::string StandinAuthority::certificatePem() const
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, m_certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(size));
    BIO_free(bio);
    return pem;
}

void StandinAuthority::writeCertificate(const std::filesystem::path& path) const
{
    const std::filesystem::path temporary = path.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << certificatePem();
        if (!out.flush())
            throw std::runtime_error("cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, path);
}

X509* StandinAuthority::certificateFor(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_leaves.find(name); it != m_leaves.end()) {
        X509_up_ref(it->second);
        return it->second;
    }
    if (m_leaves.size() >= kMaxLeaves) {
        for (auto& [old, leaf] : m_leaves)
            X509_free(leaf);
        m_leaves.clear();
    }
    const std::string sans = altNames(name);
    X509* leaf = makeCertificate(sans.rfind("DNS:", 0) == 0 && sans.find(',') == std::string::npos ? name : "localhost",
                                 m_leafKey, m_certificate, m_key, sans, name.rfind("expiring", 0) == 0 ? 10 : 90);
    m_leaves[name] = leaf;
    X509_up_ref(leaf);
    return leaf;
}

int StandinAuthority::chooseCertificate(SSL* ssl, void* self)
{
    auto* authority = static_cast<StandinAuthority*>(self);
    const char* asked = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    try {
        X509* leaf = authority->certificateFor(asked ? asked : "");
        const bool used = SSL_use_certificate(ssl, leaf) == 1 && SSL_use_PrivateKey(ssl, authority->m_leafKey) == 1;
        X509_free(leaf);
        return used ? 1 : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

TlsChannel::~TlsChannel()
{
    SSL_free(m_ssl);
}

bool TlsChannel::wait(int sslError)
{
    if (sslError != SSL_ERROR_WANT_READ && sslError != SSL_ERROR_WANT_WRITE)
        return false;
    pollfd fds[2] = {{m_fd, static_cast<short>(sslError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0},
                     {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, m_idleMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 && (m_wakeFd < 0 || fds[1].revents == 0);
    }
}

bool TlsChannel::accept(SSL_CTX* context, int fd, int wakeFd, int idleMs)
{
    m_fd = fd;
    m_wakeFd = wakeFd;
    m_idleMs = idleMs;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_ssl = SSL_new(context);
    if (!m_ssl)
        return false;
    if (!kaldrani::net::setSocketWithoutSignal(m_ssl, fd))
        return false;
    for (;;) {
        const int r = SSL_accept(m_ssl);
        if (r == 1)
            return true;
        if (!wait(SSL_get_error(m_ssl, r)))
            return false;
    }
}

size_t TlsChannel::read(char* into, size_t size)
{
    for (;;) {
        size_t got = 0;
        const int r = SSL_read_ex(m_ssl, into, size, &got);
        if (r == 1)
            return got;
        if (!wait(SSL_get_error(m_ssl, r)))
            return 0;
    }
}

bool TlsChannel::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        size_t written = 0;
        const int r = SSL_write_ex(m_ssl, bytes.data(), bytes.size(), &written);
        if (r == 1) {
            bytes.remove_prefix(written);
            continue;
        }
        if (!wait(SSL_get_error(m_ssl, r)))
            return false;
    }
    return true;
}

void TlsChannel::shutdown()
{
    if (m_ssl)
        SSL_shutdown(m_ssl);
}

} // namespace kaldrani::standin
