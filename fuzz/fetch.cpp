// The whole fetch fed from fake connections: answer bytes in, body or failure out, under
// every combination of the settings callers change.
#include "FuzzSupport.h"

#include "core/net/HttpClient.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the settings; the rest: one answer per connection, cut at "\n#next#\n".
    const uint8_t flags = data[0];
    const auto answers = fuzz::splitInput(fuzz::asText(data + 1, size - 1), "\n#next#\n");
    fuzz::FakeServer server(answers);
    net::THttpClient client;
    client.HandleRedirects = flags & 1;
    client.AllowCookies = !(flags & 4);
    if (flags & 8)
        client.UserAgent.clear();
    client.ReadTimeout = (flags & 16) ? std::optional<int>(20) : std::nullopt;
    client.FetchTimeout = 2000;
    const bool stringForm = flags & 2;
    const std::string url = (flags & 32) ? "http://fuzz.example:8080/a/b?q=1" : "http://fuzz.example/";
    const std::string before = "kept";
    std::string buffer = before;
    try {
        if (stringForm) {
            const std::string text = client.FetchPage(url);
            FUZZ_CHECK(text::isValidUtf8(text));
            // One byte becomes at most one U+FFFD.
            FUZZ_CHECK(text.size() <= 3 * server.totalBytes());
        } else {
            client.FetchPage(url, buffer);
            FUZZ_CHECK(buffer.starts_with(before));
            FUZZ_CHECK(buffer.size() - before.size() <= server.totalBytes());
        }
    } catch (const net::HttpStatusError& e) {
        FUZZ_CHECK(text::isValidUtf8(e.body()));
        FUZZ_CHECK(stringForm || buffer == before);
    } catch (const net::NetError&) {
        FUZZ_CHECK(stringForm || buffer == before);
    }
    return 0;
}
