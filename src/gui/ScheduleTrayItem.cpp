#include "gui/ScheduleTrayItem.h"

#include "core/tracking/Schedule.h"
#include "gui/ErrorBox.h"
#include "gui/Icons.h"
#include "gui/Runner.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace kaldrani::gui {

namespace {

ScheduleTimeChooser g_chooser;

std::optional<QTime> askTime(QWidget* parent, QTime initial)
{
    if (g_chooser)
        return g_chooser(parent, initial);
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("每日跟踪"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("每天几点跟踪全部站点和关键词？"), &dialog));
    auto* edit = new QTimeEdit(initial, &dialog);
    edit->setDisplayFormat(QStringLiteral("HH:mm"));
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return edit->time();
}

// kaldrani-cli beside this program when it is there (an install or a build), else on PATH.
std::string cliProgram()
{
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/kaldrani-cli"));
    if (beside.isExecutable())
        return beside.absoluteFilePath().toStdString();
    const QFileInfo built(QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/kaldrani-cli"));
    if (built.isExecutable())
        return built.canonicalFilePath().toStdString();
    return "kaldrani-cli";
}

} // namespace

void setScheduleTimeChooser(ScheduleTimeChooser chooser)
{
    g_chooser = std::move(chooser);
}

namespace {

// What systemctl said of the installed item: its time as shown, when there is one.
struct Installed {
    bool installed = false;
    QString timeText;
};

// Never raises: what cannot be read shows as not installed.
Installed readInstalled() noexcept
{
    try {
        const auto at = tracking::installedScheduleTime();
        return at ? Installed{true, QString::fromStdString(tracking::scheduleTimeText(*at))} : Installed{};
    } catch (...) {
        return {};
    }
}

// The outcome of a change: what is installed now, and the failure to show, if any.
struct Changed {
    Installed now;
    QString error;
    bool askTime = false; // nothing was installed: the window thread asks the time
};

} // namespace

ScheduleTrayItem::ScheduleTrayItem(QMenu* menu, const records::DataFolder& folder, QWidget* parent, Runner& runner)
    : QObject(parent), m_folder(folder), m_parent(parent), m_runner(runner)
{
    m_action = menu->addAction(menuIcon(MenuIcon::Schedule), QStringLiteral("每日跟踪"));
    m_action->setCheckable(true);
    connect(m_action, &QAction::triggered, this, [this] { runHandler([this] { toggle(); }, m_parent); });
    connect(menu, &QMenu::aboutToShow, this, &ScheduleTrayItem::refresh);
    refresh();
}

void ScheduleTrayItem::show(bool installed, const QString& timeText)
{
    m_action->setChecked(installed);
    m_action->setText(installed ? QStringLiteral("每日跟踪 %1").arg(timeText) : QStringLiteral("每日跟踪"));
}

void ScheduleTrayItem::finish()
{
    m_busy = false;
    emit settled();
}

void ScheduleTrayItem::refresh()
{
    // A choice under way shows its own outcome when it ends.
    if (m_busy)
        return;
    m_busy = true;
    m_runner.runThen<Installed>(this, std::function<Installed()>(readInstalled), [this](const Installed& now) {
        show(now.installed, now.timeText);
        finish();
    });
}

void ScheduleTrayItem::toggle()
{
    // The click toggled the check box; the item shows what systemctl says, not the click.
    m_action->setChecked(!m_action->isChecked());
    if (m_busy)
        return;
    m_busy = true;
    m_runner.runThen<Changed>(
        this,
        [] {
            Changed changed;
            try {
                if (tracking::installedScheduleTime())
                    tracking::removeSchedule();
                else
                    changed.askTime = true;
            } catch (const std::exception& e) {
                changed.error = QString::fromUtf8(e.what());
            }
            changed.now = readInstalled();
            return changed;
        },
        [this](const Changed& changed) {
            show(changed.now.installed, changed.now.timeText);
            if (changed.askTime && changed.error.isEmpty()) {
                chooseTime();
                return;
            }
            finish();
            if (!changed.error.isEmpty())
                showApplicationError(changed.error, m_parent);
        });
}

void ScheduleTrayItem::chooseTime()
{
    const std::optional<QTime> chosen = askTime(m_parent, QTime(8, 0));
    if (!chosen) {
        finish();
        return;
    }
    const tracking::ScheduleTime time{chosen->hour(), chosen->minute()};
    const tracking::ScheduleCommand command{cliProgram(), {"--data-dir", std::filesystem::absolute(m_folder.base()).string()}};
    m_runner.runThen<Changed>(
        this,
        [time, command] {
            Changed changed;
            try {
                if (!tracking::userSystemdRunning())
                    changed.error = QStringLiteral("没有运行中的 systemd 用户实例。请把下面这一行加入 crontab（crontab -e）：\n")
                                    + QString::fromStdString(tracking::crontabLine(time, command));
                else
                    tracking::installSchedule(time, command);
            } catch (const std::exception& e) {
                changed.error = QString::fromUtf8(e.what());
            }
            // A half-made install may have left its units: show what is there.
            changed.now = readInstalled();
            return changed;
        },
        [this](const Changed& changed) {
            show(changed.now.installed, changed.now.timeText);
            finish();
            if (!changed.error.isEmpty())
                showApplicationError(changed.error, m_parent);
        });
}

} // namespace kaldrani::gui
