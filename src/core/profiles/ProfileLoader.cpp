#include "core/profiles/ProfileLoader.h"

#include "core/net/Proxy.h"
#include "core/net/TRegExp.h"
#include "core/profiles/ProfileLimits.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>

namespace kaldrani::profiles {

namespace {

// Far beyond any profile; a stray big file must not be read whole.
constexpr std::uintmax_t kMaxProfileBytes = 1 << 20;

// What is wrong with a value, or nothing.
using Fault = std::optional<std::string>;

Fault compiles(const std::string& pattern)
{
    try {
        net::TRegExp re;
        re.setPattern(pattern);
        re.Execute("");
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string("the pattern does not compile: ") + e.what();
    }
}

// The {name}s a query text holds, in order.
std::set<std::string> placeholders(std::string_view query)
{
    std::set<std::string> names;
    for (std::size_t open = query.find('{'); open != std::string_view::npos; open = query.find('{', open + 1)) {
        const std::size_t close = query.find('}', open);
        if (close == std::string_view::npos)
            break;
        names.emplace(query.substr(open + 1, close - open - 1));
    }
    return names;
}

std::string joined(const std::set<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "{" : ", {") + n + "}";
    return out.empty() ? "nothing" : out;
}

Fault readString(const toml::node& node, std::string& out)
{
    out = *node.value<std::string>();
    return std::nullopt;
}

Fault readTimeout(const toml::node& node, int& out)
{
    const std::int64_t v = *node.value<std::int64_t>();
    if (v < 0 || v > 3600000)
        return "must be 0 to 3600000 milliseconds";
    out = static_cast<int>(v);
    return std::nullopt;
}

Fault readEdits(const toml::node& node, std::vector<Edit>& out)
{
    std::vector<Edit> edits;
    for (const toml::node& item : *node.as_array()) {
        if (const auto s = item.value<std::string>()) {
            edits.push_back({*s, {}});
            continue;
        }
        const toml::array* pair = item.as_array();
        if (pair == nullptr || pair->size() != 2 || !(*pair)[0].is_string() || !(*pair)[1].is_string())
            return "each removal must be a text, or a pair [\"from\", \"to\"]";
        edits.push_back({*(*pair)[0].value<std::string>(), *(*pair)[1].value<std::string>()});
    }
    for (const Edit& e : edits)
        if (e.from.empty())
            return "a removal of an empty text removes nothing";
    out = std::move(edits);
    return std::nullopt;
}

Fault readPatterns(const toml::node& node, std::vector<std::string>& out)
{
    std::vector<std::string> patterns;
    for (const toml::node& item : *node.as_array()) {
        const auto s = item.value<std::string>();
        if (!s)
            return "each marker must be a pattern text";
        if (s->empty())
            return "an empty marker would match every page";
        if (Fault f = compiles(*s))
            return f;
        patterns.push_back(*s);
    }
    out = std::move(patterns);
    return std::nullopt;
}

// Header names are tokens; the client writes Host, Cookie and the framing itself.
Fault readHeaders(const toml::node& node, std::vector<std::pair<std::string, std::string>>& out)
{
    const toml::table& table = *node.as_table();
    std::vector<std::pair<std::pair<int, int>, std::pair<std::string, std::string>>> ordered;
    for (auto&& [key, value] : table) {
        const std::string name(key.str());
        const auto text = value.value<std::string>();
        if (!text)
            return "each header must be a text";
        if (name.empty() || name.find_first_not_of("!#$%&'*+-.^_`|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")
                                != std::string::npos)
            return "\"" + name + "\" is not a header name";
        for (const char* own : {"host", "cookie", "content-length", "transfer-encoding", "connection"})
            if (name.size() == std::string_view(own).size()
                && std::equal(name.begin(), name.end(), own, [](char a, char b) { return (a | 0x20) == b; }))
                return "\"" + name + "\" is written by the client itself";
        if (text->find_first_of("\r\n") != std::string::npos || text->size() > 1024)
            return "each header value must be one line of at most 1024 characters";
        ordered.push_back({{static_cast<int>(value.source().begin.line), static_cast<int>(value.source().begin.column)},
                           {name, *text}});
    }
    // toml++ keeps keys sorted; send them in the file's order, an inline table's too.
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.clear();
    for (auto& [line, header] : ordered)
        out.push_back(std::move(header));
    return std::nullopt;
}

// Keys every service may be given, whether its base has them or not, with their type.
std::optional<toml::node_type> implicitKeyType(std::string_view key)
{
    if (key == "enabled")
        return toml::node_type::boolean;
    if (key == "retired" || key == "label")
        return toml::node_type::string;
    if (key == "headers")
        return toml::node_type::table;
    return std::nullopt;
}

// How one key is read into a service; the default's node says which keys a service has
// and what type each takes.
struct KeyRule {
    const char* key;
    std::function<Fault(const toml::node& node, const Service& defaults, Service& s)> read;
};

const std::vector<KeyRule>& keyRules()
{
    static const std::vector<KeyRule> rules = {
        {"enabled", [](const toml::node& n, const Service&, Service& s) -> Fault {
             s.enabled = *n.value<bool>();
             return std::nullopt;
         }},
        {"scheme", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v != "http" && v != "https")
                 return "must be \"http\" or \"https\"";
             s.scheme = v;
             return std::nullopt;
         }},
        {"host", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (Fault f = profileHostFault(v))
                 return f;
             s.host = v;
             return std::nullopt;
         }},
        {"path", [](const toml::node& n, const Service& defaults, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (!v.starts_with('/') || v.find_first_of("?# \t\r\n") != std::string::npos)
                 return "must start with \"/\" and hold no query";
             const std::set<std::string> wanted = placeholders(defaults.path);
             if (placeholders(v) != wanted)
                 return "must hold " + joined(wanted) + " and no other {name}";
             s.path = v;
             return std::nullopt;
         }},
        {"query", [](const toml::node& n, const Service& defaults, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             const std::set<std::string> wanted = placeholders(defaults.query);
             if (placeholders(v) != wanted)
                 return "must hold " + joined(wanted) + " and no other {name}";
             if (v.find_first_of(" \t\r\n#") != std::string::npos)
                 return "must hold no blank, line break or \"#\"";
             s.query = v;
             return std::nullopt;
         }},
        {"page_first", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::int64_t v = *n.value<std::int64_t>();
             if (v < 0 || v > 1000000)
                 return "must be 0 to 1000000";
             s.pageFirst = static_cast<int>(v);
             return std::nullopt;
         }},
        {"page_step", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::int64_t v = *n.value<std::int64_t>();
             if (v < 1 || v > 1000)
                 return "must be 1 to 1000";
             s.pageStep = static_cast<int>(v);
             return std::nullopt;
         }},
        {"term_encoding", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v == "gbk")
                 s.termEncoding = TermEncoding::Gbk;
             else if (v == "utf-8")
                 s.termEncoding = TermEncoding::Utf8;
             else
                 return "must be \"gbk\" or \"utf-8\"";
             return std::nullopt;
         }},
        {"form", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v == "stream")
                 s.form = PageForm::Stream;
             else if (v == "string")
                 s.form = PageForm::String;
             else if (v == "auto")
                 s.form = PageForm::Auto;
             else
                 return "must be \"stream\" or \"string\" (or \"auto\": the charset the answer declares)";
             return std::nullopt;
         }},
        {"user_agent", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (Fault f = profileUserAgentFault(v))
                 return f;
             s.userAgent = v;
             return std::nullopt;
         }},
        {"follow_redirects", [](const toml::node& n, const Service&, Service& s) -> Fault {
             s.followRedirects = *n.value<bool>();
             return std::nullopt;
         }},
        {"read_timeout_ms", [](const toml::node& n, const Service&, Service& s) { return readTimeout(n, s.readTimeoutMs); }},
        {"connect_timeout_ms", [](const toml::node& n, const Service&, Service& s) { return readTimeout(n, s.connectTimeoutMs); }},
        {"deadline_ms", [](const toml::node& n, const Service&, Service& s) { return readTimeout(n, s.deadlineMs); }},
        {"pattern", [](const toml::node& n, const Service&, Service& s) -> Fault {
             std::string v = *n.value<std::string>();
             if (!v.empty())
                 if (Fault f = compiles(v))
                     return f;
             s.pattern = std::move(v);
             return std::nullopt;
         }},
        {"group", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::int64_t v = *n.value<std::int64_t>();
             if (v < 0 || v > 9)
                 return "must be 0 to 9";
             s.group = static_cast<int>(v);
             return std::nullopt;
         }},
        {"removals", [](const toml::node& n, const Service&, Service& s) { return readEdits(n, s.removals); }},
        {"blocked", [](const toml::node& n, const Service&, Service& s) { return readPatterns(n, s.blocked); }},
        {"not_found", [](const toml::node& n, const Service&, Service& s) { return readString(n, s.notFound); }},
        {"retired", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v.find_first_of("\r\n") != std::string::npos)
                 return "must be one line";
             s.retired = v;
             return std::nullopt;
         }},
        {"label", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v.size() > 64 || v.find_first_of("\t\r\n") != std::string::npos)
                 return "must be one short line";
             s.label = v;
             return std::nullopt;
         }},
        {"headers", [](const toml::node& n, const Service&, Service& s) { return readHeaders(n, s.headers); }},
        {"unwrap", [](const toml::node& n, const Service&, Service& s) -> Fault {
             std::string v = *n.value<std::string>();
             if (!v.empty())
                 if (Fault f = compiles(v))
                     return f;
             s.unwrap = std::move(v);
             return std::nullopt;
         }},
        {"unwrap_decode", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v == "none")
                 s.unwrapDecode = UnwrapDecode::None;
             else if (v == "base64url")
                 s.unwrapDecode = UnwrapDecode::Base64Url;
             else if (v == "percent")
                 s.unwrapDecode = UnwrapDecode::Percent;
             else
                 return "must be \"none\", \"base64url\" or \"percent\"";
             return std::nullopt;
         }},
        {"reader", [](const toml::node& n, const Service&, Service& s) -> Fault {
             const std::string v = *n.value<std::string>();
             if (v == "pattern")
                 s.reader = AnswerReader::Pattern;
             else if (v == "tranco-json")
                 s.reader = AnswerReader::TrancoJson;
             else
                 return "must be \"pattern\" or \"tranco-json\"";
             return std::nullopt;
         }},
        {"min_interval_ms", [](const toml::node& n, const Service&, Service& s) { return readTimeout(n, s.minIntervalMs); }},
    };
    return rules;
}

