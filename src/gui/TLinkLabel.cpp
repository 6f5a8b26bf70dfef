#include "gui/TLinkLabel.h"

#include <QFontMetrics>
#include <QMouseEvent>

namespace kaldrani::gui {

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent, bool blueOnHover)
    : QLabel(text, parent), m_blueOnHover(blueOnHover)
{
    QFont f({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    f.setPointSize(8);
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::shrinkToFit()
{
    QFont f = font();
    while (f.pointSize() > 6 && QFontMetrics(f).horizontalAdvance(text()) > width())
        f.setPointSize(f.pointSize() - 1);
    setFont(f);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::enterEvent(QEnterEvent* event)
{
    if (m_blueOnHover)
        setStyleSheet(QStringLiteral("color: blue;"));
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event)
{
    if (m_blueOnHover)
        setStyleSheet(QString());
    QLabel::leaveEvent(event);
}

} // namespace kaldrani::gui
