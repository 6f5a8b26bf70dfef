// History record lines: written from any display texts, then read back into fields; and
// any line read, written again and read once more.
#include "FuzzSupport.h"

#include "core/records/History.h"

using namespace kaldrani;

namespace {

std::string join(const std::vector<std::string>& fields)
{
    std::string line;
    for (const auto& f : fields)
        line += (line.empty() ? "" : ",") + f;
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = fuzz::asText(data, size);

    // A line as the store holds it.
    const std::vector<std::string> read = records::splitHistoryFields(input);
    for (const auto& f : read)
        FUZZ_CHECK(!f.empty());
    FUZZ_CHECK(records::splitHistoryFields(join(read)) == read);

    // A line as an overview run writes it, from texts cut out of pages.
    const auto parts = fuzz::splitInput(input, std::string_view("\0", 1));
    std::vector<std::string> texts;
    for (size_t i = 0; i < 19; ++i)
        texts.push_back(i < parts.size() ? text::sanitizeUtf8(parts[i]) : std::string());
    records::HistoryFields fields;
    for (size_t i = 0; i < 7; ++i) {
        fields.indexed[i] = texts[2 * i];
        fields.backlinks[i] = texts[2 * i + 1];
    }
    fields.pageRank = texts[14];
    fields.sogouRating = texts[15];
    fields.alexaRank = texts[16];
    fields.chinaRank = texts[17];
    const std::string line = records::formatHistoryLine(fields, texts[18]);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    const std::vector<std::string> back = records::splitHistoryFields(line);
    // The seven count pairs always hold their "/"; empty rank fields are dropped on reading.
    FUZZ_CHECK(back.size() >= 7 && back.size() <= 12);
    if (back.size() == 12)
        FUZZ_CHECK(join(back) == line);
    for (size_t i = 0; i < 7; ++i)
        FUZZ_CHECK(back[i].find('/') != std::string::npos);
    return 0;
}
