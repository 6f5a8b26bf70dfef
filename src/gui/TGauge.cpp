#include "gui/TGauge.h"

#include <QPainter>

#include <algorithm>

namespace kaldrani::gui {

TGauge::TGauge(QWidget* parent) : QWidget(parent) { }

void TGauge::setProgress(int value)
{
    m_progress = std::clamp(value, 0, 100);
    update();
}

void TGauge::setBackgroundColor(const QColor& colour)
{
    m_background = colour;
    update();
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    p.fillRect(rect(), QColor(128, 128, 128));
    p.fillRect(inside, m_background);
    p.fillRect(QRect(inside.left(), inside.top(), inside.width() * m_progress / 100, inside.height()), kBarColor);
    p.setPen(Qt::black);
    p.drawText(inside, Qt::AlignCenter, m_text.isEmpty() ? QString::asprintf("%d%%", m_progress) : m_text);
}

void TGauge::setText(const QString& text)
{
    m_text = text;
    update();
}

} // namespace kaldrani::gui
