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

// The tray menu's daily tracking item: checked with its time while the daily `track` is
// installed; choosing it installs (asking the time) or removes it, through the same code as
// `kaldrani-cli schedule`.
class ScheduleTrayItem : public QObject {
    Q_OBJECT
public:
    // Adds the item to menu; the scheduled run keeps its data in folder.
    ScheduleTrayItem(QMenu* menu, const kaldrani::records::DataFolder& folder, QWidget* parent);

    QAction* action() const { return m_action; }

    // Reads the installed time again and shows it.
    void refresh();
    // What choosing the item does.
    void toggle();

private:
    QAction* m_action = nullptr;
    kaldrani::records::DataFolder m_folder;
    QWidget* m_parent;
};

// Asks the time of day for the daily run; nothing when the user cancels.
using ScheduleTimeChooser = std::function<std::optional<QTime>(QWidget* parent, QTime initial)>;
// Replaces the question for tests; an empty function restores the dialog.
void setScheduleTimeChooser(ScheduleTimeChooser chooser);

} // namespace kaldrani::gui
