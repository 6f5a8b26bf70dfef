#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/model/SearchEngine.h"
#include "core/records/History.h"
#include "core/records/HistoryCsv.h"

#include <unistd.h>

#include <memory>

namespace kaldrani::cli {

Verb addHistoryVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "history", "Print SITE's stored records, newest first, fields TAB-separated (keeps the newest 1000)");
    auto site = std::make_shared<std::string>();
    command->add_option("SITE", *site, "The site exactly as the site list holds it")->required();
    auto csv = std::make_shared<bool>(false);
    command->add_flag("--csv", *csv,
                      "Print CSV instead (RFC 4180, UTF-8): a header row, the time in ISO 8601, each count in a column of its own");

    return {command, [site, csv, &options]() -> int {
                const records::DataFolder folder = openDataFolder(options);
                std::vector<std::vector<std::string>> history;
                try {
                    history = records::ReadHistory(folder, *site);
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: no history for this site: ") + e.what());
                }
                if (*csv) {
                    const std::string table = records::historyCsv(history, kEngineLabels);
                    // Into a file or a pipe the CSV goes byte for byte; on a terminal a
                    // stored page text must not drive it, as with every other verb.
                    writeStdout(::isatty(STDOUT_FILENO) ? terminalLines(table) : table);
                    return 0;
                }
                std::string out;
                for (const auto& record : history) {
                    for (size_t i = 0; i < record.size(); ++i) {
                        if (i > 0)
                            out += '\t';
                        out += tsvField(record[i]);
                    }
                    out += '\n';
                }
                writeStdout(out);
                return 0;
            }};
}

} // namespace kaldrani::cli
