#include "cli/Output.h"
#include "cli/TerminalText.h"
#include "cli/Verbs.h"

#include "core/lookups/SiteHealth.h"

#include <algorithm>
#include <memory>

namespace kaldrani::cli {

// health [SITE...]: the expiry of each site's domain and certificate, whether the
// certificate verifies and whether the name resolves.
Verb addHealthVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "health", "Check each SITE (default: every listed site): the domain's and the certificate's expiry with the "
                  "days left, whether the certificate verifies for the name, and whether the name resolves");
    auto sites = std::make_shared<std::vector<std::string>>();
    command->add_option("SITE", *sites, "A site (host name, in Unicode or A-labels)");
    auto tsv = std::make_shared<bool>(false);
    command->add_flag("--tsv", *tsv,
                      "Print SITE, CHECK (domain-expiry, certificate-expiry, certificate, resolves), VALUE, DAYS "
                      "LEFT, TAB-separated, one line per check");
    return {command, [sites, tsv, &options]() -> int {
                std::vector<std::string> asked = *sites;
                if (asked.empty()) {
                    try {
                        for (const std::string& s : records::loadSiteList(openDataFolder(options)))
                            if (!s.empty() && std::find(asked.begin(), asked.end(), s) == asked.end())
                                asked.push_back(s);
                    } catch (const records::FileError& e) {
                        throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                    }
                }
                bool allOk = true;
                const std::int64_t today = lookups::today();
                for (const std::string& site : asked) {
                    const std::vector<lookups::HealthCheck> checks = lookups::checkSite(site, today);
                    allOk = allOk && std::all_of(checks.begin(), checks.end(), [](const auto& c) { return c.ok; });
                    writeStdout(*tsv ? terminalText(lookups::healthTsv(tsvField(site), checks), true)
                                     : terminalText(lookups::healthText(site, checks), true));
                }
                return allOk ? 0 : 1;
            }};
}

} // namespace kaldrani::cli
