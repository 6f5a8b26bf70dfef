#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/records/History.h"

#include <memory>

namespace kaldrani::cli {

Verb addHistoryVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand(
        "history", "Print SITE's stored records, newest first, fields TAB-separated (keeps the newest 1000)");
    auto site = std::make_shared<std::string>();
    command->add_option("SITE", *site, "The site exactly as the site list holds it")->required();

    return {command, [site, &options]() -> int {
                const records::DataFolder folder = openDataFolder(options);
                std::vector<std::vector<std::string>> history;
                try {
                    history = records::ReadHistory(folder, *site);
                } catch (const records::FileError& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: no history for this site: ") + e.what());
                }
                std::string out;
                for (const auto& record : history) {
                    for (size_t i = 0; i < record.size(); ++i)
                        out += (i ? "\t" : "") + tsvField(record[i]);
                    out += '\n';
                }
                writeStdout(out);
                return 0;
            }};
}

} // namespace kaldrani::cli
