#pragma once

#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// TLS session resumption: the last session (ticket) each server gave, kept per host and
// port for the process, so the next connection to it skips the full handshake.
namespace kaldrani::net {

// Makes context hand every new client session to the store.
void enableSessionStore(SSL_CTX* context);

// Offers on ssl, before its handshake, the session kept for key ("host:port"), and files
// the sessions it receives under key, the newest replacing the one kept. A ticket may be
// offered again until a newer one arrives, as servers with stateless tickets allow.
void offerStoredSession(SSL* ssl, const std::string& key);

// Forgets every session kept.
void clearSessionStore();

} // namespace kaldrani::net
