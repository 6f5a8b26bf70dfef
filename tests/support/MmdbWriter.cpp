#include "MmdbWriter.h"

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace kaldrani::testing {

namespace {

// The data section's encoding: a control byte with the type in its top three bits and
// the size in the low five; types above 7 go in an extra byte after it.
void control(std::string& out, int type, std::size_t size)
{
    std::string sizeBytes;
    int low;
    if (size < 29) {
        low = static_cast<int>(size);
    } else if (size < 285) {
        low = 29;
        sizeBytes += static_cast<char>(size - 29);
    } else {
        low = 30;
        const std::size_t rest = size - 285;
        sizeBytes += static_cast<char>(rest >> 8);
        sizeBytes += static_cast<char>(rest & 0xFF);
    }
    if (type <= 7) {
        out += static_cast<char>((type << 5) | low);
    } else {
        out += static_cast<char>(low);
        out += static_cast<char>(type - 7);
    }
    out += sizeBytes;
}

void utf8(std::string& out, const std::string& s)
{
    control(out, 2, s.size());
    out += s;
}

void unsignedValue(std::string& out, int type, std::uint64_t v)
{
    std::string bytes;
    for (; v > 0; v >>= 8)
        bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
    control(out, type, bytes.size());
    out += bytes;
}

// {"names": {"en": en, "zh-CN": zh}} with the names given.
void names(std::string& out, const std::string& en, const std::string& zh)
{
    control(out, 7, 1);
    utf8(out, "names");
    control(out, 7, (en.empty() ? 0 : 1) + (zh.empty() ? 0 : 1));
    if (!en.empty()) {
        utf8(out, "en");
        utf8(out, en);
    }
    if (!zh.empty()) {
        utf8(out, "zh-CN");
        utf8(out, zh);
    }
}

std::string placeData(const MmdbPlace& p)
{
    std::string out;
    const int keys = (p.country.empty() && p.countryZh.empty() ? 0 : 1) + (p.region.empty() ? 0 : 1)
                     + (p.city.empty() ? 0 : 1);
    control(out, 7, keys);
    if (!p.city.empty()) {
        utf8(out, "city");
        names(out, p.city, {});
    }
    if (!p.country.empty() || !p.countryZh.empty()) {
        utf8(out, "country");
        names(out, p.country, p.countryZh);
    }
    if (!p.region.empty()) {
        utf8(out, "subdivisions");
        control(out, 11, 1);
        names(out, p.region, {});
    }
    return out;
}

struct Node {
    // -1: empty; >= 0 a node; <= -2: data at offset (-2 - value).
    std::array<std::int64_t, 2> child{-1, -1};
};

std::array<unsigned char, 16> parseNetwork(const std::string& network, int& prefix)
{
    const std::size_t slash = network.find('/');
    if (slash == std::string::npos)
        throw std::invalid_argument("no prefix: " + network);
    const std::string address = network.substr(0, slash);
    prefix = std::stoi(network.substr(slash + 1));
    std::array<unsigned char, 16> bits{};
    if (::inet_pton(AF_INET, address.c_str(), bits.data() + 12) == 1) {
        prefix += 96;
    } else if (::inet_pton(AF_INET6, address.c_str(), bits.data()) != 1) {
        throw std::invalid_argument("not an address: " + network);
    }
    if (prefix < 1 || prefix > 128)
        throw std::invalid_argument("bad prefix: " + network);
    return bits;
}

} // namespace

std::string writeMmdb(const std::vector<MmdbPlace>& places)
{
    std::vector<Node> tree(1);
    std::string data;
    for (const MmdbPlace& p : places) {
        int prefix = 0;
        const std::array<unsigned char, 16> bits = parseNetwork(p.network, prefix);
        const std::int64_t offset = static_cast<std::int64_t>(data.size());
        data += placeData(p);
        std::int64_t node = 0;
        for (int i = 0; i < prefix; ++i) {
            const int bit = (bits[i / 8] >> (7 - i % 8)) & 1;
            if (i == prefix - 1) {
                tree[node].child[bit] = -2 - offset;
                break;
            }
            if (tree[node].child[bit] < -1)
                throw std::invalid_argument("overlapping network: " + p.network);
            if (tree[node].child[bit] == -1) {
                tree[node].child[bit] = static_cast<std::int64_t>(tree.size());
                tree.emplace_back();
            }
            node = tree[node].child[bit];
        }
    }

    const auto nodeCount = static_cast<std::uint64_t>(tree.size());
    std::string out;
    for (const Node& n : tree) {
        for (const std::int64_t c : n.child) {
            const std::uint64_t record = c == -1 ? nodeCount
                                         : c >= 0 ? static_cast<std::uint64_t>(c)
                                                  : nodeCount + 16 + static_cast<std::uint64_t>(-2 - c);
            out += static_cast<char>((record >> 16) & 0xFF);
            out += static_cast<char>((record >> 8) & 0xFF);
            out += static_cast<char>(record & 0xFF);
        }
    }
    out += std::string(16, '\0');
    out += data;
    out += "\xAB\xCD\xEFMaxMind.com";
    std::string meta;
    control(meta, 7, 9);
    utf8(meta, "binary_format_major_version");
    unsignedValue(meta, 5, 2);
    utf8(meta, "binary_format_minor_version");
    unsignedValue(meta, 5, 0);
    utf8(meta, "build_epoch");
    unsignedValue(meta, 9, 1765000000);
    utf8(meta, "database_type");
    utf8(meta, "DBIP-City-Lite");
    utf8(meta, "description");
    control(meta, 7, 1);
    utf8(meta, "en");
    utf8(meta, "Kaldrani test database");
    utf8(meta, "ip_version");
    unsignedValue(meta, 5, 6);
    utf8(meta, "languages");
    control(meta, 11, 2);
    utf8(meta, "en");
    utf8(meta, "zh-CN");
    utf8(meta, "node_count");
    unsignedValue(meta, 6, nodeCount);
    utf8(meta, "record_size");
    unsignedValue(meta, 5, 24);
    out += meta;
    return out;
}

} // namespace kaldrani::testing
