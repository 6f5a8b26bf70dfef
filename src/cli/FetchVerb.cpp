#include "cli/Verbs.h"

#include "core/net/HttpClient.h"

#include <iostream>
#include <limits>
#include <memory>

namespace kaldrani::cli {

namespace {

struct FetchOptions {
    bool stringForm = false;
    std::string userAgent;
    bool follow = false;
    int readTimeout = 0;
    std::string url;
};

} // namespace

// fetch [--string] [--user-agent TEXT] [--follow] [--read-timeout MS] URL: the body as
// UTF-8 on stdout; a failure's message on stderr with status 1.
Verb addFetchVerb(CLI::App& app, const GlobalOptions&)
{
    auto options = std::make_shared<FetchOptions>();
    CLI::App* command = app.add_subcommand("fetch", "Fetch one http address and print its body as UTF-8");
    command->add_flag("--string", options->stringForm,
                      "Decode as the response's charset says (UTF-8), else one character per byte; "
                      "default: read the body back as GBK");
    CLI::Option* agent = command->add_option("--user-agent", options->userAgent, "User-Agent text; '' sends none")
                             ->option_text("TEXT");
    command->add_flag("--follow", options->follow, "Follow redirects (at most 15)");
    CLI::Option* timeout = command->add_option("--read-timeout", options->readTimeout,
                                               "Fail when one wait for body data lasts this long")
                               ->option_text("MS")
                               ->check(CLI::Range(1, std::numeric_limits<int>::max()));
    command->add_option("URL", options->url, "Absolute http address")->required();

    return {command, [options, agent, timeout]() -> int {
                net::THttpClient client;
                if (agent->count() > 0)
                    client.UserAgent = options->userAgent;
                client.HandleRedirects = options->follow;
                if (timeout->count() > 0)
                    client.ReadTimeout = options->readTimeout;
                std::string text;
                try {
                    if (options->stringForm) {
                        text = client.FetchPage(options->url);
                    } else {
                        std::string buffer;
                        client.FetchPage(options->url, buffer);
                        text = net::readAnsi(buffer);
                    }
                } catch (const net::HttpStatusError& e) {
                    const std::string line = e.statusLine().empty() ? "" : " " + e.statusLine();
                    throw CommandFailure(1, "HTTP " + std::to_string(e.code()) + line);
                } catch (const net::NetError& e) {
                    throw CommandFailure(1, e.what());
                }
                // The page's own line layout stays; what could drive the terminal does not.
                text = terminalText(text, true);
                std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
                std::cout.flush();
                return std::cout ? 0 : 1;
            }};
}

} // namespace kaldrani::cli
