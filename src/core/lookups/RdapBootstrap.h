#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kaldrani::lookups {

// IANA's bootstrap file for domains ([rfc9224]), and how long a cached copy serves.
inline constexpr std::string_view kRdapBootstrapUrl = "https://data.iana.org/rdap/dns.json";
inline constexpr std::chrono::hours kBootstrapMaxAge{24 * 7};

// The RDAP base address of tld (an A-label, any case) in a bootstrap file's bytes
// ([rfc9224] 4, 5.1): its https address when it has one, ending in "/"; empty when the
// file names no service for it. Raises RdapError when the bytes are not a bootstrap file
// (not JSON, no "services" array, too large or too deeply nested).
std::string rdapBaseFor(std::string_view bootstrap, std::string_view tld);

// ${XDG_CACHE_HOME:-$HOME/.cache}/kaldrani/rdap-dns.json
std::filesystem::path bootstrapCachePath();

// The bootstrap file: the copy at path when it is younger than kBootstrapMaxAge, else
// what fetch returns, written to path crash-safely (the folder made when missing) when
// it reads as a bootstrap file. When fetch raises or returns no bootstrap file, an older
// copy serves; without one, what fetch raised is raised again (RdapError for bytes that
// are no bootstrap file). A copy that cannot be written is passed over.
std::string bootstrapFile(const std::filesystem::path& path, const std::function<std::string()>& fetch);

} // namespace kaldrani::lookups
