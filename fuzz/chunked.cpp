// A chunked body, read by the whole fetch from a fake connection.
#include "FuzzSupport.h"

#include "core/net/HttpClient.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(fuzz::asText(data, size));
    fuzz::FakeServer server({answer});
    net::THttpClient client;
    client.ReadTimeout = 50;
    client.FetchTimeout = 2000;
    std::string body;
    try {
        client.FetchPage("http://fuzz.example/", body);
        // A decoded body never holds more than the bytes that came.
        FUZZ_CHECK(body.size() <= size);
    } catch (const net::NetError&) {
        FUZZ_CHECK(body.empty());
    }
    return 0;
}
