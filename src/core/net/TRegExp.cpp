#include "core/net/TRegExp.h"

#include "core/text/Encoding.h"

#include <re2/re2.h>

#include <cstring>

namespace kaldrani::net {

namespace {

// The literal text every match of the pattern starts with: its leading run of plain
// characters, cut before a quantified last character, and nothing when an alternation
// at the top level could start a match elsewhere. Read off the pattern text because
// asking RE2 (PossibleMatchRange) builds a DFA and costs more than a small page's match.
std::string literalPrefix(std::string_view pattern)
{
    int depth = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\') {
            ++i;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
            if (i + 1 < pattern.size() && pattern[i + 1] == '^')
                ++i;
            if (i + 1 < pattern.size() && pattern[i + 1] == ']')
                ++i;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == '|' && depth == 0) {
            return {};
        }
    }
    constexpr std::string_view special = "\\^$.|?*+()[]{}";
    std::size_t end = 0;
    while (end < pattern.size() && special.find(pattern[end]) == std::string_view::npos)
        ++end;
    if (end < pattern.size() && std::string_view("?*+{").find(pattern[end]) != std::string_view::npos) {
        // The quantifier binds to the last character only: drop it, whole.
        while (end > 0 && text::isUtf8Continuation(pattern[end - 1]))
            --end;
        if (end > 0)
            --end;
    }
    return std::string(pattern.substr(0, end));
}

} // namespace

const TMatch& TMatchCollection::Item(int i) const
{
    if (i < 0 || i >= Count())
        throw RegExpError("Match index " + std::to_string(i) + " is out of range (Count is "
                          + std::to_string(Count()) + ").");
    return m_matches[static_cast<std::size_t>(i)];
}

TRegExp::TRegExp() = default;
TRegExp::~TRegExp() = default;

void TRegExp::setPattern(std::string pattern)
{
    m_pattern = std::move(pattern);
    m_re.reset();
}

void TRegExp::setIgnoreCase(bool on)
{
    m_ignoreCase = on;
    m_re.reset();
}

void TRegExp::setMultiline(bool on)
{
    m_multiline = on;
    m_re.reset();
}

void TRegExp::compile()
{
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_case_sensitive(!m_ignoreCase);
    // RE2's defaults already give the dialect: "." stops only at "\n", "$" is the end of
    // the text without (?m), and the Perl classes are ASCII.
    options.set_dot_nl(false);
    options.set_never_nl(false);
    options.set_longest_match(false);
    // Whole pages are matched; the default 8 MiB would refuse the larger patterns' DFA.
    options.set_max_mem(64 << 20);
    const std::string source = m_multiline ? "(?m)" + m_pattern : m_pattern;
    auto re = std::make_unique<RE2>(source, options);
    if (!re->ok())
        throw RegExpError("Syntax error in regular expression \"" + m_pattern + "\": " + re->error());
    m_re = std::move(re);
    m_requiredPrefix = m_ignoreCase ? std::string() : literalPrefix(m_pattern);
}

void TRegExp::forEachMatch(std::string_view text,
                           const std::function<bool(std::string_view match, std::size_t firstIndex)>& visit)
{
    if (!m_re)
        compile();
    const re2::StringPiece input(text.data(), text.size());
    std::size_t pos = 0;
    while (pos <= text.size()) {
        if (!m_requiredPrefix.empty()) {
            const void* hit = memmem(text.data() + pos, text.size() - pos, m_requiredPrefix.data(),
                                     m_requiredPrefix.size());
            if (hit == nullptr)
                break;
            pos = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        }
        re2::StringPiece m;
        if (!m_re->Match(input, pos, text.size(), RE2::UNANCHORED, &m, 1))
            break;
        const auto begin = static_cast<std::size_t>(m.data() - text.data());
        const std::size_t end = begin + m.size();
        if (!visit(std::string_view(m.data(), m.size()), begin) || !m_global)
            break;
        if (m.empty()) {
            if (end >= text.size())
                break;
            // Step over one whole UTF-8 character, never into its middle.
            std::size_t next = end + 1;
            while (next < text.size() && text::isUtf8Continuation(text[next]))
                ++next;
            pos = next;
        } else {
            pos = end;
        }
    }
}

TMatchCollection TRegExp::Execute(std::string_view text)
{
    std::vector<TMatch> matches;
    forEachMatch(text, [&](std::string_view match, std::size_t firstIndex) {
        matches.push_back(TMatch{std::string(match), firstIndex});
        return true;
    });
    return TMatchCollection(std::move(matches));
}

std::string firstMatch(std::string_view pattern, std::string_view text)
{
    TRegExp re;
    re.setPattern(std::string(pattern));
    const TMatchCollection matches = re.Execute(text);
    return matches.Count() > 0 ? matches.Item(0).Value : std::string();
}

} // namespace kaldrani::net
