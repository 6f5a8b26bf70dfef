#include "core/lookups/IpDatabase.h"

#include "core/fetch/FailureReason.h"
#include "core/fetch/SafetyTimeout.h"
#include "core/lookups/IpQuery.h"
#include "core/net/HttpClient.h"
#include "core/net/Resolve.h"
#include "core/text/Ascii.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <maxminddb.h>
#include <netdb.h>
#include <unistd.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <system_error>

namespace kaldrani::lookups {

namespace {

// The largest database accepted: the city file is about 130 MiB in 2026.
constexpr std::uint64_t kMaxDatabaseBytes = std::uint64_t{1} << 30;
constexpr std::size_t kMaxDownloadBytes = std::size_t{512} << 20;

class Database {
public:
    explicit Database(const std::filesystem::path& path)
    {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            throw IpDatabaseError(IpDatabaseError::Kind::Missing, std::string(kIpDatabaseMissing));
        const int rc = MMDB_open(path.c_str(), MMDB_MODE_MMAP, &m_db);
        if (rc != MMDB_SUCCESS)
            throw IpDatabaseError(IpDatabaseError::Kind::Damaged,
                                  "IP 数据库无法读取：" + std::string(MMDB_strerror(rc)));
    }
    ~Database() { MMDB_close(&m_db); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    MMDB_s* get() { return &m_db; }

private:
    MMDB_s m_db{};
};

// A name under entry: the path given, then "names", then Chinese or English.
std::string nameAt(MMDB_entry_s& entry, const char* first, const char* second)
{
    for (const char* language : {"zh-CN", "en"}) {
        MMDB_entry_data_s data{};
        const int rc = second != nullptr ? MMDB_get_value(&entry, &data, first, second, "names", language, nullptr)
                                         : MMDB_get_value(&entry, &data, first, "names", language, nullptr);
        if (rc == MMDB_SUCCESS && data.has_data && data.type == MMDB_DATA_TYPE_UTF8_STRING && data.data_size < 1024)
            return std::string(data.utf8_string, data.data_size);
    }
    return {};
}

bool isAddressLiteral(const std::string& text)
{
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, text.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

[[noreturn]] void cannotWrite(const std::filesystem::path& path, int error)
{
    throw std::runtime_error("Cannot create file \"" + path.string() + "\". " + std::strerror(error));
}

void writeAll(int fd, const unsigned char* data, std::size_t size, const std::filesystem::path& path)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            cannotWrite(path, n < 0 ? errno : ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Gunzips gz into fd ([rfc1952] through zlib), at most kMaxDatabaseBytes.
void gunzipInto(std::string_view gz, int fd, const std::filesystem::path& path)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        throw IpDatabaseError(IpDatabaseError::Kind::Damaged, "IP 数据库无法解压");
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, inflateEnd);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    std::uint64_t total = 0;
    unsigned char out[1 << 16];
    for (;;) {
        z.next_out = out;
        z.avail_out = sizeof out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            throw IpDatabaseError(IpDatabaseError::Kind::Damaged, "IP 数据库下载不完整或已损坏");
        const std::size_t produced = sizeof out - z.avail_out;
        total += produced;
        if (total > kMaxDatabaseBytes)
            throw IpDatabaseError(IpDatabaseError::Kind::Damaged, "IP 数据库过大");
        writeAll(fd, out, produced, path);
        if (rc == Z_STREAM_END)
            return;
        if (z.avail_in == 0 && produced == 0)
            throw IpDatabaseError(IpDatabaseError::Kind::Damaged, "IP 数据库下载不完整或已损坏");
    }
}

std::string stripTyped(const std::string& typed)
{
    std::string text(text::trimView(typed));
    for (const char* scheme : {"http://", "https://"})
        if (text.starts_with(scheme))
            text.erase(0, std::strlen(scheme));
    // A host typed as an address "host/path" or "[v6]".
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        return close == std::string::npos ? text : text.substr(1, close - 1);
    }
    if (std::count(text.begin(), text.end(), ':') < 2)
        text = text.substr(0, text.find_first_of(":/"));
    return text;
}

} // namespace

std::filesystem::path ipDatabasePath()
{
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "") / ".local" / "share";
    }
    return base / "kaldrani" / "dbip-city-lite.mmdb";
}

IpPlace lookUpPlace(const std::filesystem::path& path, const std::string& address)
{
    if (!isAddressLiteral(address))
        throw IpDatabaseError(IpDatabaseError::Kind::BadAddress, "不是 IP 地址：" + address);
    Database db(path);
    int gaiError = 0;
    int mmdbError = 0;
    MMDB_lookup_result_s result = MMDB_lookup_string(db.get(), address.c_str(), &gaiError, &mmdbError);
    if (gaiError != 0)
        throw IpDatabaseError(IpDatabaseError::Kind::BadAddress, "不是 IP 地址：" + address);
    if (mmdbError != MMDB_SUCCESS)
        throw IpDatabaseError(IpDatabaseError::Kind::Damaged, "IP 数据库无法读取：" + std::string(MMDB_strerror(mmdbError)));
    if (!result.found_entry)
        throw IpDatabaseError(IpDatabaseError::Kind::NotFound, "IP 数据库中没有 " + address);
    IpPlace place;
    place.address = address;
    place.country = nameAt(result.entry, "country", nullptr);
    place.region = nameAt(result.entry, "subdivisions", "0");
    place.city = nameAt(result.entry, "city", nullptr);
    return place;
}

