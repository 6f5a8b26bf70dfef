#include "core/lookups/RdapBootstrap.h"

#include "core/lookups/RdapRecord.h"
#include "core/records/FileIo.h"
#include "core/text/Ascii.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <exception>
#include <system_error>

namespace kaldrani::lookups {

namespace {

using nlohmann::json;

const json& servicesOf(const json& file)
{
    if (!file.is_object() || !file.contains("services") || !file["services"].is_array())
        throw RdapError("not an RDAP bootstrap file");
    return file["services"];
}

json parseBootstrap(std::string_view bytes)
{
    // The file is about 40 KiB and two levels deep; anything far beyond is not it.
    if (bytes.size() > kMaxRdapAnswerBytes)
        throw RdapError("RDAP bootstrap file too large");
    if (jsonNestedDeeperThan(bytes, 16))
        throw RdapError("RDAP bootstrap file nested too deep");
    json file = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (file.is_discarded())
        throw RdapError("RDAP bootstrap file is not JSON");
    servicesOf(file);
    return file;
}

} // namespace

std::string rdapBaseFor(std::string_view bootstrap, std::string_view tld)
{
    const json file = parseBootstrap(bootstrap);
    const std::string wanted = text::asciiLower(tld);
    // [rfc9224] 4: each service is [[labels...], [base URLs...]].
    for (const json& service : servicesOf(file)) {
        if (!service.is_array() || service.size() < 2 || !service[0].is_array() || !service[1].is_array())
            continue;
        bool matches = false;
        for (const json& label : service[0])
            if (label.is_string() && text::asciiLower(label.get<std::string>()) == wanted)
                matches = true;
        if (!matches)
            continue;
        std::string chosen;
        for (const json& url : service[1]) {
            if (!url.is_string())
                continue;
            const std::string u = url.get<std::string>();
            if (u.starts_with("https://")) {
                chosen = u;
                break;
            }
            if (chosen.empty() && u.starts_with("http://"))
                chosen = u;
        }
        if (chosen.empty())
            continue;
        if (chosen.back() != '/')
            chosen += '/';
        return chosen;
    }
    return {};
}

std::filesystem::path bootstrapCachePath()
{
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "") / ".cache";
    }
    return base / "kaldrani" / "rdap-dns.json";
}

std::string bootstrapFile(const std::filesystem::path& path, const std::function<std::string()>& fetch)
{
    std::string cached;
    bool fresh = false;
    try {
        cached = records::fileio::readDataFile(path);
        std::error_code ec;
        const auto written = std::filesystem::last_write_time(path, ec);
        fresh = !ec && std::filesystem::file_time_type::clock::now() - written < kBootstrapMaxAge;
        parseBootstrap(cached);
    } catch (const std::exception&) {
        cached.clear();
        fresh = false;
    }
    if (fresh)
        return cached;
    try {
        std::string fetched = fetch();
        parseBootstrap(fetched);
        try {
            std::error_code ec;
            std::filesystem::create_directories(path.parent_path(), ec);
            records::fileio::replaceFile(path, fetched);
        } catch (const std::exception&) {
            // Without a cache the next lookup fetches the file again: slower, still right.
        }
        return fetched;
    } catch (const std::exception&) {
        if (!cached.empty())
            return cached;
        throw;
    }
}

} // namespace kaldrani::lookups
