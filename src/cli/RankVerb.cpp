#include "cli/FailureLines.h"
#include "cli/Output.h"
#include "cli/SavedPages.h"
#include "cli/Verbs.h"

#include "core/model/SearchEngine.h"
#include "core/queries/DisplayText.h"
#include "core/queries/KeywordRun.h"
#include "core/tracking/KeywordScanRecord.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

namespace kaldrani::cli {

namespace {

// "baidu,google,...": every engine's name, in engine order.
std::string allEngineNames()
{
    std::string names;
    for (const std::string_view key : kEngineKeys)
        names += (names.empty() ? "" : ",") + std::string(key);
    return names;
}

// "baidu,bing" -> those two selected; "" -> none. Raises CommandFailure (status 2) for an unknown name.
queries::EngineSelection parseEngines(const std::string& list)
{
    queries::EngineSelection selected{};
    if (list.empty())
        return selected;
    std::string_view rest = list;
    for (bool more = true; more;) {
        const auto comma = rest.find(',');
        const std::string_view name = rest.substr(0, comma);
        bool known = false;
        for (std::size_t i = 0; i < kEngineCount; ++i)
            if (name == kEngineKeys[i])
                known = selected[i] = true;
        if (!known)
            throw CommandFailure(2, "kaldrani-cli: unknown engine \"" + std::string(name)
                                        + "\" in --engines (expected " + allEngineNames() + ")");
        more = comma != std::string_view::npos;
        if (more)
            rest.remove_prefix(comma + 1);
    }
    return selected;
}

} // namespace

Verb addRankVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "rank", "Find SITE among the results for KEYWORD in each engine, over result pages FIRST..LAST; a listed "
        "site gets a keyword history record");
    struct Args {
        int first = 1;
        int last = 1;
        std::string engines = allEngineNames();
        bool progress = false;
        bool why = false;
        std::string site;
        std::string keyword;
        std::string savePages;
        int jobs = 1;
    };
    auto args = std::make_shared<Args>();
    command->add_option("--first", args->first, "First result page, 1..100")->check(CLI::Range(1, 100));
    command->add_option("--last", args->last, "Last result page, 1..100")->check(CLI::Range(1, 100));
    // The completions read the engines' names from this text.
    command->add_option("--engines", args->engines, "Engines to ask, comma-separated, of " + allEngineNames() + " (default all)")
        ->option_text("LIST");
    command->add_flag("--progress", args->progress, "Write each status (正在查询第 N 页) to stderr as it is set");
    command->add_option("--jobs", args->jobs,
                        "Ask up to N engines at the same time, 1..7 (default 1: one after another); the lines keep "
                        "their order, and with --progress an engine's statuses come once it and the engines before "
                        "it have ended")
        ->check(CLI::Range(1, 7))
        ->option_text("N");
    command->add_flag("--why", args->why,
                      "Then say on stderr why each failed engine failed: label, TAB, TAB, reason");
    command->add_option("--save-pages", args->savePages,
                        "Keep every page fetched in DIR, one file each (address, status line, empty line, body), "
                        "for kaldrani-cli engines try")
        ->option_text("DIR");
    command->add_option("SITE", args->site,
                        "The site to look for, e.g. example.com, 例子.中国 or xn--fsqu00a.xn--fiqs8s (may be empty)")
        ->required();
    command->add_option("KEYWORD", args->keyword, "The keyword searched for (may be empty)")->required();

    return {command, [args, &options]() -> int {
                const queries::EngineSelection selected = parseEngines(args->engines);
                // Refused before anything is asked.
                if (const std::string problem = queries::keywordSiteProblem(args->site); !problem.empty())
                    throw CommandFailure(2, "kaldrani-cli: " + problem);
                queries::QuietKeywordView view;
                if (args->progress)
                    view.onProgress = [](SearchEngine, long long page) {
                        std::cerr << queries::keywordProgressText(page) << std::endl;
                    };
                std::optional<PageSaver> saver;
                if (!args->savePages.empty())
                    saver.emplace(args->savePages);
                queries::setKeywordJobs(args->jobs);
                const tracking::RecordedScan scan = tracking::scanAndRecord(
                    view, dataFolderOf(options), args->site, args->keyword, args->first, args->last, selected);
                const std::string saveError = saver ? saver->firstError() : std::string();
                saver.reset();
                std::string out;
                for (const SearchEngine e : kSearchEngines) {
                    const std::optional<queries::KeywordOutcome>& result = scan.outcomes[engineIndex(e)];
                    const std::string shown = result             ? queries::keywordResultText(e, *result)
                                              : view.notSelected(e) ? std::string(queries::kKeywordNotSelected)
                                                                    : std::string();
                    out += std::string(engineLabel(e)) + '\t' + tsvField(shown) + '\t' + tsvField(view.lastPageUrl(e)) + '\n';
                }
                writeStdout(out);
                if (args->why) {
                    std::string lines;
                    for (const SearchEngine e : kSearchEngines) {
                        const std::optional<queries::KeywordOutcome>& result = scan.outcomes[engineIndex(e)];
                        lines += failureLine(engineLabel(e), "", result ? result->why() : std::string());
                    }
                    std::cerr << lines << std::flush;
                }
                if (!saveError.empty())
                    throw CommandFailure(1, "kaldrani-cli: --save-pages: " + saveError);
                if (!scan.recordError.empty())
                    throw CommandFailure(1, "kaldrani-cli: the keyword history record was not written: "
                                                + scan.recordError);
                // As track: any engine asked that failed or refused makes the run a failure.
                for (const std::optional<queries::KeywordOutcome>& result : scan.outcomes)
                    if (result && (queries::keywordKind(*result) == queries::KeywordKind::Failed
                                   || queries::keywordKind(*result) == queries::KeywordKind::Blocked))
                        return 1;
                return 0;
            }};
}

} // namespace kaldrani::cli