std::string ipPlaceText(const IpPlace& place, const std::string& host)
{
    std::string out = "您查询的IP：" + place.address + "\r\n";
    if (!host.empty())
        out += "域名：" + host + "\r\n";
    const auto line = [&out](std::string_view label, const std::string& value) {
        if (!value.empty())
            out.append(label).append(value).append("\r\n");
    };
    line("国家：", place.country);
    line("地区：", place.region);
    line("城市：", place.city);
    out += kIpAttribution;
    return out;
}

fetch::Outcome<std::string> QueryIpPlace(const std::string& typed)
{
    try {
        const std::string text = stripTyped(typed);
        std::string address = text;
        std::string host;
        if (!isAddressLiteral(text)) {
            host = text;
            address = net::resolveAddresses(host, fetch::safetyReadTimeoutMs()).front();
        }
        return {ipPlaceText(lookUpPlace(ipDatabasePath(), address), host), {}};
    } catch (const IpDatabaseError& e) {
        if (e.kind() == IpDatabaseError::Kind::Missing)
            return {std::string(kIpDatabaseMissing), fetch::Failure{fetch::FailureKind::Plain, e.what()}};
        if (e.kind() == IpDatabaseError::Kind::NotFound)
            return {std::string(kIpNotFound), fetch::Failure{fetch::FailureKind::Plain, e.what()}};
        return {std::string(kIpFailure), fetch::Failure{fetch::FailureKind::Plain, e.what()}};
    } catch (...) {
        return {std::string(kIpFailure), fetch::failureOf(std::current_exception(), fetch::safetyReadTimeoutMs())};
    }
}

fetch::Outcome<std::string> QueryOwnPlace()
{
    fetch::Outcome<std::string> own = QueryOwnAddress();
    if (own.failed())
        return own;
    const std::string address(text::trimView(own.value));
    if (!isAddressLiteral(address))
        return own;
    std::string shown = "您的IP是：" + address;
    try {
        const IpPlace place = lookUpPlace(ipDatabasePath(), address);
        const std::string located = ipPlaceText(place);
        shown += located.substr(located.find("\r\n"));
    } catch (const IpDatabaseError&) {
        // Without the database the address alone is the answer.
    }
    return {shown, {}};
}

std::string dbIpUrl(int year, int month)
{
    char name[64];
    std::snprintf(name, sizeof name, "dbip-city-lite-%04d-%02d.mmdb.gz", year, month);
    return std::string("https://download.db-ip.com/free/") + name;
}

void installIpDatabase(const std::filesystem::path& path, std::string_view gz)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::string pattern = path.string() + ".partial-XXXXXX";
    FdCloser fd{::mkstemp(pattern.data())};
    if (fd.fd < 0)
        cannotWrite(path, errno);
    const std::filesystem::path temporary = pattern;
    try {
        gunzipInto(gz, fd.fd, path);
        if (::fsync(fd.fd) != 0)
            cannotWrite(path, errno);
        ::fchmod(fd.fd, 0644);
        Database check(temporary);
        if (std::rename(temporary.c_str(), path.c_str()) != 0)
            cannotWrite(path, errno);
    } catch (...) {
        std::filesystem::remove(temporary, ec);
        throw;
    }
    // The rename itself reaches the disk with its folder.
    FdCloser folder{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0)
        ::fsync(folder.fd);
}

void updateIpDatabase(const std::filesystem::path& path,
                      const std::function<void(std::uint64_t received, std::uint64_t total)>& progress)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    int year = tm.tm_year + 1900;
    int month = tm.tm_mon + 1;
    std::string gz;
    for (int attempt = 0;; ++attempt) {
        net::THttpClient client;
        client.UserAgent = "kaldrani";
        client.Accept = "*/*";
        client.HandleRedirects = true;
        client.ReadTimeout = 30000;
        client.ConnectTimeout = 15000;
        client.FetchTimeout = 30 * 60 * 1000;
        client.MaxBodyBytes = kMaxDownloadBytes;
        client.Progress = progress;
        try {
            gz.clear();
            client.FetchPage(dbIpUrl(year, month), gz);
            break;
        } catch (const net::HttpStatusError& e) {
            // Early in a month the new file may not be published yet.
            if (e.code() != 404 || attempt > 0)
                throw;
            if (--month == 0) {
                month = 12;
                --year;
            }
        }
    }
    installIpDatabase(path, gz);
}

} // namespace kaldrani::lookups
