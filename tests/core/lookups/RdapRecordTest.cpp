#include "TempFolder.h"

#include "core/lookups/RdapBootstrap.h"
#include "core/lookups/RdapRecord.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kaldrani::lookups {
namespace {

// The shape of a thin registry's answer, as .com's is (RFC 9083 5.3).
const std::string kRegistryAnswer = R"({
  "objectClassName": "domain", "ldhName": "EXAMPLE.COM",
  "links": [{"rel": "self", "href": "https://rdap.verisign.com/com/v1/domain/EXAMPLE.COM", "type": "application/rdap+json"},
            {"rel": "related", "href": "https://rdap.registrar.test/domain/EXAMPLE.COM", "type": "application/rdap+json"}],
  "status": ["client delete prohibited", "client transfer prohibited"],
  "entities": [{"objectClassName": "entity", "roles": ["registrar"],
                "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "Example Registrar, Inc."]]]}],
  "events": [{"eventAction": "registration", "eventDate": "1995-08-14T04:00:00Z"},
             {"eventAction": "expiration", "eventDate": "2027-08-13T04:00:00Z"},
             {"eventAction": "last changed", "eventDate": "2026-08-14T07:01:34Z"},
             {"eventAction": "last update of RDAP database", "eventDate": "2026-12-10T10:00:00Z"}],
  "nameservers": [{"objectClassName": "nameserver", "ldhName": "A.IANA-SERVERS.NET"},
                  {"objectClassName": "nameserver", "ldhName": "B.IANA-SERVERS.NET"}]
})";

TEST(RdapRecord, ReadsTheFieldsAPersonLooksFor)
{
    const RdapRecord record = readRdapDomain(kRegistryAnswer);
    EXPECT_EQ(record.relatedUrl, "https://rdap.registrar.test/domain/EXAMPLE.COM");
    EXPECT_EQ(rdapText(record), "域名：EXAMPLE.COM\r\n"
                                "注册商：Example Registrar, Inc.\r\n"
                                "注册日期：1995-08-14\r\n"
                                "到期日期：2027-08-13\r\n"
                                "更新日期：2026-08-14\r\n"
                                "域名状态：client delete prohibited\r\n"
                                "域名状态：client transfer prohibited\r\n"
                                "域名服务器：a.iana-servers.net\r\n"
                                "域名服务器：b.iana-servers.net\r\n");
}

TEST(RdapRecord, MissingFieldsAreLeftOutAndTheRegistrarFillsGaps)
{
    const RdapRecord registry = readRdapDomain(
        R"({"objectClassName": "domain", "ldhName": "xn--55qx5d.xn--io0a7i", "unicodeName": "公司.网络",
            "events": [{"eventAction": "expiration", "eventDate": "2028-01-02T00:00:00Z"}]})");
    EXPECT_EQ(rdapText(registry), "域名：公司.网络（XN--55QX5D.XN--IO0A7I）\r\n到期日期：2028-01-02\r\n");

    RdapRecord merged = registry;
    addMissing(merged, readRdapDomain(R"({"objectClassName": "domain", "entities": [{"roles": ["registrant", "admin"],
        "vcardArray": ["vcard", [["org", {}, "text", "公司网络科技有限公司"]]]}],
        "events": [{"eventAction": "expiration", "eventDate": "2030-01-01T00:00:00Z"}]})"));
    EXPECT_EQ(rdapText(merged),
              "域名：公司.网络（XN--55QX5D.XN--IO0A7I）\r\n注册人组织：公司网络科技有限公司\r\n到期日期：2028-01-02\r\n");
}

