#include "cli/Verbs.h"

namespace kaldrani::cli {

// Placeholder until the verb lands.
Verb addOverviewVerb(CLI::App& app, const GlobalOptions&)
{
    CLI::App* command = app.add_subcommand("overview", "(not built yet)");
    return {command, [] () -> int { throw CommandFailure(1, "not built yet"); }};
}

} // namespace kaldrani::cli
