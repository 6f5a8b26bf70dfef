#include "gui/about.h"

#include "gui/BrowserOpener.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MakerSite.h"
#include "gui/Placement.h"
#include "gui/TLinkLabel.h"

#include <QLabel>

namespace kaldrani::gui {

using namespace kaldrani;

TfrmAbout::TfrmAbout(const QWidget* centreOver)
    : ToolWindow(nullptr, gui::TitleBar::Dialog, QStringLiteral(" 关于软件"), {kClientWidth, kClientHeight})
{
    centreOnFirstShow(centreOver);

    // Taller than the nominal 13 pixels: a 12-point line needs the room.
    bsSkinStdLabel1 = new QLabel(QStringLiteral("Kaldrani V 1.65  迷你版"), this);
    bsSkinStdLabel1->setFont(gui::tahoma(12, true));
    bsSkinStdLabel1->setStyleSheet(QStringLiteral("color: blue;"));
    bsSkinStdLabel1->move(56, 16);
    bsSkinStdLabel1->adjustSize();

    bsSkinStdLabel2 = new QLabel(QStringLiteral("作者：Kaldrani 项目组"), this);
    bsSkinStdLabel2->move(40, 48);
    bsSkinStdLabel2->adjustSize();

    bsSkinStdLabel3 = new QLabel(QStringLiteral("联系：请经官方网址留言"), this);
    bsSkinStdLabel3->move(40, 70);
    bsSkinStdLabel3->adjustSize();

    bsSkinStdLabel4 = new QLabel(QStringLiteral("官方网址："), this);
    bsSkinStdLabel4->setGeometry(64, 104, 60, 13);

    const QString host = QString::fromUtf8(endpoints::kMaker.data(), endpoints::kMaker.size()).toUpper();
    bsSkinLinkLabel1 = new gui::TLinkLabel(host, this);
    bsSkinLinkLabel1->setGeometry(130, 104, 88, 14);
    // Arial is rarely installed here, and its stand-ins run wider.
    bsSkinLinkLabel1->shrinkToFit();
    connect(bsSkinLinkLabel1, &gui::TLinkLabel::clicked, this, &TfrmAbout::bsSkinLinkLabel1Click);
}

void TfrmAbout::bsSkinLinkLabel1Click()
{
    gui::openInBrowser(gui::makerHomePage());
}

} // namespace kaldrani::gui
