#pragma once

#include "core/fetch/Outcome.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kaldrani::lookups {

// The offline database failed: missing, damaged, or no answer for an address; the message
// is the program's text for the user.
class IpDatabaseError : public std::runtime_error {
public:
    enum class Kind { Missing, Damaged, NotFound, BadAddress };
    IpDatabaseError(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) { }
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// The attribution DB-IP's licence (CC BY 4.0) asks for beside every answer.
inline constexpr std::string_view kIpAttribution = "IP 数据：DB-IP.com（CC BY 4.0）";
inline constexpr std::string_view kIpDatabaseMissing = "没有离线 IP 数据库，请先下载（kaldrani-cli ip --update）。";

// ${XDG_DATA_HOME:-$HOME/.local/share}/kaldrani/dbip-city-lite.mmdb
std::filesystem::path ipDatabasePath();

// Where an address is, as the database names it (Chinese names where it has them, else
// English); empty parts are unknown.
struct IpPlace {
    std::string address;
    std::string country;
    std::string region;
    std::string city;
};

// Looks address (an IPv4 or IPv6 literal) up in the MMDB file at path (libmaxminddb).
// Raises IpDatabaseError: Missing (no file), Damaged (not an MMDB file), BadAddress (not
// an address literal), NotFound (no entry).
IpPlace lookUpPlace(const std::filesystem::path& path, const std::string& address);

// The IP box's text for place: 您查询的IP：, 国家：, 地区：, 城市： (known parts only), then
// kIpAttribution; CR LF line ends. host, when not empty, adds a 域名： line.
std::string ipPlaceText(const IpPlace& place, const std::string& host = {});

// One lookup of the typed text (an address, or a host name resolved first; "http://" and a
// path dropped) in the database at ipDatabasePath(): what the IP box shows, kIpFailure
// with the reason on any failure (kIpDatabaseMissing when there is no database). Never raises.
fetch::Outcome<std::string> QueryIpPlace(const std::string& typed);

// The own address by the profile's own-address service ("您的IP是：ADDRESS"), and where
// the offline database places it when it has the file; the service's failure as
// QueryOwnAddress gives it. Never raises.
fetch::Outcome<std::string> QueryOwnPlace();

// The address of DB-IP's free city database of a month.
std::string dbIpUrl(int year, int month);

// Downloads this month's database (last month's when this month's is not out yet),
// gunzips it and replaces the file at path crash-safely: written beside it, checked to
// open as an MMDB file, flushed and renamed over it; on any failure the old file stays
// and no temporary file is left. progress gets the bytes received and the total. Raises
// NetError, IpDatabaseError (Damaged) for a download that is no gzip'd MMDB file, or
// std::runtime_error when the file cannot be written.
void updateIpDatabase(const std::filesystem::path& path,
                      const std::function<void(std::uint64_t received, std::uint64_t total)>& progress);

// For tests: gunzips gz and replaces the database at path as updateIpDatabase does.
void installIpDatabase(const std::filesystem::path& path, std::string_view gz);

} // namespace kaldrani::lookups
