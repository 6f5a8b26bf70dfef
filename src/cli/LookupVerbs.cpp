#include "cli/FailureLines.h"
#include "cli/Output.h"
#include "cli/TerminalText.h"
#include "cli/Verbs.h"

#include "core/lookups/DomainWhois.h"
#include "core/lookups/IpDatabase.h"
#include "core/lookups/IpQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "core/lookups/WhoisQuery.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

namespace kaldrani::cli {

namespace {

// The lookup texts go out exactly as the windows hold them: CR LF line ends, nothing added.
// Only terminal controls a server slipped into the record are shown escaped, a bare CR
// among them, which would let a record overprint its own lines. With why, a failure's
// reason goes to stderr on one line.
int printExactly(const fetch::Outcome<std::string>& lookup, bool why)
{
    writeStdout(terminalLines(lookup.value));
    if (why)
        std::cerr << reasonLine(lookup.why()) << std::flush;
    return 0;
}

constexpr const char* kWhyHelp = "Then say on stderr why the lookup failed, on one line";

// ip --update: the download, with a progress line when stderr is a terminal.
int updateDatabase()
{
    const std::filesystem::path path = lookups::ipDatabasePath();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    int lastTenth = -1;
    try {
        lookups::updateIpDatabase(path, [terminal, &lastTenth](std::uint64_t received, std::uint64_t total) {
            const int tenth = total > 0 ? static_cast<int>(received * 1000 / total) : 0;
            if (!terminal || tenth == lastTenth)
                return;
            lastTenth = tenth;
            char line[96];
            std::snprintf(line, sizeof line, "\r下载 IP 数据库：%.1f / %.1f MiB（%d.%d%%）", received / 1048576.0,
                          total / 1048576.0, tenth / 10, tenth % 10);
            std::cerr << line << std::flush;
        });
    } catch (const std::exception& e) {
        if (terminal && lastTenth >= 0)
            std::cerr << "\n";
        std::string why = reasonLine(e.what());
        why.pop_back();
        throw CommandFailure(1, "ip --update: " + why);
    }
    if (terminal && lastTenth >= 0)
        std::cerr << "\n";
    writeStdout("IP 数据库已更新：" + path.string() + "\n" + std::string(lookups::kIpAttribution) + "\n");
    return 0;
}

} // namespace

// whois DOMAIN: the text the whois window shows after a query of DOMAIN.
Verb addWhoisVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "whois", "Print the registration record of DOMAIN as the whois window shows it (CR LF line ends)");
    auto domain = std::make_shared<std::string>();
    command->add_option("DOMAIN", *domain, "The domain; a small-letter \"www.\" is dropped")->required();
    auto why = std::make_shared<bool>(false);
    command->add_flag("--why", *why, kWhyHelp);
    auto raw = std::make_shared<bool>(false);
    command->add_flag("--raw", *raw,
                      "Print the RDAP answers (registry, then registrar) or the port-43 answer as they came; "
                      "needs the current profile base");
    return {command, [domain, why, raw]() {
                if (!*raw)
                    return printExactly(lookups::QueryWhois(*domain), *why);
                if (profiles::activeProfile()->base != "current")
                    throw CommandFailure(2, "whois --raw needs the profile base \"current\"");
                const fetch::Outcome<std::string> lookup = lookups::QueryDomainRegistration(*domain, true);
                if (lookup.failed()) {
                    printExactly(lookup, *why);
                    return 1;
                }
                writeStdout(lookup.value);
                return 0;
            }};
}

// ip [TEXT]: without TEXT the asker's own address, with TEXT (which may be empty) the place
// of that address or host, as the IP window shows them.
Verb addIpVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "ip", "Print your own public address, or where the IP address or host TEXT is, as the IP window shows it");
    auto text = std::make_shared<std::string>();
    CLI::Option* given = command->add_option("TEXT", *text, "An IP address or host name; may be empty");
    auto why = std::make_shared<bool>(false);
    command->add_flag("--why", *why, kWhyHelp);
    auto update = std::make_shared<bool>(false);
    command->add_flag("--update", *update,
                      "Download this month's offline IP database (DB-IP IP to City Lite, CC BY 4.0) and replace the "
                      "old one; a lookup with the current profile base reads it");
    return {command, [text, given, why, update]() {
                if (*update)
                    return updateDatabase();
                if (profiles::activeProfile()->base == "current")
                    return printExactly(given->count() > 0 ? lookups::QueryIpPlace(*text) : lookups::QueryOwnPlace(),
                                        *why);
                return printExactly(given->count() > 0 ? lookups::QueryIpLookup(*text) : lookups::QueryOwnAddress(),
                                    *why);
            }};
}

} // namespace kaldrani::cli
