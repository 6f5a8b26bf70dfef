#include "gui/updata.h"

#include "gui/BrowserOpener.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MakerSite.h"
#include "gui/Placement.h"
#include "gui/TLinkLabel.h"

#include <QLabel>

namespace kaldrani::gui {

using namespace kaldrani;

TfrmUpdate::TfrmUpdate(QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::Dialog, QStringLiteral(" Kaldrani"), {kClientWidth, kClientHeight})
{

    bsSkinStdLabel1 = new QLabel(QStringLiteral("软件有更新请下载最新版"), this);
    bsSkinStdLabel1->setGeometry(24, 32, 165, 16);
    bsSkinStdLabel1->setFont(gui::tahoma(10));
    bsSkinStdLabel1->setAutoFillBackground(true);
    QPalette notice = bsSkinStdLabel1->palette();
    notice.setColor(QPalette::Window, QColor(255, 244, 200));
    bsSkinStdLabel1->setPalette(notice);

    bsSkinStdLabel2 = new QLabel(QStringLiteral("官方网址："), this);
    bsSkinStdLabel2->setGeometry(24, 88, 60, 13);

    bsSkinLinkLabel1 = new gui::TLinkLabel(QString::fromUtf8(endpoints::kMaker.data(), endpoints::kMaker.size()),
                                           this, true);
    bsSkinLinkLabel1->setGeometry(90, 85, 102, 21);
    connect(bsSkinLinkLabel1, &gui::TLinkLabel::clicked, this, &TfrmUpdate::bsSkinLinkLabel1Click);

    FormCreate();
}

void TfrmUpdate::FormCreate()
{
    m_placement.emplace(this, 30, 40);
}

void TfrmUpdate::bsSkinLinkLabel1Click()
{
    gui::openInBrowser(gui::makerHomePage());
}

void TfrmUpdate::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    if (m_placement)
        m_placement->windowShown();
}

} // namespace kaldrani::gui
