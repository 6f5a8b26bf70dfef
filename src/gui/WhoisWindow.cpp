#include "gui/WhoisWindow.h"

#include "core/lookups/WhoisQuery.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"
#include "gui/Runner.h"

#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>

#include <optional>

namespace kaldrani::gui {

using kaldrani::gui::fromUtf8;

namespace {

constexpr int clientWidth = 361;
constexpr int clientHeight = 405;

// The record as the box shows it: its lines end in CR CR LF (a page's CR LF with the LF
// made CR LF), which the box would show as two breaks; any run of CRs before an LF is one.
QString recordLines(std::string_view text)
{
    QString shown = fromUtf8(text);
    qsizetype write = 0;
    for (qsizetype read = 0; read < shown.size(); ++read) {
        if (shown[read] == QChar('\r')) {
            qsizetype next = read;
            while (next < shown.size() && shown[next] == QChar('\r'))
                ++next;
            if (next < shown.size() && shown[next] == QChar('\n'))
                read = next;
        }
        shown[write++] = shown[read];
    }
    shown.truncate(write);
    return shown;
}

// The lines of the box's text; an empty line after the last line break is none.
int lineCount(const QPlainTextEdit& box)
{
    const QTextDocument* document = box.document();
    return document->blockCount() - (document->lastBlock().text().isEmpty() ? 1 : 0);
}

} // namespace

WhoisWindow::WhoisWindow(kaldrani::gui::Runner& runner, const kaldrani::records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Tool, QStringLiteral("域名查询"), {clientWidth, clientHeight})
    , m_runner(runner)
    , m_folder(folder)
{

    m_domainBox = new QComboBox(this);
    m_domainBox->setObjectName(QStringLiteral("domainBox"));
    m_domainBox->setEditable(true);
    m_domainBox->setGeometry(8, 8, 273, 20);
    m_domainBox->setMaxVisibleItems(8);
    m_domainBox->setInsertPolicy(QComboBox::NoInsert);
    m_domainBox->completer()->setCompletionMode(QCompleter::InlineCompletion);
    m_domainBox->completer()->setCaseSensitivity(Qt::CaseSensitive);

    m_queryButton = new QPushButton(QStringLiteral("查 询"), this);
    m_queryButton->setObjectName(QStringLiteral("queryButton"));
    m_queryButton->setGeometry(295, 8, 58, 25);
    m_queryButton->setDefault(true);
    onClicked(m_queryButton, &WhoisWindow::onQueryClicked);
    setReturnButton(m_queryButton);
    m_stopButton = addStopButton(m_queryButton);
    centreOnFirstShow();

    m_recordBox = new QPlainTextEdit(this);
    m_recordBox->setObjectName(QStringLiteral("recordBox"));
    m_recordBox->setGeometry(8, 39, 345, 358);
    m_recordBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_recordBox->setTabChangesFocus(false);
    m_recordBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_recordBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    setTabOrder(m_domainBox, m_queryButton);
    setTabOrder(m_queryButton, m_recordBox);
    m_domainBox->setFocus();
}

void WhoisWindow::reloadSiteList()
{
    // Emptying and filling the list would replace the typed text, which stays.
    const QString typed = m_domainBox->currentText();
    m_domainBox->clear();
    QStringList items;
    try {
        if (kaldrani::records::siteListExists(m_folder))
            for (const std::string& site : kaldrani::records::loadSiteList(m_folder))
                items << fromUtf8(site);
    } catch (...) {
        m_domainBox->setEditText(typed);
        throw;
    }
    m_domainBox->addItems(items);
    m_domainBox->setEditText(typed);
}

void WhoisWindow::onQueryClicked()
{
    m_recordBox->setPlainText(fromUtf8(kaldrani::lookups::kWhoisQuerying));
    const std::string typed = m_domainBox->currentText().toStdString();
    const std::optional<std::string> text = m_runner.runAndWait(
        [typed] { return kaldrani::lookups::QueryWhois(typed).value; },
        {this, kaldrani::gui::InputDuringRun::Waits, m_stopButton});
    // A stopped lookup has no answer, and waits for none.
    if (!text) {
        m_recordBox->clear();
        return;
    }
    m_recordBox->setPlainText(recordLines(*text));
    if (lineCount(*m_recordBox) > kLinesWithoutScrollBar)
        m_recordBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void WhoisWindow::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    // A window brought back from the minimised state is not shown anew.
    if (!event->spontaneous())
        runHandler([this] { reloadSiteList(); }, this);
}

} // namespace kaldrani::gui
