#pragma once

#include "core/net/HttpClient.h"

#include <optional>
#include <string>

// What one fetch ended with, so that tables can compare successes and failures alike.
struct FetchOutcome {
    bool ok = false;
    std::string body;       // success: the body; status failure: its decoded body
    std::string error;      // failure message
    int code = 0;           // status failure: the code
    std::string statusLine; // status failure: the status line
};

struct FetchSettings {
    std::optional<std::string> userAgent; // unset: the client's default
    bool follow = false;
    std::optional<int> readTimeout;
};

inline void applySettings(kaldrani::net::THttpClient& client, const FetchSettings& s)
{
    if (s.userAgent)
        client.UserAgent = *s.userAgent;
    client.HandleRedirects = s.follow;
    client.ReadTimeout = s.readTimeout;
}

template <typename Fetch>
FetchOutcome capture(Fetch&& fetch)
{
    FetchOutcome outcome;
    try {
        outcome.body = fetch();
        outcome.ok = true;
    } catch (const kaldrani::net::HttpStatusError& e) {
        outcome.error = e.what();
        outcome.code = e.code();
        outcome.statusLine = e.statusLine();
        outcome.body = e.body();
    } catch (const kaldrani::net::NetError& e) {
        outcome.error = e.what();
    }
    return outcome;
}

// The stream form: the buffer's bytes as they arrived.
inline FetchOutcome fetchStream(const std::string& url, const FetchSettings& settings = {})
{
    return capture([&] {
        kaldrani::net::THttpClient client;
        applySettings(client, settings);
        std::string buffer;
        client.FetchPage(url, buffer);
        return buffer;
    });
}

inline FetchOutcome fetchString(const std::string& url, const FetchSettings& settings = {})
{
    return capture([&] {
        kaldrani::net::THttpClient client;
        applySettings(client, settings);
        return client.FetchPage(url);
    });
}
