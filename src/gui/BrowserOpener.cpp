#include "gui/BrowserOpener.h"

#include <QProcess>

namespace kaldrani::gui {

namespace {
BrowserOpener* g_opener = nullptr;
}

void XdgOpenBrowser::open(const QString& url)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

void setBrowserOpener(BrowserOpener* opener)
{
    g_opener = opener;
}

void openInBrowser(const QString& url)
{
    static XdgOpenBrowser xdgOpen;
    (g_opener ? *g_opener : static_cast<BrowserOpener&>(xdgOpen)).open(url);
}

} // namespace kaldrani::gui
