#pragma once

#include <string>
#include <vector>

// Writes small MaxMind DB files (format 2.0, as MaxMind documents it) for tests: an IPv6
// search tree of 24-bit records with IPv4 under ::/96, and city-style data.
namespace kaldrani::testing {

struct MmdbPlace {
    std::string network; // "1.2.3.0/24" or "2001:db8::/32"
    std::string country; // English name; empty: none
    std::string countryZh; // zh-CN name; empty: none
    std::string region;
    std::string city;
};

// The file's bytes. Networks must not overlap. Raises std::invalid_argument for a bad one.
std::string writeMmdb(const std::vector<MmdbPlace>& places);

} // namespace kaldrani::testing
