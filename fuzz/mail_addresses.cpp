// Address lists as typed or read from a list file, and the header texts made of them:
// encoded words and folded lines.
#include "FuzzSupport.h"

#include "core/mail/HeaderEncoding.h"
#include "core/mail/MailAddress.h"

using namespace kaldrani;

namespace {

// The list written back the way a person would type it: each name quoted, each address
// in angle brackets.
std::string joinList(const std::vector<mail::MailAddress>& list)
{
    std::string out;
    for (const auto& item : list) {
        if (!out.empty())
            out += ", ";
        out += '"';
        for (const char c : item.name) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        out += "\" <" + item.address + ">";
    }
    return out;
}

// An address that reads back whole from between angle brackets.
bool plainAddress(std::string_view address)
{
    for (const char c : address)
        if (static_cast<unsigned char>(c) <= 0x20 || std::string_view("<>\"(),;\\").find(c) != std::string_view::npos)
            return false;
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Every folded line within the limit unless it offers no break before the limit.
void checkFolded(std::string_view folded, size_t valueStart)
{
    bool first = true;
    for (const std::string_view line : fuzz::splitInput(folded, "\r\n")) {
        if (line.size() > 78) {
            const size_t blankFrom = first ? valueStart + 1 : 2;
            const size_t commaFrom = first ? valueStart : 1;
            for (size_t i = blankFrom; i <= 78; ++i)
                FUZZ_CHECK(!isBlank(line[i]));
            for (size_t i = commaFrom; i < 78; ++i)
                FUZZ_CHECK(!(line[i] == ',' && !isBlank(line[i + 1])));
        }
        first = false;
    }
}

void checkEncoded(std::string_view input, std::string_view encoded, const mail::MailCharset& charset)
{
    for (const char c : encoded)
        FUZZ_CHECK(static_cast<unsigned char>(c) < 0x7F);
    // Encoded words are ours only when the input held none of its own.
    if (input.find("=?") != std::string_view::npos)
        return;
    const std::string prefix = "=?" + charset.name + "?";
    for (size_t at = encoded.find("=?"); at != std::string_view::npos; at = encoded.find("=?", at + 1)) {
        FUZZ_CHECK(encoded.substr(at).starts_with(prefix));
        const size_t end = encoded.find("?=", at + prefix.size() + 2);
        FUZZ_CHECK(end != std::string_view::npos && end + 2 - at <= 75);
        at = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = fuzz::asText(data, size);

    const std::vector<mail::MailAddress> list = mail::parseAddressList(input);
    bool plain = true;
    for (const auto& item : list) {
        FUZZ_CHECK(!item.address.empty());
        FUZZ_CHECK(item.name.size() + item.address.size() <= size);
        plain = plain && plainAddress(item.address);
    }
    if (plain)
        FUZZ_CHECK(mail::parseAddressList(joinList(list)) == list);

    const mail::MailAddress item = mail::parseAddressItem(input);
    FUZZ_CHECK(item.name.size() + item.address.size() <= size);

    if (!text::isValidUtf8(input) || input.find_first_of("\r\n") != std::string_view::npos)
        return 0;
    for (const mail::MailCharset& charset : {mail::MailCharset{"GB2312", 'B'}, mail::MailCharset{"ISO-8859-1", 'Q'}}) {
        const std::string subject = mail::encodeHeader(input, charset);
        checkEncoded(input, subject, charset);
        const std::string name = mail::encodeHeader(input, charset, mail::kAddressSpecials);
        checkEncoded(input, name, charset);
        checkFolded(mail::foldHeaderLine("Subject: " + subject), 9);
    }
    std::string to = "To: ";
    for (const auto& each : list)
        to += mail::formatAddress(each, {"GB2312", 'B'}) + ", ";
    if (list.empty())
        return 0;
    to.resize(to.size() - 2);
    checkFolded(mail::foldHeaderLine(to), 4);
    return 0;
}
