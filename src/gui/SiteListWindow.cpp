#include "gui/SiteListWindow.h"

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

SiteListWindow::SiteListWindow(const kaldrani::records::DataFolder& folder, const QWidget* centreOver)
    : ToolWindow(nullptr, kaldrani::gui::TitleBar::Plain, QStringLiteral("管理站点"), {clientWidth, clientHeight})
    , m_folder(folder)
{
    centreOnFirstShow(centreOver);

    m_siteBox = new QPlainTextEdit(this);
    m_siteBox->setObjectName(QStringLiteral("siteBox"));
    m_siteBox->setGeometry(3, 0, 185, 265);
    QFont arial = font();
    arial.setFamilies({ QStringLiteral("Arial"), QStringLiteral("WenQuanYi Micro Hei") });
    m_siteBox->setFont(arial);
    m_siteBox->setToolTip(QStringLiteral("按行输入网址"));
    m_siteBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_siteBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_siteBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    m_saveButton = new QPushButton(QStringLiteral("保  存"), this);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setGeometry(16, 271, 57, 25);
    m_cancelButton = new QPushButton(QStringLiteral("取 消"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setGeometry(104, 271, 57, 25);

    onClicked(m_saveButton, &SiteListWindow::onSaveClicked);
    onClicked(m_cancelButton, &SiteListWindow::onCancelClicked);

    runHandler([this] { loadList(); }, this);
}

void SiteListWindow::loadList()
{
    m_listUnread = kaldrani::records::siteListExists(m_folder);
    if (!m_listUnread)
        return;
    QStringList lines;
    for (const auto& site : kaldrani::records::loadSiteList(m_folder))
        lines << QString::fromUtf8(site.data(), static_cast<qsizetype>(site.size()));
    m_siteBox->setPlainText(lines.join(QLatin1Char('\n')));
    m_listUnread = false;
}

std::string SiteListWindow::unreadListReason() const
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

void SiteListWindow::onSaveClicked()
{
    const std::string cleaned = kaldrani::records::removeEmptyLines(m_siteBox->toPlainText().toStdString());
    const QString shown = boxText(cleaned);
    if (shown != m_siteBox->toPlainText())
        m_siteBox->setPlainText(shown);
    if (const std::string why = unreadListReason(); !why.empty())
        throw kaldrani::records::FileError(kaldrani::records::FileError::Operation::Create, m_folder.siteListPath(), why);
    kaldrani::records::saveSiteList(m_folder, cleaned);
    close();
}

void SiteListWindow::onCancelClicked()
{
    close();
}

void SiteListWindow::showEvent(QShowEvent* event)
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
