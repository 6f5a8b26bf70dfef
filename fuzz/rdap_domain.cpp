// An RDAP domain answer, and the bootstrap file, as a hostile registry might send them.
#include "FuzzSupport.h"

#include "core/lookups/RdapBootstrap.h"
#include "core/lookups/RdapRecord.h"
#include "core/text/Encoding.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const lookups::RdapRecord record = lookups::readRdapDomain(bytes);
        const std::string text = lookups::rdapText(record);
        FUZZ_CHECK(text::isValidUtf8(text));
        // One field a line, each bounded, no control but the line ends.
        for (const std::string* field : {&record.registrar, &record.registrantOrganisation, &record.unicodeName})
            FUZZ_CHECK(field->size() <= lookups::kMaxRdapFieldBytes + 3);
        for (size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            FUZZ_CHECK(c >= 0x20 || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') || (c == '\n' && i > 0 && text[i - 1] == '\r'));
        }
        FUZZ_CHECK(record.statuses.size() <= 32 && record.nameservers.size() <= 32);
        FUZZ_CHECK(record.relatedUrl.empty() || record.relatedUrl.starts_with("https://"));
    } catch (const lookups::RdapError&) {
    }
    try {
        const std::string base = lookups::rdapBaseFor(bytes, "com");
        FUZZ_CHECK(base.empty() || base.back() == '/');
    } catch (const lookups::RdapError&) {
    }
    return 0;
}
