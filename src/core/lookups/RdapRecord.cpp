#include "core/lookups/RdapRecord.h"

#include "core/text/Ascii.h"
#include "core/text/Encoding.h"

#include <nlohmann/json.hpp>

namespace kaldrani::lookups {

namespace {

using nlohmann::json;

// A text fit to show on one line: controls become blanks, the length is bounded on a
// character boundary.
std::string shown(const std::string& value)
{
    std::string out;
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? ' ' : c;
    }
    if (out.size() > kMaxRdapFieldBytes) {
        std::size_t cut = kMaxRdapFieldBytes;
        while (cut > 0 && text::isUtf8Continuation(out[cut]))
            --cut;
        out.resize(cut);
        out += "…";
    }
    return out;
}

std::string stringAt(const json& object, const char* key)
{
    if (!object.is_object())
        return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? shown(it->get<std::string>()) : std::string();
}

const json* arrayAt(const json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? &*it : nullptr;
}

// "YYYY-MM-DD" from an RFC 3339 date ([rfc9083] 4.5), empty when it does not start so.
std::string dayOf(const std::string& date)
{
    if (date.size() < 10 || date[4] != '-' || date[7] != '-')
        return {};
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (date[i] < '0' || date[i] > '9')
            return {};
    return date.substr(0, 10);
}

// The text value of a vCard property ([rfc7095] jCard: ["fn", {}, "text", "Name"]).
std::string vcardValue(const json& entity, const char* property)
{
    const json* card = arrayAt(entity, "vcardArray");
    if (card == nullptr || card->size() < 2 || !(*card)[1].is_array())
        return {};
    for (const json& item : (*card)[1]) {
        if (!item.is_array() || item.size() < 4 || !item[0].is_string() || item[0].get<std::string>() != property)
            continue;
        const json& value = item[3];
        if (value.is_string())
            return shown(value.get<std::string>());
        // An "org" may be structured: its first part is the name.
        if (value.is_array() && !value.empty() && value[0].is_string())
            return shown(value[0].get<std::string>());
    }
    return {};
}

bool hasRole(const json& entity, std::string_view role)
{
    const json* roles = arrayAt(entity, "roles");
    if (roles == nullptr)
        return false;
    for (const json& r : *roles)
        if (r.is_string() && r.get<std::string>() == role)
            return true;
    return false;
}

// The entities, nested ones included (a registrar's is sometimes inside another's), up to
// a bounded depth.
void readEntities(const json& holder, RdapRecord& record, int depth)
{
    const json* entities = arrayAt(holder, "entities");
    if (entities == nullptr || depth > 4)
        return;
    for (const json& entity : *entities) {
        if (!entity.is_object())
            continue;
        if (record.registrar.empty() && hasRole(entity, "registrar")) {
            record.registrar = vcardValue(entity, "fn");
            if (record.registrar.empty())
                record.registrar = stringAt(entity, "handle");
        }
        if (record.registrantOrganisation.empty() && hasRole(entity, "registrant"))
            record.registrantOrganisation = vcardValue(entity, "org");
        readEntities(entity, record, depth + 1);
    }
}

} // namespace

RdapRecord readRdapDomain(std::string_view bytes)
{
    if (bytes.size() > kMaxRdapAnswerBytes)
        throw RdapError("RDAP answer too large");
    if (jsonNestedDeeperThan(bytes, kMaxRdapNesting))
        throw RdapError("RDAP answer nested too deep");
    const json answer = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (answer.is_discarded())
        throw RdapError("RDAP answer is not JSON");
    if (!answer.is_object())
        throw RdapError("RDAP answer is not an object");
    if (stringAt(answer, "objectClassName") != "domain")
        throw RdapError("RDAP answer is not a domain");

    RdapRecord record;
    record.ldhName = text::asciiLower(stringAt(answer, "ldhName"));
    record.unicodeName = stringAt(answer, "unicodeName");
    if (const json* events = arrayAt(answer, "events")) {
        for (const json& event : *events) {
            const std::string action = stringAt(event, "eventAction");
            const std::string day = dayOf(stringAt(event, "eventDate"));
            std::string* field = action == "registration" ? &record.registered
                                 : action == "expiration" ? &record.expires
                                 : action == "last changed" ? &record.changed
                                                            : nullptr;
            if (field != nullptr && field->empty())
                *field = day;
        }
    }
    if (const json* statuses = arrayAt(answer, "status"))
        for (const json& s : *statuses)
            if (s.is_string() && record.statuses.size() < 32)
                record.statuses.push_back(shown(s.get<std::string>()));
    if (const json* servers = arrayAt(answer, "nameservers"))
        for (const json& ns : *servers) {
            const std::string name = text::asciiLower(stringAt(ns, "ldhName"));
            if (!name.empty() && record.nameservers.size() < 32)
                record.nameservers.push_back(name);
        }
    readEntities(answer, record, 0);
    if (const json* links = arrayAt(answer, "links"))
        for (const json& link : *links) {
            const std::string href = stringAt(link, "href");
            const std::string type = stringAt(link, "type");
            if (stringAt(link, "rel") == "related" && (type.empty() || type == "application/rdap+json")
                && href.starts_with("https://") && href.find("/domain/") != std::string::npos) {
                record.relatedUrl = href;
                break;
            }
        }
    return record;
}

std::string rdapText(const RdapRecord& record)
{
    std::string out;
    const auto line = [&out](std::string_view label, const std::string& value) {
        if (!value.empty())
            out.append(label).append(value).append("\r\n");
    };
    std::string name = text::asciiUpper(record.ldhName);
    if (!record.unicodeName.empty() && text::asciiLower(record.unicodeName) != record.ldhName)
        name = record.unicodeName + "（" + name + "）";
    line("域名：", name);
    line("注册商：", record.registrar);
    line("注册人组织：", record.registrantOrganisation);
    line("注册日期：", record.registered);
    line("到期日期：", record.expires);
    line("更新日期：", record.changed);
    for (const std::string& s : record.statuses)
        line("域名状态：", s);
    for (const std::string& ns : record.nameservers)
        line("域名服务器：", ns);
    return out;
}

void addMissing(RdapRecord& record, const RdapRecord& more)
{
    for (auto field : {&RdapRecord::ldhName, &RdapRecord::unicodeName, &RdapRecord::registrar,
                       &RdapRecord::registrantOrganisation, &RdapRecord::registered, &RdapRecord::expires,
                       &RdapRecord::changed})
        if ((record.*field).empty())
            record.*field = more.*field;
    if (record.statuses.empty())
        record.statuses = more.statuses;
    if (record.nameservers.empty())
        record.nameservers = more.nameservers;
}

bool jsonNestedDeeperThan(std::string_view bytes, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if ((c == '[' || c == '{') && ++depth > maxDepth) {
            return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace kaldrani::lookups
