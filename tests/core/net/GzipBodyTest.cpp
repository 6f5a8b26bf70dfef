#include "core/net/GzipBody.h"
#include "core/net/NetError.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <string>

using namespace kaldrani::net;

namespace {

std::string gzip(const std::string& bytes)
{
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&s, static_cast<uLong>(bytes.size())), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    s.avail_in = static_cast<uInt>(bytes.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

} // namespace

TEST(GzipBody, DecodesWithinItsBoundAndRefusesWhatIsNoGzip)
{
    const std::string page = "<p class=\"num-tips\">搜狗已为您找到约12,345条相关结果</p>" + std::string(100000, 'x');
    const std::string coded = gzip(page);
    EXPECT_EQ(gunzipBody(coded, page.size()), page);
    EXPECT_EQ(gunzipBody(gzip(""), 0), "");

    struct Case {
        const char* name;
        std::string coded;
        std::size_t bound;
        NetError::Kind kind;
    };
    std::string damaged = coded;
    damaged[20] ^= 0x55;
    const Case cases[] = {
        // A small answer that inflates past the body bound must not fill the memory.
        {"past the bound", gzip(std::string(1 << 20, '0')), 1000, NetError::Kind::TooLarge},
        {"cut off", coded.substr(0, coded.size() / 2), page.size(), NetError::Kind::Protocol},
        {"damaged", damaged, page.size(), NetError::Kind::Protocol},
        {"not gzip", page, page.size(), NetError::Kind::Protocol},
        {"empty", "", 10, NetError::Kind::Protocol},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            gunzipBody(c.coded, c.bound);
            ADD_FAILURE() << "decoded";
        } catch (const NetError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.what();
        }
    }
}
