#include "gui/ParallelQueriesSetting.h"

#include "core/profiles/ProfileLoader.h"
#include "core/queries/KeywordRun.h"
#include "core/queries/SiteOverviewRun.h"
#include "core/records/FileIo.h"
#include "gui/ErrorBox.h"
#include "gui/Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace kaldrani::gui {

namespace {

constexpr std::string_view kKey = "parallel-queries";

bool offered(int jobs)
{
    return std::find(std::begin(ParallelQueriesSetting::kChoices), std::end(ParallelQueriesSetting::kChoices), jobs)
           != std::end(ParallelQueriesSetting::kChoices);
}

QString entryText(int jobs)
{
    return jobs <= 1 ? QStringLiteral("关闭（依次查询）") : QStringLiteral("%1 个").arg(jobs);
}

} // namespace

std::filesystem::path windowSettingsPath()
{
    return profiles::userProfilePath().parent_path() / "window.conf";
}

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The value of key in a file of "key = value" lines, a later line winning; nothing when none.
std::optional<std::string_view> valueOf(std::string_view text, std::string_view key)
{
    std::optional<std::string_view> value;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && trimmed(line.substr(0, equals)) == key)
            value = trimmed(line.substr(equals + 1));
    }
    return value;
}

} // namespace

int readParallelQueries(const std::filesystem::path& file)
{
    std::string text;
    try {
        text = records::fileio::readDataFile(file);
    } catch (...) {
        return 1;
    }
    const std::optional<std::string_view> value = valueOf(text, kKey);
    if (!value)
        return 1;
    int n = 0;
    const auto [at, error] = std::from_chars(value->data(), value->data() + value->size(), n);
    return error == std::errc() && at == value->data() + value->size() && offered(n) ? n : 1;
}

ParallelQueriesSetting::ParallelQueriesSetting(QMenu* menu, QObject* parent) : QObject(parent)
{
    auto* submenu = new QMenu(QStringLiteral("同时查询"), menu);
    submenu->setIcon(menuIcon(MenuIcon::Parallel));
    m_action = menu->addMenu(submenu);
    m_group = new QActionGroup(submenu);
    m_group->setExclusive(true);
    for (const int jobs : kChoices) {
        QAction* entry = submenu->addAction(entryText(jobs));
        entry->setCheckable(true);
        entry->setData(jobs);
        m_group->addAction(entry);
        m_entries.push_back(entry);
        connect(entry, &QAction::triggered, this, [this, jobs] { choose(jobs); });
    }
    apply(readParallelQueries(windowSettingsPath()));
}

void ParallelQueriesSetting::apply(int jobs)
{
    m_jobs = offered(jobs) ? jobs : 1;
    queries::setOverviewJobs(m_jobs);
    queries::setKeywordJobs(m_jobs);
    for (QAction* entry : m_entries)
        entry->setChecked(entry->data().toInt() == m_jobs);
}

void ParallelQueriesSetting::choose(int jobs)
{
    apply(jobs);
    const std::filesystem::path file = windowSettingsPath();
    try {
        // Other lines of the file are kept as they are.
        std::string kept;
        try {
            const std::string text = records::fileio::readDataFile(file);
            std::string_view rest(text);
            while (!rest.empty()) {
                const size_t end = rest.find('\n');
                const std::string_view line = rest.substr(0, end);
                rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
                const size_t equals = line.find('=');
                if (equals == std::string_view::npos || trimmed(line.substr(0, equals)) != kKey)
                    kept.append(line).append("\n");
            }
        } catch (const records::FileError&) {
            std::error_code missing;
            if (std::filesystem::exists(file, missing))
                throw;
        }
        std::error_code ignored;
        std::filesystem::create_directories(file.parent_path(), ignored);
        records::fileio::replaceFile(file, kept + std::string(kKey) + " = " + std::to_string(m_jobs) + "\n");
    } catch (const std::exception& e) {
        showApplicationError(QString::fromStdString(e.what()));
    }
}

} // namespace kaldrani::gui