const KeyRule* ruleFor(std::string_view key)
{
    for (const KeyRule& r : keyRules())
        if (key == r.key)
            return &r;
    return nullptr;
}

std::string_view typeName(toml::node_type t)
{
    switch (t) {
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "a whole number";
    case toml::node_type::floating_point: return "a number with a fraction";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::array: return "a list";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
    }
}

int lineOf(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

// The default's services, each with the default's table, in the file's order.
struct DefaultService {
    Service service;
    const toml::table* table;
};

void collectDefaults(const toml::table& table, const std::string& prefix, std::vector<DefaultService>& out)
{
    bool isService = false;
    for (auto&& [key, node] : table)
        if (!node.is_table())
            isService = true;
    if (isService) {
        Service s;
        s.name = prefix;
        // The default's own query says which inputs the service fills.
        if (const auto query = table["query"].value<std::string>())
            s.query = *query;
        if (const auto path = table["path"].value<std::string>())
            s.path = *path;
        // toml++ keeps keys sorted; the file's order is the order of their lines.
        std::vector<std::pair<int, std::string>> ordered;
        for (auto&& [key, node] : table)
            ordered.emplace_back(lineOf(node), std::string(key.str()));
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, name] : ordered) {
            const toml::node& node = *table.get(name);
            const KeyRule* rule = ruleFor(name);
            if (rule == nullptr)
                throw std::logic_error("default profile: " + prefix + "." + name + ": unknown key");
            if (Fault f = rule->read(node, s, s))
                throw std::logic_error("default profile: " + prefix + "." + name + ": " + *f);
            s.keys.push_back(name);
            s.origins[name] = {};
        }
        // Every service can be switched off, whether the default says so or not.
        if (!s.origins.contains("enabled")) {
            s.keys.insert(s.keys.begin(), "enabled");
            s.origins["enabled"] = {};
        }
        out.push_back({std::move(s), &table});
        return;
    }
    for (auto&& [key, node] : table)
        collectDefaults(*node.as_table(), prefix.empty() ? std::string(key.str()) : prefix + "." + std::string(key.str()), out);
}

