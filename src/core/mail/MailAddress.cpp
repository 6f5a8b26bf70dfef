#include "core/mail/MailAddress.h"

#include "core/text/Ascii.h"

namespace kaldrani::mail {

namespace {

// The text without parenthesised comments (nested ones too); quoted text is kept whole.
std::string dropComments(std::string_view text)
{
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            out += c;
            if (c == '\\' && i + 1 < text.size())
                out += text[++i];
            else if (c == '"')
                quoted = false;
        } else if (depth > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
        } else if (c == '(') {
            depth = 1;
        } else {
            if (c == '"')
                quoted = true;
            out += c;
        }
    }
    return out;
}

// A display name: trimmed, quotes removed, backslash escapes undone.
std::string unquoteName(std::string_view text)
{
    text = text::trimView(text);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"')
            continue;
        if (c == '\\' && i + 1 < text.size())
            out += text[++i];
        else
            out += c;
    }
    return std::string(text::trimView(out));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

bool operator==(const MailAddress& a, const MailAddress& b)
{
    return a.name == b.name && a.address == b.address;
}

MailAddress parseAddressItem(std::string_view text)
{
    text = text::trimView(text);
    if (text.find_first_of("(\"< @\t") == std::string_view::npos)
        return {"", std::string(text)};

    const std::string rest = dropComments(text);
    const std::string_view view = rest;

    // The first "<" outside quotes opens the address.
    bool quoted = false;
    for (size_t i = 0; i < view.size(); ++i) {
        const char c = view[i];
        if (c == '\\' && quoted) {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == '<' && !quoted) {
            const size_t close = view.find('>', i + 1);
            const std::string_view address =
                view.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
            return {unquoteName(view.substr(0, i)), std::string(text::trimView(address))};
        }
    }

    // No angle brackets: the last blank-separated word holding "@" is the address, the
    // words before it the name.
    const std::string_view trimmed = text::trimView(view);
    size_t addressStart = std::string_view::npos;
    size_t addressEnd = 0;
    for (size_t i = 0; i < trimmed.size();) {
        while (i < trimmed.size() && isBlank(trimmed[i]))
            ++i;
        size_t end = i;
        while (end < trimmed.size() && !isBlank(trimmed[end]))
            ++end;
        if (end > i && trimmed.substr(i, end - i).find('@') != std::string_view::npos) {
            addressStart = i;
            addressEnd = end;
        }
        i = end;
    }
    if (addressStart == std::string_view::npos)
        return {"", std::string(trimmed)};
    return {unquoteName(trimmed.substr(0, addressStart)),
            std::string(trimmed.substr(addressStart, addressEnd - addressStart))};
}

std::vector<MailAddress> parseAddressList(std::string_view text)
{
    std::vector<MailAddress> list;
    int depth = 0;
    bool quoted = false;
    bool angle = false;
    size_t pieceStart = 0;
    const auto take = [&](size_t end) {
        MailAddress item = parseAddressItem(text.substr(pieceStart, end - pieceStart));
        if (!item.address.empty())
            list.push_back(std::move(item));
        pieceStart = end + 1;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (quoted || depth > 0)) {
            ++i;
        } else if (quoted) {
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0 && c == '<') {
            angle = true;
        } else if (depth == 0 && c == '>') {
            angle = false;
        } else if (depth == 0 && !angle && (c == ',' || c == ';')) {
            take(i);
        }
    }
    take(text.size());
    return list;
}

} // namespace kaldrani::mail
