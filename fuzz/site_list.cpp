// The site list file: read, written back as the site manager saves it, and read again.
#include "FuzzSupport.h"

#include "core/records/DataFolder.h"
#include "core/records/History.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> lines = records::splitLines(text::decodeFileText(fuzz::asText(data, size)));
    std::string joined;
    for (const auto& line : lines) {
        FUZZ_CHECK(text::isValidUtf8(line));
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        joined += line + "\r\n";
    }
    // The save as the site manager does it, without the file.
    const std::string written = text::utf8ToGbk(records::removeEmptyLines(joined));
    const std::vector<std::string> again = records::splitLines(text::decodeFileText(written));

    std::vector<std::string> kept;
    for (const auto& line : lines)
        if (!line.empty())
            kept.push_back(line);
    // A list whose GBK bytes happen to begin like a byte-order mark ("锘" and a character
    // whose first byte is 0xBF) reads back in that encoding: the file format cannot tell.
    if (text::detectByteOrderMark(written) != text::ByteOrderMark::None)
        return 0;
    FUZZ_CHECK(again.size() == kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        // A line GBK can hold comes back as it was; the others only lose characters to "?".
        if (text::gbkToUtf8(text::utf8ToGbk(kept[i])) == kept[i])
            FUZZ_CHECK(again[i] == kept[i]);
    }
    return 0;
}
