#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kaldrani::standin {

class StandinServer;

// The made-up answers of the lookup pages: stable for a name, different across names.
struct PlaceFigures {
    std::string address; // the IPv4 address asked, or the one made up for a host name
    std::string region;  // province and city
    std::string network; // the carrier
};

// Where the IP service places the text asked: an IPv4 literal, or a host name (letters,
// digits, "-" and ".", with a dot and a letter). Nothing for anything else.
std::optional<PlaceFigures> placeOf(std::string_view asked);

// The address the IP service reports as the asker's own.
inline constexpr std::string_view kStandinOwnAddress = "203.0.113.25";

// The whois record lines (without line ends) the stand-in states for domain.
std::string whoisRecord(std::string_view domain);

// Installs the whois page ("/cgi-bin/whois") and the maker's IP service ("/ip/data/").
void addLookupRoutes(StandinServer& server);

} // namespace kaldrani::standin
