#pragma once

#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kaldrani::profiles {

// How a service's page is read: Stream takes the body's bytes as GBK, String as the
// answer declares (UTF-8, else one character per byte), Auto by the charset the answer
// declares (Content-Type, then <meta charset>), UTF-8 when it declares none.
enum class PageForm { Stream, String, Auto };

// How a keyword result's wrapped address is turned back into the real one.
enum class UnwrapDecode { None, Base64Url, Percent };

// How a rank service's answer is read: by the pattern, or as Tranco's ranks JSON.
enum class AnswerReader { Pattern, TrancoJson };

// The bytes a keyword is sent as before it is percent-encoded.
enum class TermEncoding { Gbk, Utf8 };

// One step of the text cut out of a page: every `from` becomes `to` (empty: removed).
struct Edit {
    std::string from;
    std::string to;

    bool operator==(const Edit&) const = default;
};

// Where a value came from: the default profile (file empty) or a line of the user's file.
struct Origin {
    std::string file;
    int line = 0;

    bool fromUser() const { return !file.empty(); }
};

// Everything the program knows about asking one service and reading its answer. Which
// keys a service has is what the default profile gives it; the others keep these values.
struct Service {
    std::string name; // "count.baidu.indexed", "keyword.bing", "lookup.whois", ...
    bool enabled = true;
    std::string scheme = "http";
    std::string host;
    std::string path;
    std::string query; // {site}, {keyword}, {page}, {domain}, {address} stand for the input
    int pageFirst = 0;
    int pageStep = 0;
    TermEncoding termEncoding = TermEncoding::Gbk;
    PageForm form = PageForm::String;
    std::string userAgent;
    bool followRedirects = false;
    int readTimeoutMs = 0;    // 0: the safety bound
    int connectTimeoutMs = 0; // 0: the safety bound
    int deadlineMs = 0;       // 0: the client's own
    std::string pattern;      // empty: the whole page
    int group = 0;            // the pattern's group that is read; 0: the whole match
    std::vector<Edit> removals;
    std::vector<std::string> blocked;
    std::string notFound;
    // The proxy its fetches go through, above every other setting ("" direct); unset: the
    // program's own choice. Every service may have it.
    std::optional<std::string> proxy;
    // Not empty: the service is gone and never asked; the text says when and why.
    std::string retired;
    // The label shown where the slot now holds another service; empty: the slot's own.
    std::string label;
    // Request headers sent beside the client's own, in the profile's order.
    std::vector<std::pair<std::string, std::string>> headers;
    // Keyword scans: a pattern whose first group, taken from a result's match and decoded
    // as unwrapDecode says, is the result's real address; empty: the match is the address.
    std::string unwrap;
    UnwrapDecode unwrapDecode = UnwrapDecode::None;
    AnswerReader reader = AnswerReader::Pattern;
    // At least this long between two requests of the process to the host; 0: no spacing.
    int minIntervalMs = 0;

    // The keys this service has, in the default profile's order, and where each value
    // came from.
    std::vector<std::string> keys;
    std::map<std::string, Origin, std::less<>> origins;

    // The address for the inputs given as {name, value} pairs: scheme://host path, then
    // "?" and the query with each {name} replaced, when the query is not empty. A {name}
    // not given stays as it is.
    std::string url(std::initializer_list<std::pair<std::string_view, std::string_view>> inputs) const;

    // The value {page} takes for result page p (from 1).
    long long pageValue(long long page) const { return pageFirst + (page - 1) * pageStep; }

    // What pattern takes out of page: the first match (or its group `group`), empty when
    // nothing matches. Raises what the match raises.
    std::string matched(std::string_view page) const;

    // text after every removal, in order.
    std::string edited(std::string text) const;
};

// A problem with the user's file: the file, the line (0 when unknown), the key
// ("count.baidu.indexed.pattern", or empty for the whole file) and what is wrong.
struct Problem {
    std::string file;
    int line = 0;
    std::string key;
    std::string message;

    // "FILE:LINE: KEY: MESSAGE", the parts that are known.
    std::string text() const;
};

// Every service, in the default profile's order, and the problems met reading the
// user's file (their keys kept their defaults).
struct Profile {
    std::string base = "classic"; // "classic" or "current": the embedded profile the user's file is read over
    std::vector<Service> services;
    std::vector<Problem> problems;
    // The user's file that was read, empty when there was none.
    std::string userFile;
    // The proxy at the top of the user's file, for every service without its own.
    std::optional<std::string> proxy;

    // The service of that name, or nullptr.
    const Service* find(std::string_view name) const;
};

} // namespace kaldrani::profiles
