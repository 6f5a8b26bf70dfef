#pragma once

#include <QWidget>

class QLabel;

namespace kaldrani::gui {
class TLinkLabel;
}

// The about window: title, version and edition, author and contact lines, the maker's site.
class TfrmAbout : public QWidget {
    Q_OBJECT
public:
    // Creates the window hidden; it centres itself over the main window when first shown.
    explicit TfrmAbout(QWidget* parent = nullptr);

    static constexpr int kClientWidth = 238;
    static constexpr int kClientHeight = 150;

    QLabel* bsSkinStdLabel1 = nullptr;
    QLabel* bsSkinStdLabel2 = nullptr;
    QLabel* bsSkinStdLabel3 = nullptr;
    QLabel* bsSkinStdLabel4 = nullptr;
    kaldrani::gui::TLinkLabel* bsSkinLinkLabel1 = nullptr;

    // Opens the maker's home page.
    void bsSkinLinkLabel1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_shownOnce = false;
};

// The current about window: the toolbar's about button shows this one.
extern TfrmAbout* frmAbout;
