#pragma once

#include <QObject>

#include <filesystem>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace kaldrani::gui {

// The tray menu's "同时查询" item: how many hosts the window's overview and keyword scan
// ask at once. Off (one after another, in the queries' order) unless the user chose more;
// the choice is kept in the user's configuration folder beside the engine profile and
// applied to the runs as the item is made and whenever it changes.
class ParallelQueriesSetting : public QObject {
    Q_OBJECT
public:
    // The choices offered; 1 is off.
    static constexpr int kChoices[] = {1, 2, 4, 8};

    // Adds the item to menu, reads the kept choice and applies it.
    ParallelQueriesSetting(QMenu* menu, QObject* parent);

    QAction* action() const { return m_action; }
    // The choice in force.
    int jobs() const { return m_jobs; }
    // What choosing one of the item's entries does: applies jobs and keeps it. A file that
    // cannot be written leaves the choice in force for this session and says so.
    void choose(int jobs);

private:
    void apply(int jobs);

    QAction* m_action = nullptr;
    QActionGroup* m_group = nullptr;
    std::vector<QAction*> m_entries;
    int m_jobs = 1;
};

// Where the choice is kept: ${XDG_CONFIG_HOME:-$HOME/.config}/kaldrani/window.conf.
std::filesystem::path windowSettingsPath();

// The kept number of hosts asked at once, 1 when the file is missing, unreadable or names
// no number offered. Never raises.
int readParallelQueries(const std::filesystem::path& file);

} // namespace kaldrani::gui
