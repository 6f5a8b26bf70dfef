#pragma once

#include "cli/TerminalText.h"
#include "core/records/DataFolder.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

namespace kaldrani::cli {

// Options given before the verb; every verb accepts them.
struct GlobalOptions {
    std::vector<std::string> connectTo;
    std::string dataDir; // empty: the default data folder base
    std::optional<std::string> proxy; // --proxy; "" sends every fetch direct
};

// A field for TAB-separated output: a TAB or line break inside it (leftover page text may
// hold them) becomes a blank, so every row stays one line with one TAB between fields;
// other control characters become visible escapes.
inline std::string tsvField(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return terminalText(text, false);
}

// A failure a verb ends with: its message goes to stderr, status is the exit status.
class CommandFailure : public std::runtime_error {
public:
    CommandFailure(int status, const std::string& message) : std::runtime_error(message), m_status(status) { }
    int status() const { return m_status; }

private:
    int m_status;
};

// A verb: its parsed subcommand and what runs when it was given. run returns the exit
// status or raises CommandFailure.
struct Verb {
    CLI::App* command;
    std::function<int()> run;
};

// The data folder the options name, made (folders and site list) when missing, as every
// verb that touches records first does.
records::DataFolder openDataFolder(const GlobalOptions& options);

// The data folder the options name, as it is: nothing is made.
records::DataFolder dataFolderOf(const GlobalOptions& options);

Verb addFetchVerb(CLI::App& app, const GlobalOptions& options);
Verb addOverviewVerb(CLI::App& app, const GlobalOptions& options);
Verb addHistoryVerb(CLI::App& app, const GlobalOptions& options);
Verb addSitesVerb(CLI::App& app, const GlobalOptions& options);
Verb addWhoisVerb(CLI::App& app, const GlobalOptions& options);
Verb addIpVerb(CLI::App& app, const GlobalOptions& options);
Verb addHealthVerb(CLI::App& app, const GlobalOptions& options);
Verb addMailVerb(CLI::App& app, const GlobalOptions& options);
Verb addRankVerb(CLI::App& app, const GlobalOptions& options);
Verb addEnginesVerb(CLI::App& app, const GlobalOptions& options);
Verb addKeywordsVerb(CLI::App& app, const GlobalOptions& options);
Verb addTrackVerb(CLI::App& app, const GlobalOptions& options);
Verb addScheduleVerb(CLI::App& app, const GlobalOptions& options);

} // namespace kaldrani::cli
