#include "gui/whois.h"

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

TfrmWhois::TfrmWhois(kaldrani::gui::Runner& runner, const kaldrani::records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Tool, QStringLiteral("域名查询"), {clientWidth, clientHeight})
    , m_runner(runner)
    , m_folder(folder)
{

    txtUrl = new QComboBox(this);
    txtUrl->setObjectName(QStringLiteral("txtUrl"));
    txtUrl->setEditable(true);
    txtUrl->setGeometry(8, 8, 273, 20);
    txtUrl->setMaxVisibleItems(8);
    txtUrl->setInsertPolicy(QComboBox::NoInsert);
    txtUrl->completer()->setCompletionMode(QCompleter::InlineCompletion);
    txtUrl->completer()->setCaseSensitivity(Qt::CaseSensitive);

    btnCX = new QPushButton(QStringLiteral("查 询"), this);
    btnCX->setObjectName(QStringLiteral("btnCX"));
    btnCX->setGeometry(295, 8, 58, 25);
    btnCX->setDefault(true);
    onClicked(btnCX, &TfrmWhois::btnCXClick);
    setReturnButton(btnCX);
    m_stopButton = addStopButton(btnCX);
    centreOnFirstShow();

    MoWhois = new QPlainTextEdit(this);
    MoWhois->setObjectName(QStringLiteral("MoWhois"));
    MoWhois->setGeometry(8, 39, 345, 358);
    MoWhois->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MoWhois->setTabChangesFocus(false);
    MoWhois->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MoWhois->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    setTabOrder(txtUrl, btnCX);
    setTabOrder(btnCX, MoWhois);
    txtUrl->setFocus();
}

void TfrmWhois::FormShow()
{
    // Emptying and filling the list would replace the typed text, which stays.
    const QString typed = txtUrl->currentText();
    txtUrl->clear();
    QStringList items;
    try {
        if (kaldrani::records::siteListExists(m_folder))
            for (const std::string& site : kaldrani::records::loadSiteList(m_folder))
                items << fromUtf8(site);
    } catch (...) {
        txtUrl->setEditText(typed);
        throw;
    }
    txtUrl->addItems(items);
    txtUrl->setEditText(typed);
}

void TfrmWhois::btnCXClick()
{
    MoWhois->setPlainText(fromUtf8(kaldrani::lookups::kWhoisQuerying));
    const std::string typed = txtUrl->currentText().toStdString();
    const std::optional<std::string> text = m_runner.runAndWait(
        [typed] { return kaldrani::lookups::QueryWhois(typed).value; },
        {this, kaldrani::gui::InputDuringRun::Waits, m_stopButton});
    // A stopped lookup has no answer, and waits for none.
    if (!text) {
        MoWhois->clear();
        return;
    }
    MoWhois->setPlainText(recordLines(*text));
    if (lineCount(*MoWhois) > kLinesWithoutScrollBar)
        MoWhois->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TfrmWhois::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    // A window brought back from the minimised state is not shown anew.
    if (!event->spontaneous())
        runHandler([this] { FormShow(); }, this);
}

} // namespace kaldrani::gui
