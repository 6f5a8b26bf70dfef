#include "gui/FailureMarks.h"

#include "gui/TGauge.h"

#include <QBrush>
#include <QPalette>
#include <QTableWidgetItem>
#include <QWidget>

namespace kaldrani::gui {

namespace {

QString reasonText(const std::string& why)
{
    QString text = QString::fromStdString(why);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return QStringLiteral("查询失败：") + text;
}

} // namespace

void markFailure(QTableWidgetItem* item, const std::string& why)
{
    if (why.empty()) {
        item->setData(Qt::ForegroundRole, QVariant());
        item->setData(Qt::BackgroundRole, QVariant());
        item->setToolTip(QString());
        return;
    }
    item->setForeground(kFailureText);
    item->setBackground(kFailureBackground);
    item->setToolTip(reasonText(why));
}

void markFailure(QWidget* widget, const std::string& why)
{
    const bool failed = !why.empty();
    widget->setToolTip(failed ? reasonText(why) : QString());
    if (auto* gauge = qobject_cast<TGauge*>(widget)) {
        gauge->setBackgroundColor(failed ? kFailureBackground : QColor(Qt::white));
        return;
    }
    // Back to what the parent gives, so nothing of the mark stays behind.
    widget->setPalette(QPalette());
    widget->setAutoFillBackground(failed);
    if (failed) {
        QPalette marked = widget->palette();
        marked.setColor(QPalette::WindowText, kFailureText);
        marked.setColor(QPalette::Window, kFailureBackground);
        widget->setPalette(marked);
    }
    widget->update();
}

} // namespace kaldrani::gui