TEST(RdapRecord, HostileAnswersFailWithAReasonOrArePassedOver)
{
    struct Case {
        const char* name;
        std::string json;
        const char* error; // nullptr: reads, with the text below
        std::string text;
    };
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string hugeName(3u << 20, 'A');
    const Case cases[] = {
        {"deep nesting", deep, "RDAP answer nested too deep", {}},
        {"deep nesting inside an object", R"({"objectClassName": "domain", "x": )" + deep + "}",
         "RDAP answer nested too deep", {}},
        {"brackets inside strings do not count", R"({"objectClassName": "domain", "ldhName": "a.com", "x": ")"
                                                     + std::string(1000, '[') + R"("})",
         nullptr, "域名：A.COM\r\n"},
        {"over the size bound", std::string(kMaxRdapAnswerBytes + 1, ' '), "RDAP answer too large", {}},
        {"not JSON", "<html>Service Unavailable</html>", "RDAP answer is not JSON", {}},
        {"bad UTF-8", "{\"objectClassName\": \"domain\", \"ldhName\": \"\xff\"}", "RDAP answer is not JSON", {}},
        {"an array", "[]", "RDAP answer is not an object", {}},
        {"an error object", R"({"errorCode": 404, "title": "Not Found"})", "RDAP answer is not a domain", {}},
        {"every field of the wrong type",
         R"({"objectClassName": "domain", "ldhName": 7, "events": "soon", "status": [1, {}, null],
             "nameservers": {"a": 1}, "entities": [1, "x", {"roles": "registrar", "vcardArray": 3}],
             "links": [{"rel": "related", "href": 5}]})",
         nullptr, ""},
        {"dates that are no dates",
         R"({"objectClassName": "domain", "events": [{"eventAction": "expiration", "eventDate": "tomorrow"},
             {"eventAction": "registration", "eventDate": 20250101}]})",
         nullptr, ""},
        {"huge string and controls", R"({"objectClassName": "domain", "ldhName": "a.com", "status": ["ok\r\n\u001b[2J"],
             "entities": [{"roles": ["registrar"], "vcardArray": ["vcard", [["fn", {}, "text", ")" + hugeName + R"("]]]}]})",
         nullptr, "域名：A.COM\r\n注册商：" + std::string(kMaxRdapFieldBytes, 'A') + "…\r\n域名状态：ok   [2J\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const RdapRecord record = readRdapDomain(c.json);
            EXPECT_EQ(c.error, nullptr) << "read";
            EXPECT_EQ(rdapText(record), c.text);
        } catch (const RdapError& e) {
            EXPECT_NE(c.error, nullptr) << e.what();
            if (c.error != nullptr) {
                EXPECT_STREQ(e.what(), c.error);
            }
        }
    }
}

const std::string kBootstrap = R"({"version": "1.0", "services": [
    [["com", "net"], ["http://rdap.verisign.com/com/v1/", "https://rdap.verisign.com/com/v1/"]],
    [["xn--io0a7i"], ["https://rdap.example-registry.test/rdap"]],
    [["org"], ["http://rdap.plain.test/"]],
    [["bad"], [7]], "junk"]})";

TEST(RdapBootstrap, FindsTheBaseOfATld)
{
    struct Case {
        const char* name;
        const char* tld;
        const char* base;
    };
    const Case cases[] = {
        {"https chosen over http", "net", "https://rdap.verisign.com/com/v1/"},
        {"any case", "COM", "https://rdap.verisign.com/com/v1/"},
        {"slash added", "xn--io0a7i", "https://rdap.example-registry.test/rdap/"},
        {"http when that is all", "org", "http://rdap.plain.test/"},
        {"no usable address", "bad", ""},
        {"not listed", "cn", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rdapBaseFor(kBootstrap, c.tld), c.base);
    }
    EXPECT_THROW(rdapBaseFor("{}", "com"), RdapError);
    EXPECT_THROW(rdapBaseFor("not json", "com"), RdapError);
}

TEST(RdapBootstrap, TheCachedCopyServesAWeekAndOutlivesAFailedRefresh)
{
    const kaldrani::testing::TempFolder folder;
    const std::filesystem::path path = folder.path() / "kaldrani" / "rdap-dns.json";
    const std::string newer = R"({"services": [[["com"], ["https://new.test/"]]]})";
    int fetches = 0;
    const auto serve = [&](std::string bytes) {
        return [&fetches, bytes] {
            ++fetches;
            return bytes;
        };
    };
    const auto failing = [&fetches]() -> std::string {
        ++fetches;
        throw std::runtime_error("Socket Error # 111\r\nConnection refused.");
    };
    const auto age = [&path](std::chrono::hours hours) {
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - hours);
    };

    // None yet and none to be had: the failure stands.
    EXPECT_THROW(bootstrapFile(path, failing), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(path));
    // Fetched, folder made, kept.
    EXPECT_EQ(bootstrapFile(path, serve(kBootstrap)), kBootstrap);
    EXPECT_EQ(bootstrapFile(path, serve(newer)), kBootstrap);
    EXPECT_EQ(fetches, 2);
    // Six days on it still serves; at eight it is asked for again.
    age(std::chrono::hours(24 * 6));
    EXPECT_EQ(bootstrapFile(path, failing), kBootstrap);
    EXPECT_EQ(fetches, 2);
    age(std::chrono::hours(24 * 8));
    EXPECT_EQ(bootstrapFile(path, failing), kBootstrap);
    EXPECT_EQ(bootstrapFile(path, serve("<html>maintenance</html>")), kBootstrap);
    EXPECT_EQ(fetches, 4);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kBootstrap);
    EXPECT_EQ(bootstrapFile(path, serve(newer)), newer);
    EXPECT_EQ(bootstrapFile(path, failing), newer);
}

} // namespace
} // namespace kaldrani::lookups
