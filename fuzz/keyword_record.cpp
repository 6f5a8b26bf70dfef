// Keyword history lines: any line read, written again and read once more gives the same
// record; and a record made of any texts writes one line that reads back whole.
#include "FuzzSupport.h"

#include "core/records/KeywordHistory.h"
#include "core/text/Encoding.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = fuzz::asText(data, size);

    records::KeywordRecord read;
    if (records::parseKeywordRecord(input, read)) {
        records::KeywordRecord again;
        FUZZ_CHECK(records::parseKeywordRecord(records::formatKeywordRecord(read), again));
        FUZZ_CHECK(again == read);
    }

    // A record as a scan makes it: the keyword and a failure's reason are any text.
    const auto parts = fuzz::splitInput(input, std::string_view("\0", 1));
    records::KeywordRecord made;
    made.time = "2026-12-11T09:30:00+08:00";
    made.keyword = text::sanitizeUtf8(parts.empty() ? std::string_view() : parts[0]);
    made.firstPage = static_cast<int>(size % 100) + 1;
    made.lastPage = static_cast<int>(size % 7) + 1;
    using State = records::KeywordResult::State;
    for (size_t i = 0; i < made.results.size(); ++i) {
        const std::string_view part = i + 1 < parts.size() ? parts[i + 1] : std::string_view();
        const auto kind = part.empty() ? 0u : static_cast<unsigned char>(part[0]) % 5u;
        made.results[i] = kind == 0   ? records::KeywordResult{State::Absent, 0, {}}
                        : kind == 1 ? records::KeywordResult{State::Position, static_cast<int>(part.size()) + 1, {}}
                        : kind == 2 ? records::KeywordResult{State::NotFound, 0, {}}
                        : kind == 3 ? records::KeywordResult{State::NotSelected, 0, {}}
                                    : records::KeywordResult{State::Failed, 0, text::sanitizeUtf8(part.substr(1))};
    }
    const std::string line = records::formatKeywordRecord(made);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    records::KeywordRecord back;
    FUZZ_CHECK(records::parseKeywordRecord(line, back));
    FUZZ_CHECK(back == made);
    return 0;
}
