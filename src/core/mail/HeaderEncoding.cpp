#include "core/mail/HeaderEncoding.h"

#include "core/mail/Base64.h"

#include <vector>

namespace kaldrani::mail {

namespace {

constexpr size_t kMaxEncodedWord = 75;
constexpr std::string_view kSeparators = " \t\r\n";

// [rfc5322] 2.1.1: a word this long cannot be folded into a line of 998, so it goes out
// as encoded words, which can.
constexpr size_t kLongestPlainWord = 900;

bool needsEncoding(std::string_view word, std::string_view specials)
{
    if (word.size() > kLongestPlainWord)
        return true;
    for (const char c : word) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E || specials.find(c) != std::string_view::npos)
            return true;
    }
    return false;
}

bool qNeedsEscape(unsigned char b, std::string_view specials)
{
    return b < 0x20 || b > 0x7E || b == '?' || b == '=' || b == '_'
        || specials.find(static_cast<char>(b)) != std::string_view::npos;
}

std::string qEncode(std::string_view bytes, std::string_view specials)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ') {
            out += '_';
        } else if (qNeedsEscape(b, specials)) {
            out += '=';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// The run as encoded words: pieces of whole characters, each word within the limit.
std::string encodeRun(std::string_view run, const MailCharset& charset, std::string_view specials)
{
    CharsetEncoder encoder(charset.name);
    const std::string prefix = "=?" + charset.name + "?" + charset.encoding + "?";
    const auto wordOf = [&](std::string_view bytes) {
        return prefix + (charset.encoding == 'Q' ? qEncode(bytes, specials) : base64Encode(bytes)) + "?=";
    };
    const auto bytesOf = [&](std::string_view utf8) {
        if (auto bytes = encoder.encode(utf8))
            return *bytes;
        // Character by character, so only what the charset cannot carry becomes "?".
        std::string out;
        for (const std::string_view c : utf8Characters(utf8))
            out += encoder.encode(c).value_or("?");
        return out;
    };

    const std::vector<std::string_view> chars = utf8Characters(run);
    const auto slice = [&](size_t from, size_t to) {
        const char* stop = to < chars.size() ? chars[to].data() : run.data() + run.size();
        return std::string_view(chars[from].data(), static_cast<size_t>(stop - chars[from].data()));
    };
    std::string out;
    std::string current; // the word of chars[start, end - 1)
    size_t start = 0;
    for (size_t end = 1; end <= chars.size(); ++end) {
        std::string candidate = wordOf(bytesOf(slice(start, end)));
        // A single character always makes a word, even one over the limit.
        if (candidate.size() > kMaxEncodedWord && end - start > 1) {
            out += current + "\r\n ";
            start = end - 1;
            candidate = wordOf(bytesOf(slice(start, end)));
        }
        current = std::move(candidate);
    }
    return out + current;
}

} // namespace

std::string encodeHeader(std::string_view text, const MailCharset& charset, std::string_view specials)
{
    struct Token {
        std::string_view text;
        bool separator;
        bool encode;
    };
    std::vector<Token> tokens;
    for (size_t i = 0; i < text.size();) {
        const bool separator = kSeparators.find(text[i]) != std::string_view::npos;
        size_t end = separator ? text.find_first_not_of(kSeparators, i) : text.find_first_of(kSeparators, i);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view piece = text.substr(i, end - i);
        tokens.push_back({piece, separator, !separator && needsEncoding(piece, specials)});
        i = end;
    }

    std::string out;
    for (size_t i = 0; i < tokens.size();) {
        if (!tokens[i].encode) {
            out += tokens[i].text;
            ++i;
            continue;
        }
        // The run reaches the last word needing encoding with only separators between.
        size_t last = i;
        for (size_t j = i + 1; j < tokens.size(); ++j) {
            if (tokens[j].separator)
                continue;
            if (!tokens[j].encode)
                break;
            last = j;
        }
        const char* from = tokens[i].text.data();
        const char* to = tokens[last].text.data() + tokens[last].text.size();
        out += encodeRun(std::string_view(from, static_cast<size_t>(to - from)), charset, specials);
        i = last + 1;
    }
    return out;
}

namespace {

bool hasLongWord(std::string_view text)
{
    size_t run = 0;
    for (const char c : text) {
        run = kSeparators.find(c) == std::string_view::npos ? run + 1 : 0;
        if (run > kLongestPlainWord)
            return true;
    }
    return false;
}

} // namespace

std::string formatAddress(const MailAddress& item, const MailCharset& charset)
{
    bool printable = true;
    for (const char c : item.name) {
        const auto b = static_cast<unsigned char>(c);
        printable = printable && b >= 0x20 && b <= 0x7E;
    }
    printable = printable && !hasLongWord(item.name);
    std::string out;
    if (printable) {
        out += '"';
        for (const char c : item.name) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        out += '"';
    } else {
        out = encodeHeader(item.name, charset, kAddressSpecials);
    }
    return out + " <" + item.address + ">";
}

namespace {

// Wraps one physical line; valueStart is where breaks may begin.
void foldOne(std::string_view line, size_t valueStart, size_t maxLength, std::string& out)
{
    const auto breakAt = [&](size_t i) {
        // A break before a blank or tab, or after a comma not followed by one.
        const char c = line[i];
        if (c == ' ' || c == '\t')
            return i > valueStart;
        return c == ',' && i + 1 < line.size() && line[i + 1] != ' ' && line[i + 1] != '\t' && i + 1 > valueStart;
    };
    const size_t continuationLength = maxLength > 0 ? maxLength - 1 : 0;
    while (line.size() > maxLength) {
        size_t cut = std::string_view::npos;
        for (size_t i = valueStart; i < line.size(); ++i) {
            if (!breakAt(i))
                continue;
            const size_t end = line[i] == ',' ? i + 1 : i;
            if (end <= maxLength || cut == std::string_view::npos)
                cut = end;
            if (end >= maxLength)
                break;
        }
        if (cut == std::string_view::npos || cut == 0)
            break;
        out.append(line.substr(0, cut));
        out += "\r\n ";
        // The blank or tab we broke before is replaced by the continuation's own blank.
        size_t next = cut;
        if (line[cut] == ' ' || line[cut] == '\t')
            ++next;
        line.remove_prefix(next);
        // "\r\n " already stands for one blank; every later position may break again.
        // The blank counts once per line, not once more for every line before it.
        valueStart = 0;
        maxLength = continuationLength;
    }
    out.append(line);
}

} // namespace

std::string foldHeaderLine(std::string_view line, size_t maxLength)
{
    const size_t colon = line.find(": ");
    size_t valueStart = colon == std::string_view::npos ? 0 : colon + 2;
    std::string out;
    for (;;) {
        const size_t crlf = line.find("\r\n");
        foldOne(line.substr(0, crlf), valueStart, maxLength, out);
        if (crlf == std::string_view::npos)
            break;
        out += "\r\n";
        line.remove_prefix(crlf + 2);
        valueStart = 1;
    }
    return out;
}

} // namespace kaldrani::mail
