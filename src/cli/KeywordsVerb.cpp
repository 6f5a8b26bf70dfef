#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/records/TrackedKeywords.h"

#include <algorithm>
#include <memory>

namespace kaldrani::cli {

Verb addKeywordsVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand("keywords", "List, add or remove the keywords `track` scans for a site");
    command->require_subcommand(1);
    struct Args {
        std::string site;
        std::string keyword;
    };
    auto args = std::make_shared<Args>();
    CLI::App* list = command->add_subcommand("list", "Print SITE's tracked keywords, one a line (all: SITE TAB KEYWORD)");
    list->add_option("SITE", args->site, "A listed site; none: every site's");
    CLI::App* add = command->add_subcommand("add", "Track KEYWORD for SITE (a listed site)");
    add->add_option("SITE", args->site, "A listed site")->required();
    add->add_option("KEYWORD", args->keyword, "The keyword, UTF-8, no TAB or line break")->required();
    CLI::App* remove = command->add_subcommand("remove", "Stop tracking KEYWORD for SITE");
    remove->add_option("SITE", args->site, "The site")->required();
    remove->add_option("KEYWORD", args->keyword, "The keyword")->required();

    return {command, [=, &options]() -> int {
                const records::DataFolder folder = openDataFolder(options);
                try {
                    if (list->parsed()) {
                        std::string out;
                        for (const auto& t : records::loadTrackedKeywords(folder)) {
                            if (args->site.empty())
                                out += tsvField(t.site) + '\t' + tsvField(t.keyword) + '\n';
                            else if (t.site == args->site)
                                out += tsvField(t.keyword) + '\n';
                        }
                        writeStdout(out);
                        return 0;
                    }
                    if (add->parsed()) {
                        const auto sites = records::loadSiteList(folder);
                        if (std::find(sites.begin(), sites.end(), args->site) == sites.end())
                            throw CommandFailure(2, "kaldrani-cli: \"" + args->site
                                                        + "\" is not in the site list (add it with `sites set` first)");
                        if (const std::string problem = records::keywordProblem(args->keyword); !problem.empty())
                            throw CommandFailure(2, "kaldrani-cli: " + problem);
                        if (!records::addTrackedKeyword(folder, args->site, args->keyword))
                            std::cerr << "kaldrani-cli: \"" << terminalText(args->keyword, false)
                                      << "\" is already tracked for " << terminalText(args->site, false) << "\n";
                        return 0;
                    }
                    if (!records::removeTrackedKeyword(folder, args->site, args->keyword))
                        throw CommandFailure(1, "kaldrani-cli: \"" + args->keyword + "\" is not tracked for "
                                                    + args->site);
                    return 0;
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                } catch (const std::invalid_argument& e) {
                    throw CommandFailure(2, std::string("kaldrani-cli: ") + e.what());
                }
            }};
}

} // namespace kaldrani::cli