class UserReader {
public:
    UserReader(std::vector<DefaultService>& services, const std::string& file, std::vector<Problem>& problems,
               std::optional<std::string>& topProxy)
        : m_services(services), m_file(file), m_problems(problems), m_topProxy(topProxy)
    {
    }

    void read(const toml::table& table, const std::string& prefix)
    {
        for (auto&& [key, node] : table) {
            const std::string name = prefix.empty() ? std::string(key.str()) : prefix + "." + std::string(key.str());
            // Which base the file is read over was settled before; only its value is checked.
            if (prefix.empty() && name == "base") {
                const auto base = node.value<std::string>();
                if (!base || baseProfileText(*base).empty())
                    problem(lineOf(node), name, "must be \"classic\" or \"current\"");
                continue;
            }
            if (name == "proxy") {
                readProxy(node, name, m_topProxy);
            } else if (DefaultService* s = serviceNamed(name)) {
                if (const toml::table* t = node.as_table())
                    readService(*s, *t);
                else
                    problem(lineOf(node), name, "must be a table of settings ([" + name + "])");
            } else if (isPrefix(name) && node.is_table()) {
                read(*node.as_table(), name);
            } else {
                problem(lineOf(node), name, "no such service (kaldrani-cli engines lists them)");
            }
        }
    }

private:
    void readService(DefaultService& d, const toml::table& table)
    {
        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            const std::string full = d.service.name + "." + name;
            const int line = lineOf(node);
            if (name == "proxy") {
                readProxy(node, full, d.service.proxy);
                continue;
            }
            const toml::node* given = d.table->get(name);
            const KeyRule* rule = ruleFor(name);
            const std::optional<toml::node_type> implicit = implicitKeyType(name);
            if (rule == nullptr || (!d.service.origins.contains(name) && !implicit)) {
                problem(line, full, "unknown key");
                continue;
            }
            const toml::node_type wanted = given != nullptr ? given->type() : *implicit;
            if (node.type() != wanted) {
                problem(line, full, "must be " + std::string(typeName(wanted)) + ", not " + std::string(typeName(node.type())));
                continue;
            }
            Service changed = d.service;
            if (Fault f = rule->read(node, d.service, changed)) {
                problem(line, full, *f);
                continue;
            }
            if (!changed.origins.contains(name))
                changed.keys.push_back(name);
            changed.origins[name] = {m_file, line};
            d.service = std::move(changed);
        }
    }

    // A proxy address, checked now so that a bad one is named with its line.
    void readProxy(const toml::node& node, const std::string& key, std::optional<std::string>& into)
    {
        const auto value = node.value<std::string>();
        if (!value) {
            problem(lineOf(node), key, "must be " + std::string(typeName(toml::node_type::string)) + ", not "
                                           + std::string(typeName(node.type())));
            return;
        }
        if (!value->empty()) {
            try {
                net::parseProxyUrl(*value);
            } catch (const std::invalid_argument& e) {
                problem(lineOf(node), key, e.what());
                return;
            }
        }
        into = *value;
    }

    DefaultService* serviceNamed(std::string_view name)
    {
        for (DefaultService& s : m_services)
            if (s.service.name == name)
                return &s;
        return nullptr;
    }

    bool isPrefix(std::string_view name) const
    {
        if (name.empty())
            return true;
        for (const DefaultService& s : m_services)
            if (s.service.name.size() > name.size() && s.service.name.starts_with(name)
                && s.service.name[name.size()] == '.')
                return true;
        return false;
    }

    void problem(int line, const std::string& key, const std::string& message)
    {
        m_problems.push_back({m_file, line, key, message});
    }

    std::vector<DefaultService>& m_services;
    const std::string& m_file;
    std::vector<Problem>& m_problems;
    std::optional<std::string>& m_topProxy;
};

} // namespace

