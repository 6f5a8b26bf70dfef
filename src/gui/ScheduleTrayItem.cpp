#include "gui/ScheduleTrayItem.h"

#include "core/tracking/Schedule.h"
#include "gui/ErrorBox.h"
#include "gui/Icons.h"

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

ScheduleTrayItem::ScheduleTrayItem(QMenu* menu, const records::DataFolder& folder, QWidget* parent)
    : QObject(parent), m_folder(folder), m_parent(parent)
{
    m_action = menu->addAction(menuIcon(MenuIcon::Schedule), QStringLiteral("每日跟踪"));
    m_action->setCheckable(true);
    connect(m_action, &QAction::triggered, this, [this] { runHandler([this] { toggle(); }, m_parent); });
    connect(menu, &QMenu::aboutToShow, this, &ScheduleTrayItem::refresh);
    refresh();
}

void ScheduleTrayItem::refresh()
{
    const auto at = tracking::installedScheduleTime();
    m_action->setChecked(at.has_value());
    m_action->setText(at ? QStringLiteral("每日跟踪 %1").arg(QString::fromStdString(tracking::scheduleTimeText(*at)))
                         : QStringLiteral("每日跟踪"));
}

void ScheduleTrayItem::toggle()
{
    const auto at = tracking::installedScheduleTime();
    if (at) {
        tracking::removeSchedule();
        refresh();
        return;
    }
    refresh();
    const std::optional<QTime> chosen = askTime(m_parent, QTime(8, 0));
    if (!chosen)
        return;
    const tracking::ScheduleTime time{chosen->hour(), chosen->minute()};
    const tracking::ScheduleCommand command{cliProgram(), {"--data-dir", std::filesystem::absolute(m_folder.base()).string()}};
    if (!tracking::userSystemdRunning()) {
        showApplicationError(QStringLiteral("没有运行中的 systemd 用户实例。请把下面这一行加入 crontab（crontab -e）：\n")
                                 + QString::fromStdString(tracking::crontabLine(time, command)),
                             m_parent);
        return;
    }
    try {
        tracking::installSchedule(time, command);
    } catch (...) {
        refresh(); // a half-made install may have left its units: show what is there
        throw;
    }
    refresh();
}

} // namespace kaldrani::gui
