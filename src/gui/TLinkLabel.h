#pragma once

#include <QLabel>

namespace kaldrani::gui {

// A link label: underlined Arial, a hand cursor, optionally blue while the pointer is
// over it; a left click emits clicked.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& text, QWidget* parent = nullptr, bool blueOnHover = false);

    // Lowers the font size (not below 6 points) until the text fits the label's width.
    void shrinkToFit();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_blueOnHover;
};

} // namespace kaldrani::gui
