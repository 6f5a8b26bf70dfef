#include "core/net/TlsSessions.h"

#include <openssl/ssl.h>

#include <map>
#include <memory>
#include <string>
#include <mutex>

namespace kaldrani::net {

namespace {

// Enough for every service and site of a run; a run over more starts again empty.
constexpr size_t kMaxSessions = 512;

struct SessionFree {
    void operator()(SSL_SESSION* s) const { SSL_SESSION_free(s); }
};

std::mutex g_mutex;
std::map<std::string, std::unique_ptr<SSL_SESSION, SessionFree>> g_sessions;

int keyIndex()
{
    static const int index = SSL_get_ex_new_index(
        0, nullptr, nullptr, nullptr, [](void*, void* p, CRYPTO_EX_DATA*, int, long, void*) { delete static_cast<std::string*>(p); });
    return index;
}

int newSession(SSL* ssl, SSL_SESSION* session)
{
    const auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, keyIndex()));
    if (key == nullptr || !SSL_SESSION_is_resumable(session))
        return 0;
    // A copy: a connection freed without a closing alert marks its own session as not
    // resumable, though the ticket is good.
    SSL_SESSION* copy = SSL_SESSION_dup(session);
    if (copy == nullptr)
        return 0;
    const std::lock_guard lock(g_mutex);
    if (g_sessions.size() >= kMaxSessions && !g_sessions.contains(*key))
        g_sessions.clear();
    g_sessions[*key].reset(copy);
    return 0;
}

} // namespace

void enableSessionStore(SSL_CTX* context)
{
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, newSession);
}

void offerStoredSession(SSL* ssl, const std::string& key)
{
    SSL_set_ex_data(ssl, keyIndex(), new std::string(key));
    std::unique_ptr<SSL_SESSION, SessionFree> session;
    {
        const std::lock_guard lock(g_mutex);
        const auto found = g_sessions.find(key);
        if (found == g_sessions.end())
            return;
        SSL_SESSION_up_ref(found->second.get());
        session.reset(found->second.get());
    }
    SSL_set_session(ssl, session.get());
}

void clearSessionStore()
{
    const std::lock_guard lock(g_mutex);
    g_sessions.clear();
}

} // namespace kaldrani::net
