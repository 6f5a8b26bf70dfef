#include "cli/Verbs.h"
#include "cli/FailureLines.h"

#include "cli/Output.h"
#include "cli/SavedPages.h"

#include "core/model/SearchEngine.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/DataFolder.h"

#include <sstream>
#include <memory>
#include <optional>

namespace kaldrani::cli {

namespace {

// What a figure of a service switched off in the engine profile shows.
constexpr std::string_view kSwitchedOff = "已关闭";

} // namespace

Verb addOverviewVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "overview", "Ask the seven engines and the four rank services about DOMAIN; a listed site gets a history record");
    auto domain = std::make_shared<std::string>();
    command->add_option("DOMAIN", *domain, "The site's domain, e.g. example.com")->required();
    auto why = std::make_shared<bool>(false);
    command->add_flag("--why", *why,
                      "Then say on stderr why each failed figure failed: label, TAB, 收录情况 or 反向链接 "
                      "(empty for a rank), TAB, reason");

    auto savePages = std::make_shared<std::string>();
    command->add_option("--save-pages", *savePages,
                        "Keep every page fetched in DIR, one file each (address, status line, empty line, body), "
                        "for kaldrani-cli engines try")
        ->option_text("DIR");

    auto jobs = std::make_shared<int>(1);
    command->add_option("--jobs", *jobs,
                        "Ask up to N distinct hosts at the same time, 1..16 (default 1: one after another); "
                        "the lines keep their order")
        ->check(CLI::Range(1, 16))
        ->option_text("N");

    return {command, [domain, why, savePages, jobs, &options]() -> int {
                if (!queries::IsValidDomain(*domain))
                    throw CommandFailure(2, "kaldrani-cli: \"" + *domain
                                                + "\" is not a domain name (expected a name such as example.com)");
                const records::DataFolder folder = openDataFolder(options);
                const std::vector<std::string> sites = records::loadSiteList(folder);

                std::optional<PageSaver> saver;
                if (!savePages->empty())
                    saver.emplace(*savePages);
                queries::OverviewDisplay display;
                queries::QuietOverviewView view;
                queries::setOverviewJobs(*jobs);
                queries::runSiteOverview(display, view, folder, *domain, sites);
                const std::string saveError = saver ? saver->firstError() : std::string();
                saver.reset();

                // A service switched off in the profile was not asked: its place says so.
                // A retired one neither: its place names it gone.
                const auto shown = [](fetch::FailureKind failure, const std::string& text) {
                    if (failure == fetch::FailureKind::Retired)
                        return std::string(fetch::kRetiredShown);
                    return failure == fetch::FailureKind::SwitchedOff ? std::string(kSwitchedOff) : tsvField(text);
                };
                std::ostringstream out;
                for (const SearchEngine e : kSearchEngines) {
                    const queries::Figure& indexed = display.figure({e, CountKind::Indexed});
                    const queries::Figure& backlinks = display.figure({e, CountKind::Backlinks});
                    out << engineLabel(e) << '\t' << shown(indexed.failure, indexed.text) << '\t'
                        << shown(backlinks.failure, backlinks.text) << '\n';
                }
                out << "PageRank\t" << shown(display.pageRankFailureKind, std::to_string(display.pageRank)) << '\n'
                    << "SogouRank\t" << shown(display.sogouRatingFailureKind, std::to_string(display.gaugeValue)) << '\n'
                    << trafficRankLabel() << '\t' << shown(display.alexaRankFailureKind, display.alexaRank) << '\n'
                    << "ChinaRank\t" << shown(display.chinaRankFailureKind, display.chinaRank) << '\n';
                writeStdout(out.str());
                if (*why)
                    std::cerr << failureLines(display) << std::flush;
                if (!view.firstError().empty())
                    throw CommandFailure(1, "kaldrani-cli: the history record was not written: " + view.firstError());
                if (!saveError.empty())
                    throw CommandFailure(1, "kaldrani-cli: --save-pages: " + saveError);
                return anyFailed(display) ? 1 : 0;
            }};
}

} // namespace kaldrani::cli
