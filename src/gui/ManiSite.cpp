#include "gui/ManiSite.h"

#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>

#include <string>

namespace kaldrani::gui {

namespace {

// The box reaches x = 188, so the client area is that wide instead of 179.
constexpr int clientWidth = 188;
constexpr int clientHeight = 300;

QString boxText(const std::string& text)
{
    QString box = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    box.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return box;
}

} // namespace

TfrmManiSite::TfrmManiSite(const kaldrani::records::DataFolder& folder, const QWidget* centreOver)
    : ToolWindow(nullptr, kaldrani::gui::TitleBar::Plain, QStringLiteral("管理站点"), {clientWidth, clientHeight})
    , m_folder(folder)
{
    centreOnFirstShow(centreOver);

    MoUrl = new QPlainTextEdit(this);
    MoUrl->setObjectName(QStringLiteral("MoUrl"));
    MoUrl->setGeometry(3, 0, 185, 265);
    QFont arial = font();
    arial.setFamilies({ QStringLiteral("Arial"), QStringLiteral("WenQuanYi Micro Hei") });
    MoUrl->setFont(arial);
    MoUrl->setToolTip(QStringLiteral("按行输入网址"));
    MoUrl->setLineWrapMode(QPlainTextEdit::NoWrap);
    MoUrl->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MoUrl->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    brnSave = new QPushButton(QStringLiteral("保  存"), this);
    brnSave->setObjectName(QStringLiteral("brnSave"));
    brnSave->setGeometry(16, 271, 57, 25);
    brnCanc = new QPushButton(QStringLiteral("取 消"), this);
    brnCanc->setObjectName(QStringLiteral("brnCanc"));
    brnCanc->setGeometry(104, 271, 57, 25);

    onClicked(brnSave, &TfrmManiSite::brnSaveClick);
    onClicked(brnCanc, &TfrmManiSite::brnCancClick);

    runHandler([this] { FormCreate(); }, this);
}

void TfrmManiSite::FormCreate()
{
    loadList();
}

void TfrmManiSite::loadList()
{
    m_listUnread = kaldrani::records::siteListExists(m_folder);
    if (!m_listUnread)
        return;
    QStringList lines;
    for (const auto& site : kaldrani::records::loadSiteList(m_folder))
        lines << QString::fromUtf8(site.data(), static_cast<qsizetype>(site.size()));
    MoUrl->setPlainText(lines.join(QLatin1Char('\n')));
    m_listUnread = false;
}

std::string TfrmManiSite::unreadListReason() const
{
    // A missing list holds nothing to lose: the save creates it.
    if (!kaldrani::records::siteListExists(m_folder))
        return {};
    try {
        kaldrani::records::loadSiteList(m_folder);
    } catch (const kaldrani::records::FileError& e) {
        return "The site list there was not read, so it is kept as it is: " + e.reason();
    }
    if (m_listUnread)
        return "The site list there was not read when this window opened, so it is kept as it is; "
               "open this window again to load it.";
    return {};
}

void TfrmManiSite::brnSaveClick()
{
    const std::string cleaned = kaldrani::records::removeEmptyLines(MoUrl->toPlainText().toStdString());
    const QString shown = boxText(cleaned);
    if (shown != MoUrl->toPlainText())
        MoUrl->setPlainText(shown);
    if (const std::string why = unreadListReason(); !why.empty())
        throw kaldrani::records::FileError(kaldrani::records::FileError::Operation::Create, m_folder.siteListPath(), why);
    kaldrani::records::saveSiteList(m_folder, cleaned);
    close();
}

void TfrmManiSite::brnCancClick()
{
    close();
}

void TfrmManiSite::showEvent(QShowEvent* event)
{
    // A list fixed since it was refused loads now; while it stays refused the box keeps
    // its text and a save says why it cannot replace the list.
    if (m_listUnread) {
        try {
            loadList();
        } catch (const kaldrani::records::FileError&) {
        }
    }
    ToolWindow::showEvent(event);
}

} // namespace kaldrani::gui
