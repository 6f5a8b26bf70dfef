#include "core/net/ConnectTo.h"

#include "core/text/Ascii.h"
#include "core/text/Numbers.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace kaldrani::net {

namespace {

std::mutex g_mutex;
std::vector<ConnectToRule> g_rules;

// Splits off one host field: an IPv6 literal in brackets may hold colons.
std::string takeHost(const std::string& entry, size_t& pos)
{
    if (pos < entry.size() && entry[pos] == '[') {
        const size_t close = entry.find(']', pos);
        if (close == std::string::npos)
            throw std::invalid_argument("connect-to entry \"" + entry + "\": unclosed \"[\"");
        std::string host = entry.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        return host;
    }
    const size_t colon = entry.find(':', pos);
    std::string host = entry.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    pos = colon == std::string::npos ? entry.size() : colon;
    return host;
}

void expectColon(const std::string& entry, size_t& pos)
{
    if (pos >= entry.size() || entry[pos] != ':')
        throw std::invalid_argument("connect-to entry \"" + entry + "\" is not HOST1:PORT1:HOST2:PORT2");
    ++pos;
}

std::string takePort(const std::string& entry, size_t& pos)
{
    const size_t colon = entry.find(':', pos);
    std::string port = entry.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    pos = colon == std::string::npos ? entry.size() : colon;
    if (!port.empty() && !text::isAllDigits(port))
        throw std::invalid_argument("connect-to entry \"" + entry + "\": port \"" + port + "\" is not a number");
    if (!port.empty() && !text::parsePort(port))
        throw std::invalid_argument("connect-to entry \"" + entry + "\": port \"" + port + "\" is out of range");
    return port;
}

} // namespace

ConnectToRule parseConnectTo(const std::string& entry)
{
    ConnectToRule rule;
    size_t pos = 0;
    rule.fromHost = takeHost(entry, pos);
    expectColon(entry, pos);
    rule.fromPort = takePort(entry, pos);
    expectColon(entry, pos);
    rule.toHost = takeHost(entry, pos);
    expectColon(entry, pos);
    rule.toPort = takePort(entry, pos);
    if (pos != entry.size())
        throw std::invalid_argument("connect-to entry \"" + entry + "\" has text after the fourth field");
    return rule;
}

void addConnectToRules(const std::vector<ConnectToRule>& rules)
{
    std::lock_guard lock(g_mutex);
    g_rules.insert(g_rules.end(), rules.begin(), rules.end());
}

void clearConnectToRules()
{
    std::lock_guard lock(g_mutex);
    g_rules.clear();
}

void loadConnectToFromEnvironment()
{
    const char* value = std::getenv("KALDRANI_CONNECT_TO");
    if (value == nullptr)
        return;
    std::vector<ConnectToRule> rules;
    const std::string all(value);
    size_t start = 0;
    while (start <= all.size()) {
        const size_t comma = all.find(',', start);
        const std::string entry = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!entry.empty())
            rules.push_back(parseConnectTo(entry));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    addConnectToRules(rules);
}

ConnectTarget resolveConnectTarget(const std::string& host, int port)
{
    std::lock_guard lock(g_mutex);
    for (const auto& rule : g_rules) {
        // Host names are compared as DNS compares them, ignoring ASCII case.
        if (!rule.fromHost.empty() && !text::equalsIgnoreAsciiCase(rule.fromHost, host))
            continue;
        if (!rule.fromPort.empty() && text::parsePort(rule.fromPort) != port)
            continue;
        return {rule.toHost.empty() ? host : rule.toHost, rule.toPort.empty() ? port : text::parsePort(rule.toPort).value_or(port)};
    }
    return {host, port};
}

} // namespace kaldrani::net
