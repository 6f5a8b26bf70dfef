#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The daily `track` run: a systemd user timer and its service, or a crontab line where no
// user systemd runs.
namespace kaldrani::tracking {

struct ScheduleTime {
    int hour = 8;
    int minute = 0;
    bool operator==(const ScheduleTime&) const = default;
};

// "HH:MM" (or "H:MM"), 00:00 to 23:59; nothing for any other text.
std::optional<ScheduleTime> parseScheduleTime(std::string_view text);
// "08:05"
std::string scheduleTimeText(const ScheduleTime& at);

// The names of the two units.
inline constexpr std::string_view kTimerUnit = "kaldrani-track.timer";
inline constexpr std::string_view kServiceUnit = "kaldrani-track.service";

// What the service runs: the program and its arguments before the verb (a data folder).
struct ScheduleCommand {
    std::string program;              // an absolute path of kaldrani-cli
    std::vector<std::string> options; // e.g. {"--data-dir", "/home/me/data"}
};

// Why command cannot be written into a unit or a crontab line (a word holding a control
// character, a line break above all, which would end the line there), or empty.
std::string unschedulableReason(const ScheduleCommand& command);

// The timer unit: daily at `at`, a missed day caught up at the next start (Persistent),
// spread by a random delay of up to 10 minutes.
std::string timerUnitText(const ScheduleTime& at);
// The service unit: one run of "PROGRAM OPTIONS... track --notify". Raises
// std::invalid_argument with unschedulableReason when there is one.
std::string serviceUnitText(const ScheduleCommand& command);
// "MM HH * * * PROGRAM OPTIONS... track --notify", each word quoted for the shell. Raises
// std::invalid_argument with unschedulableReason when there is one.
std::string crontabLine(const ScheduleTime& at, const ScheduleCommand& command);

// ${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user
std::filesystem::path userUnitFolder();

// The systemctl program: $KALDRANI_SYSTEMCTL when set (tests), else "systemctl".
std::string systemctlProgram();

// True when a user service manager answers.
bool userSystemdRunning();

// What schedule install, status and remove found or did.
struct ScheduleState {
    bool systemd = false;             // a user service manager answers
    bool installed = false;           // the timer unit file is there
    std::optional<ScheduleTime> at;   // its time, as the unit file says
    std::string detail;               // systemctl's words (next run, enabled state) or the failure
};

// Writes both units and enables and starts the timer. Raises std::invalid_argument with
// unschedulableReason, or std::runtime_error when there is no user systemd (nothing is
// written then either) or a step fails.
ScheduleState installSchedule(const ScheduleTime& at, const ScheduleCommand& command);
// What is installed. Never raises.
ScheduleState scheduleStatus();
// The installed timer's time, read from its unit file alone (nothing is asked of systemd);
// nothing when none is installed. Never raises.
std::optional<ScheduleTime> installedScheduleTime();
// Stops and disables the timer and removes both units; returns whether there was one.
// Raises std::runtime_error when a unit file cannot be removed.
bool removeSchedule();

} // namespace kaldrani::tracking
