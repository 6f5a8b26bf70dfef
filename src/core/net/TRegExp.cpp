#include "core/net/TRegExp.h"

#include "core/text/Encoding.h"

#include <re2/re2.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

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

// Where needle next occurs at or after pos, or npos. memmem is asked window by window:
// AddressSanitizer checks the whole range it is handed on each call, which made walking a
// page of millions of matches quadratic under the sanitizers (102 s for one 18 MB page).
std::size_t findFrom(std::string_view text, std::size_t pos, std::string_view needle)
{
    constexpr std::size_t kWindow = 4096;
    while (pos + needle.size() <= text.size()) {
        const std::size_t length = std::min(text.size() - pos, kWindow + needle.size() - 1);
        if (const void* hit = memmem(text.data() + pos, length, needle.data(), needle.size()))
            return static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        pos += kWindow;
    }
    return std::string_view::npos;
}

// Patterns come from the program's tables and the user's profile, a few dozen; the bound
// only keeps patterns built from typed text from growing the cache for ever.
constexpr std::size_t kMaxCachedPatterns = 256;

} // namespace

struct TRegExp::Compiled {
    std::unique_ptr<RE2> re;
    // Bytes every match starts with; lets Execute jump to candidates with memmem instead of
    // having RE2 scan (and scan back over) the whole page.
    std::string requiredPrefix;
};

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
    m_compiled.reset();
}

void TRegExp::setIgnoreCase(bool on)
{
    m_ignoreCase = on;
    m_compiled.reset();
}

void TRegExp::setMultiline(bool on)
{
    m_multiline = on;
    m_compiled.reset();
}

void TRegExp::compile()
{
    // RE2 matches from any number of threads at once and keeps its lazily built automaton
    // between matches, so one compiled pattern serves every query that uses it.
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const Compiled>> cache;
    const std::string key = std::string{m_ignoreCase ? 'i' : '-', m_multiline ? 'm' : '-'} + m_pattern;
    {
        std::lock_guard lock(mutex);
        if (const auto it = cache.find(key); it != cache.end()) {
            m_compiled = it->second;
            return;
        }
    }
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
    auto compiled = std::make_shared<Compiled>();
    compiled->re = std::move(re);
    compiled->requiredPrefix = m_ignoreCase ? std::string() : literalPrefix(m_pattern);
    m_compiled = compiled;
    std::lock_guard lock(mutex);
    if (cache.size() >= kMaxCachedPatterns)
        cache.clear();
    cache.emplace(key, std::move(compiled));
}

void TRegExp::forEachMatch(std::string_view text,
                           const std::function<bool(std::string_view match, std::size_t firstIndex)>& visit)
{
    if (!m_compiled)
        compile();
    const RE2& re = *m_compiled->re;
    const std::string& requiredPrefix = m_compiled->requiredPrefix;
    const re2::StringPiece input(text.data(), text.size());
    std::size_t pos = 0;
    while (pos <= text.size()) {
        if (!requiredPrefix.empty()) {
            const std::size_t at = findFrom(text, pos, requiredPrefix);
            if (at == std::string_view::npos)
                break;
            pos = at;
        }
        re2::StringPiece m;
        if (!re.Match(input, pos, text.size(), RE2::UNANCHORED, &m, 1))
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

std::optional<std::string> firstGroup(std::string_view pattern, std::string_view text, int group)
{
    TRegExp re;
    re.setPattern(std::string(pattern));
    re.compile();
    const RE2& compiled = *re.m_compiled->re;
    if (group < 1 || compiled.NumberOfCapturingGroups() < group)
        return std::nullopt;
    std::vector<re2::StringPiece> groups(static_cast<std::size_t>(group) + 1);
    const re2::StringPiece input(text.data(), text.size());
    if (!compiled.Match(input, 0, text.size(), RE2::UNANCHORED, groups.data(), group + 1)
        || groups[static_cast<std::size_t>(group)].data() == nullptr)
        return std::nullopt;
    const re2::StringPiece& taken = groups[static_cast<std::size_t>(group)];
    return std::string(taken.data(), taken.size());
}

} // namespace kaldrani::net