std::string_view baseProfileText(std::string_view name)
{
    if (name == "classic")
        return classicProfileText();
    if (name == "current")
        return currentProfileText();
    return {};
}

std::string defaultBaseName()
{
    const char* chosen = std::getenv("KALDRANI_PROFILE_BASE");
    if (chosen != nullptr && !baseProfileText(chosen).empty())
        return chosen;
    return "current";
}

std::string_view defaultProfileText()
{
    return baseProfileText(defaultBaseName());
}

Profile loadProfile(std::string_view defaultText, std::string_view userText, const std::string& userFile)
{
    toml::table defaults;
    try {
        defaults = toml::parse(defaultText, std::string_view("default profile"));
    } catch (const toml::parse_error& e) {
        throw std::logic_error("default profile:" + std::to_string(e.source().begin.line) + ": "
                               + std::string(e.description()));
    }
    std::vector<DefaultService> services;
    collectDefaults(defaults, {}, services);
    // toml++ keeps a table's keys sorted; the file's order is that of the services' headers.
    std::stable_sort(services.begin(), services.end(), [](const DefaultService& a, const DefaultService& b) {
        return lineOf(*a.table) < lineOf(*b.table);
    });

    Profile profile;
    profile.userFile = userFile;
    if (!userFile.empty() || !userText.empty()) {
        if (Fault f = profileTextFault(userText)) {
            profile.problems.push_back({userFile, 0, {}, "not read: " + *f});
        } else {
            try {
                const toml::table user = toml::parse(userText, std::string_view(userFile));
                UserReader reader(services, userFile, profile.problems, profile.proxy);
                reader.read(user, {});
            } catch (const toml::parse_error& e) {
                profile.problems.push_back({userFile, static_cast<int>(e.source().begin.line), {},
                                            "not read, it does not parse: " + std::string(e.description())});
            }
        }
    }
    for (DefaultService& s : services)
        profile.services.push_back(std::move(s.service));
    // Which embedded base this is, when it is one; another text keeps the member's default.
    for (const char* base : {"classic", "current"})
        if (defaultText == baseProfileText(base))
            profile.base = base;
    return profile;
}

