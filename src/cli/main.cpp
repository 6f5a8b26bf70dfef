#include "cli/Verbs.h"
#include "core/net/ConnectTo.h"
#include "core/net/NetError.h"
#include "core/net/Tls.h"
#include "core/profiles/ActiveProfile.h"
#include "kaldrani/Version.h"

#include <csignal>
#include <iostream>

using namespace kaldrani;

namespace kaldrani::cli {

records::DataFolder dataFolderOf(const GlobalOptions& options)
{
    return records::DataFolder(options.dataDir.empty() ? records::DataFolder::defaultBase()
                                                       : std::filesystem::path(options.dataDir));
}

records::DataFolder openDataFolder(const GlobalOptions& options)
{
    records::DataFolder folder = dataFolderOf(options);
    // Reads nothing: a verb that needs no site list works whatever the list is.
    records::makeDataFolder(folder);
    return folder;
}

} // namespace kaldrani::cli

int main(int argc, char** argv)
{
    // A peer that closes mid-write fails that write (EPIPE), never the whole program: TLS
    // writes cannot ask the kernel for MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app{"Kaldrani: what search engines and rank services say about a site."};
    app.name("kaldrani-cli");
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show the help of every verb");
    app.set_version_flag("--version", std::string("kaldrani-cli ") + kVersion, "Print the version and exit");

    cli::GlobalOptions options;
    app.add_option("--connect-to", options.connectTo,
                   "HOST1:PORT1:HOST2:PORT2: connect there instead (empty HOST1 or PORT1 matches any)")
        ->take_all();
    app.add_option("--data-dir", options.dataDir, "Keep the data folder at BASE/vemro")->option_text("BASE");
    std::vector<std::string> trustAnchors;
    app.add_option("--cacert", trustAnchors, "Also trust the certificates in this PEM FILE (beside the system's)")
        ->option_text("FILE")
        ->take_all();

    const std::vector<cli::Verb> verbs = {
        cli::addFetchVerb(app, options),
        cli::addOverviewVerb(app, options),
        cli::addHistoryVerb(app, options),
        cli::addSitesVerb(app, options),
        cli::addWhoisVerb(app, options),
        cli::addIpVerb(app, options),
        cli::addMailVerb(app, options),
        cli::addRankVerb(app, options),
        cli::addEnginesVerb(app, options),
        cli::addKeywordsVerb(app, options),
        cli::addTrackVerb(app, options),
        cli::addScheduleVerb(app, options),
    };

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "kaldrani-cli: " << e.what() << "\n" << "Run with --help for usage.\n";
        return 2;
    }

    try {
        net::loadConnectToFromEnvironment();
        std::vector<net::ConnectToRule> rules;
        for (const auto& entry : options.connectTo)
            rules.push_back(net::parseConnectTo(entry));
        net::addConnectToRules(rules);
        // Checked now, so a bad file is named before any verb runs.
        for (const auto& file : trustAnchors)
            net::addTrustAnchorFile(file);
        // A fault in the user's engine profile is named once; its key keeps the default.
        for (const profiles::Problem& problem : profiles::useUserProfile())
            std::cerr << "kaldrani-cli: " << cli::terminalText(problem.text(), true) << "\n";
    } catch (const std::invalid_argument& e) {
        std::cerr << "kaldrani-cli: " << e.what() << "\n";
        return 2;
    } catch (const net::NetError& e) {
        std::cerr << "kaldrani-cli: " << e.what() << "\n";
        return 2;
    }

    for (const auto& verb : verbs) {
        if (!verb.command->parsed())
            continue;
        try {
            return verb.run();
        } catch (const cli::CommandFailure& e) {
            std::cerr << cli::terminalText(e.what(), true) << "\n";
            return e.status();
        } catch (const std::exception& e) {
            std::cerr << "kaldrani-cli: " << cli::terminalText(e.what(), true) << "\n";
            return 1;
        }
    }
    return 2;
}
