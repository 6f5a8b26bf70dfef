#include "cli/Output.h"
#include "cli/TerminalText.h"
#include "cli/Verbs.h"

#include "core/lookups/IpQuery.h"
#include "core/lookups/WhoisQuery.h"

#include <memory>

namespace kaldrani::cli {

namespace {

// The lookup texts go out exactly as the windows hold them: CR LF line ends, nothing added.
// Only terminal controls a server slipped into the record are shown escaped, a bare CR
// among them, which would let a record overprint its own lines.
int printExactly(const std::string& text)
{
    writeStdout(terminalLines(text));
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
    return {command, [domain]() { return printExactly(lookups::QueryWhois(*domain)); }};
}

// ip [TEXT]: without TEXT the asker's own address, with TEXT (which may be empty) the place
// of that address or host, as the IP window shows them.
Verb addIpVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand(
        "ip", "Print your own public address, or where the IP address or host TEXT is, as the IP window shows it");
    auto text = std::make_shared<std::string>();
    CLI::Option* given = command->add_option("TEXT", *text, "An IP address or host name; may be empty");
    return {command, [text, given]() {
                return printExactly(given->count() > 0 ? lookups::QueryIpLookup(*text) : lookups::QueryOwnAddress());
            }};
}

} // namespace kaldrani::cli
