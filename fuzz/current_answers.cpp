// Today's answers: a gzip-coded body and Tranco's ranks JSON.
#include "FuzzSupport.h"

#include "core/fetch/FailureReason.h"
#include "core/net/GzipBody.h"
#include "core/net/NetError.h"
#include "core/queries/RankQueries.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(fuzz::asText(data, size));
    try {
        // The bound holds whatever the stream claims.
        FUZZ_CHECK(net::gunzipBody(bytes, 1 << 16).size() <= (1 << 16));
    } catch (const net::NetError&) {
    }
    try {
        const std::string rank = queries::trancoRankOf(bytes);
        FUZZ_CHECK(!rank.empty() && rank.size() <= 20);
    } catch (const fetch::MissingFigure&) {
    }
    return 0;
}