Profile loadUserProfile(std::string_view userText, const std::string& userFile)
{
    std::string base = defaultBaseName();
    // A file that does not parse is reported by loadProfile; here only its base is sought.
    try {
        const toml::table user = toml::parse(userText, std::string_view(userFile));
        if (const auto named = user["base"].value<std::string>(); named && !baseProfileText(*named).empty())
            base = *named;
    } catch (const toml::parse_error&) {
    }
    Profile profile = loadProfile(baseProfileText(base), userText, userFile);
    profile.base = base;
    return profile;
}

Profile loadProfileFile(const std::filesystem::path& path)
{
    const auto unread = [&path](const std::string& why) {
        Profile profile = loadProfile(defaultProfileText());
        profile.userFile = path.string();
        profile.problems.push_back({path.string(), 0, {}, "not read: " + why});
        return profile;
    };
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    // A folder that cannot be searched tells nothing of a file in it: as good as none.
    if (ec)
        if (Fault f = profileStatusFault(ec))
            return unread(*f);
    if (ec || status.type() == std::filesystem::file_type::not_found)
        return loadProfile(defaultProfileText());
    // A folder or a FIFO in its place must neither be taken for an empty file nor wait.
    if (status.type() != std::filesystem::file_type::regular)
        return unread("it is not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxProfileBytes)
        return unread("it is larger than 1 MiB");
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return unread("the file cannot be read");
    return loadUserProfile(text, path.string());
}

std::filesystem::path userProfilePath()
{
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "") / ".config";
    }
    return base / "kaldrani" / "engines.toml";
}

} // namespace kaldrani::profiles
