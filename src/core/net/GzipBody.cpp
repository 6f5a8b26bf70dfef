#include "core/net/GzipBody.h"

#include "core/net/NetError.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kaldrani::net {

std::string gunzipBody(std::string_view coded, std::size_t maxBytes)
{
    z_stream stream{};
    // 16 + MAX_WBITS: the gzip wrapper only, so a raw or zlib stream is no gzip body.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        throw NetError(NetError::Kind::Protocol, "The gzip decoder did not start.");
    std::string out;
    int result = Z_OK;
    std::size_t consumed = 0;
    char chunk[16384];
    try {
        do {
            if (stream.avail_in == 0 && consumed < coded.size()) {
                const std::size_t take = std::min<std::size_t>(coded.size() - consumed, UINT_MAX);
                stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data() + consumed));
                stream.avail_in = static_cast<uInt>(take);
                consumed += take;
            }
            stream.next_out = reinterpret_cast<Bytef*>(chunk);
            stream.avail_out = sizeof chunk;
            result = inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                throw NetError(NetError::Kind::Protocol, "The gzip body is damaged.");
            const std::size_t produced = sizeof chunk - stream.avail_out;
            if (produced > maxBytes - out.size())
                throw NetError(NetError::Kind::TooLarge, "Response body larger than 64 MiB.");
            out.append(chunk, produced);
            // No progress and nothing left to give it: the stream is cut off.
            if (result == Z_OK && produced == 0 && stream.avail_in == 0 && consumed == coded.size())
                throw NetError(NetError::Kind::Protocol, "The gzip body is cut off.");
        } while (result != Z_STREAM_END);
    } catch (...) {
        inflateEnd(&stream);
        throw;
    }
    inflateEnd(&stream);
    return out;
}

} // namespace kaldrani::net
