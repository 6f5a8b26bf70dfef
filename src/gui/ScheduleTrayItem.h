#pragma once

#include "core/records/DataFolder.h"

#include <QObject>
#include <QTime>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QWidget;

namespace kaldrani::gui {

class Runner;

// The tray menu's daily tracking item: checked with its time while the daily `track` is
// installed; choosing it installs (asking the time) or removes it, through the same code as
// `kaldrani-cli schedule`. Every systemctl call goes to the runner, so a slow one holds
// neither the tray nor a window.
class ScheduleTrayItem : public QObject {
    Q_OBJECT
public:
    // Adds the item to menu; the scheduled run keeps its data in folder.
    ScheduleTrayItem(QMenu* menu, const kaldrani::records::DataFolder& folder, QWidget* parent, Runner& runner);

    QAction* action() const { return m_action; }
    // Whether a refresh or a choice is still waiting on systemctl.
    bool busy() const { return m_busy; }

    // Reads the installed time again and shows it, once systemctl has answered.
    void refresh();
    // What choosing the item does. A choice made while one is still going is dropped.
    void toggle();

signals:
    // A refresh or a choice has ended and the item shows its outcome.
    void settled();

private:
    void show(bool installed, const QString& timeText);
    void chooseTime();
    void finish();

    QAction* m_action = nullptr;
    kaldrani::records::DataFolder m_folder;
    QWidget* m_parent;
    Runner& m_runner;
    bool m_busy = false;
};

// Asks the time of day for the daily run; nothing when the user cancels.
using ScheduleTimeChooser = std::function<std::optional<QTime>(QWidget* parent, QTime initial)>;
// Replaces the question for tests; an empty function restores the dialog.
void setScheduleTimeChooser(ScheduleTimeChooser chooser);

} // namespace kaldrani::gui
