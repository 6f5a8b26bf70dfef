#include "gui/ToolWindow.h"

#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/Placement.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QKeyEvent>

#include <functional>

namespace kaldrani::gui {

namespace {

Qt::WindowFlags flagsOf(TitleBar bar)
{
    constexpr Qt::WindowFlags titled = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    switch (bar) {
    case TitleBar::Tool: return Qt::Window | titled | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint;
    case TitleBar::CloseOnly: return Qt::Window | titled;
    case TitleBar::Dialog: return Qt::Dialog | titled | Qt::MSWindowsFixedSizeDialogHint;
    case TitleBar::Plain: break;
    }
    return Qt::Window;
}

} // namespace

ToolWindow::ToolWindow(QWidget* parent, TitleBar bar, const QString& title, QSize client)
    : QWidget(parent, flagsOf(bar))
{
    setWindowTitle(title);
    setWindowIcon(appIcon());
    setFixedSize(client);
    setFont(tahoma(8));
}

void ToolWindow::centreOnFirstShow(const QWidget* over)
{
    m_centre = true;
    m_over = over;
}

void ToolWindow::setReturnButton(QAbstractButton* button)
{
    m_returnButton = button;
}

QAbstractButton* ToolWindow::addStopButton(QAbstractButton* start)
{
    auto* stop = new QPushButton(QStringLiteral("停止"), start->parentWidget());
    stop->setObjectName(QStringLiteral("stopButton"));
    stop->setGeometry(start->geometry());
    stop->setFont(start->font());
    stop->hide();
    return stop;
}

void ToolWindow::connectClick(QAbstractButton* button, std::function<void()> handler)
{
    connect(button, &QAbstractButton::clicked, this, [this, handler = std::move(handler)] { runHandler(handler, this); });
}

void ToolWindow::showEvent(QShowEvent* event)
{
    if (m_centre && !m_placed) {
        m_placed = true;
        centreOver(this, m_over);
    }
    QWidget::showEvent(event);
}

void ToolWindow::keyPressEvent(QKeyEvent* event)
{
    if (m_returnButton && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // A disabled button ignores the click: input held back during a run stays held.
        m_returnButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kaldrani::gui
