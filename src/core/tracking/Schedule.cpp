#include "core/tracking/Schedule.h"

#include "core/records/FileIo.h"
#include "core/tracking/Spawn.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace kaldrani::tracking {

namespace {

constexpr std::chrono::milliseconds kSystemctlBound{20000};

// A word of an ExecStart line: quoted, with backslashes, the specifier sign and the
// variable sign escaped (systemd would put ${HOME} in, and make "$$" one "$").
std::string unitWord(std::string_view word)
{
    std::string out = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '%' || c == '$')
            out += c;
        out += c;
    }
    return out + "\"";
}

std::string shellWord(std::string_view word)
{
    std::string out = "'";
    for (const char c : word) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '%')
            out += "\\%"; // cron ends the command at an unescaped "%"
        else
            out += c;
    }
    return out + "'";
}

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

SpawnResult systemctl(std::vector<std::string> args)
{
    args.insert(args.begin(), {systemctlProgram(), "--user"});
    return spawnAndWait(args, kSystemctlBound);
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

void mustSucceed(const std::vector<std::string>& args)
{
    const SpawnResult r = systemctl(args);
    if (!r.started)
        throw std::runtime_error("cannot start " + systemctlProgram());
    if (r.exitCode != 0) {
        std::string words;
        for (const auto& a : args)
            words += " " + a;
        throw std::runtime_error("systemctl --user" + words + " failed: " + trimmed(r.out));
    }
}

void mustBeSchedulable(const ScheduleCommand& command)
{
    if (const std::string why = unschedulableReason(command); !why.empty())
        throw std::invalid_argument(why);
}

} // namespace

std::string unschedulableReason(const ScheduleCommand& command)
{
    std::vector<std::string_view> words{command.program};
    words.insert(words.end(), command.options.begin(), command.options.end());
    for (const std::string_view word : words)
        for (const char c : word)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return std::string("\"").append(word).append(
                    "\" holds a control character (a line break, a tab, ...): no unit or crontab line can hold it");
    return {};
}

std::optional<ScheduleTime> parseScheduleTime(std::string_view text)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    int h = 0, m = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == colon)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        (i < colon ? h : m) = (i < colon ? h : m) * 10 + (text[i] - '0');
    }
    if (h > 23 || m > 59)
        return std::nullopt;
    return ScheduleTime{h, m};
}

std::string scheduleTimeText(const ScheduleTime& at)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", at.hour, at.minute);
    return buf;
}

std::string timerUnitText(const ScheduleTime& at)
{
    std::string text = "[Unit]\n"
                       "Description=Kaldrani: daily track of the listed sites\n"
                       "\n"
                       "[Timer]\n"
                       "OnCalendar=*-*-* ";
    text.append(scheduleTimeText(at)).append(":00\n"
                                             "Persistent=true\n"
                                             "RandomizedDelaySec=10min\n"
                                             "Unit=");
    text.append(kServiceUnit).append("\n"
                                     "\n"
                                     "[Install]\n"
                                     "WantedBy=timers.target\n");
    return text;
}

std::string serviceUnitText(const ScheduleCommand& command)
{
    mustBeSchedulable(command);
    std::string exec = unitWord(command.program);
    for (const auto& o : command.options)
        exec.append(" ").append(unitWord(o));
    std::string text = "[Unit]\n"
                       "Description=Kaldrani: track the listed sites and their keywords\n"
                       "After=network-online.target\n"
                       "Wants=network-online.target\n"
                       "\n"
                       "[Service]\n"
                       "Type=oneshot\n"
                       "ExecStart=";
    // The notice's click is awaited by a process of its own: ending the run must not end it.
    text.append(exec).append(" track --notify\n"
                             "KillMode=process\n");
    return text;
}

std::string crontabLine(const ScheduleTime& at, const ScheduleCommand& command)
{
    mustBeSchedulable(command);
    std::string line = std::to_string(at.minute);
    line.append(" ").append(std::to_string(at.hour)).append(" * * * ").append(shellWord(command.program));
    for (const auto& o : command.options)
        line.append(" ").append(shellWord(o));
    return line.append(" track --notify");
}

std::filesystem::path userUnitFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "systemd" / "user";
    return homeFolder() / ".config" / "systemd" / "user";
}

std::string systemctlProgram()
{
    const char* program = std::getenv("KALDRANI_SYSTEMCTL");
    return program && *program ? program : "systemctl";
}

bool userSystemdRunning()
{
    const SpawnResult r = systemctl({"show-environment"});
    return r.started && r.exitCode == 0;
}

ScheduleState installSchedule(const ScheduleTime& at, const ScheduleCommand& command)
{
    mustBeSchedulable(command);
    if (!userSystemdRunning())
        throw std::runtime_error("no user systemd is running");
    const std::filesystem::path folder = userUnitFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    records::fileio::replaceFile(folder / std::string(kServiceUnit), serviceUnitText(command));
    records::fileio::replaceFile(folder / std::string(kTimerUnit), timerUnitText(at));
    mustSucceed({"daemon-reload"});
    mustSucceed({"enable", "--now", std::string(kTimerUnit)});
    // A timer already running keeps its old time until it is restarted.
    mustSucceed({"restart", std::string(kTimerUnit)});
    return scheduleStatus();
}

// The timer unit's text, and whether there is one.
static bool readTimerUnit(std::string& text)
{
    try {
        text = records::fileio::readDataFile(userUnitFolder() / std::string(kTimerUnit));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

static std::optional<ScheduleTime> timeOfUnit(std::string_view text)
{
    constexpr std::string_view key = "OnCalendar=*-*-* ";
    if (const size_t at = text.find(key); at != std::string_view::npos)
        return parseScheduleTime(text.substr(at + key.size(), 5));
    return std::nullopt;
}

std::optional<ScheduleTime> installedScheduleTime()
{
    std::string text;
    if (!readTimerUnit(text))
        return std::nullopt;
    return timeOfUnit(text);
}

ScheduleState scheduleStatus()
{
    ScheduleState state;
    state.systemd = userSystemdRunning();
    std::string text;
    if (!readTimerUnit(text))
        return state;
    state.installed = true;
    state.at = timeOfUnit(text);
    if (state.systemd) {
        const SpawnResult enabled = systemctl({"is-enabled", std::string(kTimerUnit)});
        const SpawnResult active = systemctl({"is-active", std::string(kTimerUnit)});
        state.detail = trimmed(enabled.out) + ", " + trimmed(active.out);
    }
    return state;
}

bool removeSchedule()
{
    const std::filesystem::path folder = userUnitFolder();
    std::error_code ec;
    const bool had = std::filesystem::exists(folder / std::string(kTimerUnit), ec);
    if (userSystemdRunning() && had)
        systemctl({"disable", "--now", std::string(kTimerUnit)});
    for (const auto unit : {kTimerUnit, kServiceUnit}) {
        std::filesystem::remove(folder / std::string(unit), ec);
        if (ec)
            throw std::runtime_error("cannot remove " + (folder / std::string(unit)).string() + ": " + ec.message());
    }
    if (userSystemdRunning())
        systemctl({"daemon-reload"});
    return had;
}

} // namespace kaldrani::tracking
