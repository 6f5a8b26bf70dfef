#include "cli/Verbs.h"

#include "cli/Output.h"

#include "core/tracking/Schedule.h"

#include <iostream>
#include <memory>
#include <system_error>

namespace kaldrani::cli {

namespace {

// How the scheduled run reaches this program and this data folder.
tracking::ScheduleCommand scheduledCommand(const GlobalOptions& options)
{
    std::error_code ec;
    tracking::ScheduleCommand command;
    command.program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec || command.program.empty())
        command.program = "kaldrani-cli";
    if (!options.dataDir.empty())
        command.options = {"--data-dir", std::filesystem::absolute(options.dataDir, ec).string()};
    return command;
}

} // namespace

Verb addScheduleVerb(CLI::App& app, const GlobalOptions& options)
{
    CLI::App* command = app.add_subcommand("schedule", "Run `track --notify` every day: install, status or remove");
    command->require_subcommand(1);
    auto at = std::make_shared<std::string>("08:00");
    CLI::App* install = command->add_subcommand(
        "install", "Install a systemd user timer (a missed day is caught up at the next start); without user "
                   "systemd, print the crontab line instead and exit 1");
    install->add_option("--at", *at, "Time of day, HH:MM (default 08:00; a random delay of up to 10 minutes)")
        ->option_text("HH:MM");
    CLI::App* status = command->add_subcommand("status", "Say whether the timer is installed, its time and state");
    CLI::App* remove = command->add_subcommand("remove", "Stop the timer and remove its units");

    return {command, [=, &options]() -> int {
                if (install->parsed()) {
                    const auto time = tracking::parseScheduleTime(*at);
                    if (!time)
                        throw CommandFailure(2, "kaldrani-cli: \"" + *at + "\" is no time of day (expected HH:MM)");
                    const tracking::ScheduleCommand run = scheduledCommand(options);
                    if (const std::string why = tracking::unschedulableReason(run); !why.empty())
                        throw CommandFailure(2, "kaldrani-cli: schedule install: " + why);
                    if (!tracking::userSystemdRunning()) {
                        writeStdout(tracking::crontabLine(*time, run) + "\n");
                        throw CommandFailure(1, "kaldrani-cli: no user systemd is running; add the line above to "
                                                "your crontab (crontab -e) instead");
                    }
                    try {
                        const tracking::ScheduleState state = tracking::installSchedule(*time, run);
                        writeStdout("installed: daily at " + tracking::scheduleTimeText(*time) + " ("
                                    + state.detail + ")\n");
                    } catch (const std::exception& e) {
                        throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                    }
                    return 0;
                }
                if (status->parsed()) {
                    const tracking::ScheduleState state = tracking::scheduleStatus();
                    std::string out;
                    if (!state.installed)
                        out = "not installed";
                    else
                        out = "installed: daily at " + (state.at ? tracking::scheduleTimeText(*state.at) : "?")
                            + (state.detail.empty() ? "" : " (" + state.detail + ")");
                    if (!state.systemd)
                        out += "; no user systemd is running";
                    writeStdout(out + "\n");
                    return 0;
                }
                if (!remove->parsed())
                    return 2;
                try {
                    writeStdout(tracking::removeSchedule() ? "removed\n" : "not installed\n");
                } catch (const std::exception& e) {
                    throw CommandFailure(1, std::string("kaldrani-cli: ") + e.what());
                }
                return 0;
            }};
}

} // namespace kaldrani::cli
