#include "gui/FailureMarks.h"

#include "gui/TGauge.h"

#include "core/fetch/FailureReason.h"

#include <QBrush>
#include <QPalette>
#include <QTableWidgetItem>
#include <QWidget>

namespace kaldrani::gui {

namespace {

QString reasonText(const std::string& why, fetch::FailureKind kind)
{
    QString text = QString::fromStdString(why);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    switch (kind) {
    case fetch::FailureKind::Blocked: return QStringLiteral("被拦截：") + QString::fromStdString(fetch::refusalOf(why));
    case fetch::FailureKind::SwitchedOff: return QStringLiteral("已关闭：") + text;
    // The profile's own words: a date and a reason.
    case fetch::FailureKind::Retired:
        return text.startsWith(QStringLiteral("retired: ")) ? text.mid(9) : text;
    default: return QStringLiteral("查询失败：") + text;
    }
}

QColor textColour(fetch::FailureKind kind)
{
    switch (kind) {
    case fetch::FailureKind::Blocked: return kBlockedText;
    case fetch::FailureKind::SwitchedOff: return kSwitchedOffText;
    case fetch::FailureKind::Retired: return kRetiredText;
    default: return kFailureText;
    }
}

QColor backgroundColour(fetch::FailureKind kind)
{
    switch (kind) {
    case fetch::FailureKind::Blocked: return kBlockedBackground;
    case fetch::FailureKind::SwitchedOff: return kSwitchedOffBackground;
    case fetch::FailureKind::Retired: return kRetiredBackground;
    default: return kFailureBackground;
    }
}

} // namespace

const char* notAskedShown(fetch::FailureKind kind, const std::string& why)
{
    if (why.empty())
        return nullptr;
    if (kind == fetch::FailureKind::Retired)
        return fetch::kRetiredShown.data();
    return kind == fetch::FailureKind::SwitchedOff ? kSwitchedOffShown : nullptr;
}

void markFailure(QTableWidgetItem* item, const std::string& why, fetch::FailureKind kind)
{
    if (why.empty()) {
        item->setData(Qt::ForegroundRole, QVariant());
        item->setData(Qt::BackgroundRole, QVariant());
        item->setToolTip(QString());
        return;
    }
    item->setForeground(textColour(kind));
    item->setBackground(backgroundColour(kind));
    item->setToolTip(reasonText(why, kind));
}

void markFailure(QWidget* widget, const std::string& why, fetch::FailureKind kind)
{
    const bool failed = !why.empty();
    widget->setToolTip(failed ? reasonText(why, kind) : QString());
    if (auto* gauge = qobject_cast<TGauge*>(widget)) {
        gauge->setBackgroundColor(failed ? backgroundColour(kind) : QColor(Qt::white));
        return;
    }
    // Back to what the parent gives, so nothing of the mark stays behind.
    widget->setPalette(QPalette());
    widget->setAutoFillBackground(failed);
    if (failed) {
        QPalette marked = widget->palette();
        marked.setColor(QPalette::WindowText, textColour(kind));
        marked.setColor(QPalette::Window, backgroundColour(kind));
        widget->setPalette(marked);
    }
    widget->update();
}

} // namespace kaldrani::gui
