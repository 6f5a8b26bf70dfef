#pragma once

// How long one whole fetch of each caller may last, redirects included, in milliseconds:
// the last bound when a server keeps every single wait short (a byte a second, endless
// headers or redirects). Each is many times what a normal answer takes.
namespace kaldrani::fetch {

// The fourteen counts, PageRank and the Sogou rating (each wait bounded by the safety
// read time-out).
inline constexpr int kOverviewCountFetchTimeoutMs = 30000;
// Alexa and ChinaRank (2000 ms read time-out, redirects followed).
inline constexpr int kRankFetchTimeoutMs = 20000;
// One result page of a keyword scan (1000 ms read time-out).
inline constexpr int kKeywordScanFetchTimeoutMs = 15000;
// The whois and IP lookups (2000 ms read time-out).
inline constexpr int kLookupFetchTimeoutMs = 20000;

} // namespace kaldrani::fetch
