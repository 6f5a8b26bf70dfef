#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace kaldrani::net {

// Raised for a pattern that does not compile and for an Item index out of range; the
// message says which.
class RegExpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One match: the whole matched text and where it starts (a byte offset into the UTF-8
// text that was executed).
struct TMatch {
    std::string Value;
    std::size_t FirstIndex = 0;
    std::size_t Length() const { return Value.size(); }
};

// The matches of one Execute, left to right.
class TMatchCollection {
public:
    explicit TMatchCollection(std::vector<TMatch> matches = {}) : m_matches(std::move(matches)) { }

    // Number of matches: 0 or 1 with Global off.
    int Count() const { return static_cast<int>(m_matches.size()); }

    // Match number i, from 0. Raises RegExpError when i is not below Count().
    const TMatch& Item(int i) const;

private:
    std::vector<TMatch> m_matches;
};

// The regular-expression service every extraction and the domain check go through, in
// the dialect the program's patterns are written in: "." matches any character but the
// line feed (a carriage return included), "\n" is the line feed, "^"/"$" anchor at the
// very start and end of the text unless Multiline is on, "\w" is ASCII, "*?" is lazy,
// the leftmost match wins. Built on RE2, so matching takes linear time whatever the
// input: no page and no typed text can hang the program.
class TRegExp {
public:
    TRegExp();
    ~TRegExp();
    TRegExp(const TRegExp&) = delete;
    TRegExp& operator=(const TRegExp&) = delete;

    // The pattern; it is compiled on the next Execute.
    void setPattern(std::string pattern);
    const std::string& Pattern() const { return m_pattern; }

    // All matches (on) or only the leftmost one (off, the default).
    void setGlobal(bool on) { m_global = on; }
    bool Global() const { return m_global; }

    // Case-insensitive matching; off by default.
    void setIgnoreCase(bool on);
    bool IgnoreCase() const { return m_ignoreCase; }

    // "^" and "$" also at line feeds; off by default.
    void setMultiline(bool on);
    bool Multiline() const { return m_multiline; }

    // Runs the pattern over the UTF-8 text. With Global on, the matches come left to right
    // without overlap, and an empty match moves the search on by one character.
    // Raises RegExpError when the pattern does not compile.
    TMatchCollection Execute(std::string_view text);

    // Walks the matches Execute would give, left to right, without keeping them: visit
    // gets each whole matched text (a view into text) and where it starts, and returns
    // false to stop. Raises RegExpError when the pattern does not compile.
    void forEachMatch(std::string_view text,
                      const std::function<bool(std::string_view match, std::size_t firstIndex)>& visit);

private:
    friend std::optional<std::string> firstGroup(std::string_view pattern, std::string_view text, int group);
    void compile();

    std::string m_pattern;
    bool m_global = false;
    bool m_ignoreCase = false;
    bool m_multiline = false;
    // The compiled pattern, shared with every TRegExp of the same pattern and flags: a
    // query compiles its pattern once per process, not once per page.
    struct Compiled;
    std::shared_ptr<const Compiled> m_compiled;
};

// The first match's Value with Global off, or an empty text when nothing matches.
// Raises RegExpError for a bad pattern. The common extraction step of every query.
std::string firstMatch(std::string_view pattern, std::string_view text);

// The text group `group` (from 1) of pattern's leftmost match in text holds, or nothing
// when it does not match or has no such group. Raises RegExpError for a bad pattern.
std::optional<std::string> firstGroup(std::string_view pattern, std::string_view text, int group = 1);

} // namespace kaldrani::net
