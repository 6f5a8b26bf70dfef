#include "gui/AboutWindow.h"

#include "gui/BrowserOpener.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MakerSite.h"
#include "gui/Placement.h"
#include "gui/TLinkLabel.h"

#include <QLabel>

namespace kaldrani::gui {

using namespace kaldrani;

AboutWindow::AboutWindow(const QWidget* centreOver)
    : ToolWindow(nullptr, gui::TitleBar::Dialog, QStringLiteral(" 关于软件"), {kClientWidth, kClientHeight})
{
    centreOnFirstShow(centreOver);

    // Taller than the nominal 13 pixels: a 12-point line needs the room.
    auto* title = new QLabel(QStringLiteral("Kaldrani V 1.65  迷你版"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(gui::tahoma(12, true));
    title->setStyleSheet(QStringLiteral("color: blue;"));
    title->move(56, 16);
    title->adjustSize();

    auto* author = new QLabel(QStringLiteral("作者：Kaldrani 项目组"), this);
    author->setObjectName(QStringLiteral("authorLabel"));
    author->move(40, 48);
    author->adjustSize();

    auto* contact = new QLabel(QStringLiteral("联系：请经官方网址留言"), this);
    contact->setObjectName(QStringLiteral("contactLabel"));
    contact->move(40, 70);
    contact->adjustSize();

    auto* siteCaption = new QLabel(QStringLiteral("官方网址："), this);
    siteCaption->setObjectName(QStringLiteral("siteCaptionLabel"));
    siteCaption->setGeometry(64, 104, 60, 13);

    const QString host = QString::fromUtf8(endpoints::kMaker.data(), endpoints::kMaker.size()).toUpper();
    auto* siteLink = new gui::TLinkLabel(host, this);
    siteLink->setObjectName(QStringLiteral("siteLink"));
    siteLink->setGeometry(130, 104, 88, 14);
    // Arial is rarely installed here, and its stand-ins run wider.
    siteLink->shrinkToFit();
    connect(siteLink, &gui::TLinkLabel::clicked, this, &AboutWindow::onSiteLinkClicked);
}

void AboutWindow::onSiteLinkClicked()
{
    gui::openInBrowser(gui::makerHomePage());
}

} // namespace kaldrani::gui
