#include "gui/UpdateNotice.h"

#include "gui/BrowserOpener.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MakerSite.h"
#include "gui/Placement.h"
#include "gui/TLinkLabel.h"

#include <QLabel>

namespace kaldrani::gui {

using namespace kaldrani;

UpdateNotice::UpdateNotice(QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::Dialog, QStringLiteral(" Kaldrani"), {kClientWidth, kClientHeight})
{
    auto* notice = new QLabel(QStringLiteral("软件有更新请下载最新版"), this);
    notice->setObjectName(QStringLiteral("noticeLabel"));
    notice->setGeometry(24, 32, 165, 16);
    notice->setFont(gui::tahoma(10));
    notice->setAutoFillBackground(true);
    QPalette background = notice->palette();
    background.setColor(QPalette::Window, QColor(255, 244, 200));
    notice->setPalette(background);

    auto* siteCaption = new QLabel(QStringLiteral("官方网址："), this);
    siteCaption->setObjectName(QStringLiteral("siteCaptionLabel"));
    siteCaption->setGeometry(24, 88, 60, 13);

    auto* siteLink = new gui::TLinkLabel(QString::fromUtf8(endpoints::kMaker.data(), endpoints::kMaker.size()),
                                         this, true);
    siteLink->setObjectName(QStringLiteral("siteLink"));
    siteLink->setGeometry(90, 85, 102, 21);
    connect(siteLink, &gui::TLinkLabel::clicked, this, &UpdateNotice::onSiteLinkClicked);

    // The place is taken once, from the screen as it is now.
    m_placement.emplace(this, 30, 40);
}

void UpdateNotice::onSiteLinkClicked()
{
    gui::openInBrowser(gui::makerHomePage());
}

void UpdateNotice::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    if (m_placement)
        m_placement->windowShown();
}

} // namespace kaldrani::gui
