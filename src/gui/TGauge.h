#pragma once

#include <QColor>
#include <QWidget>

namespace kaldrani::gui {

// A horizontal bar gauge from 0 to 100: a green bar on white, the value as "%d%%" text.
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    // The value, held at the nearer limit when outside 0..100.
    void setProgress(int value);
    int progress() const { return m_progress; }
    // The colour behind the bar; white unless changed.
    void setBackgroundColor(const QColor& colour);
    const QColor& backgroundColor() const { return m_background; }
    // Shown in place of the value when not empty (a service not asked has no value).
    void setText(const QString& text);
    const QString& text() const { return m_text; }

    static inline const QColor kBarColor{0, 160, 0};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_progress = 0;
    QColor m_background{Qt::white};
    QString m_text;
};

} // namespace kaldrani::gui
