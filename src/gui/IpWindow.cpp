#include "gui/IpWindow.h"

#include "core/lookups/IpDatabase.h"
#include "core/lookups/IpQuery.h"
#include "core/profiles/ActiveProfile.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"
#include "gui/Runner.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <optional>

namespace kaldrani::gui {

using kaldrani::gui::fromUtf8;

namespace {

constexpr int clientWidth = 282;
constexpr int clientHeight = 204;

} // namespace

IpWindow::IpWindow(kaldrani::gui::Runner& runner, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Tool, QStringLiteral(" IP地址查询"), {clientWidth, clientHeight}),
      m_runner(runner)
{

    m_addressEdit = new QLineEdit(fromUtf8(kaldrani::lookups::kIpHint), this);
    m_addressEdit->setObjectName(QStringLiteral("addressEdit"));
    m_addressEdit->setGeometry(8, 8, 185, 18);
    m_addressEdit->installEventFilter(this);

    m_queryButton = new QPushButton(QStringLiteral("查   询"), this);
    m_queryButton->setObjectName(QStringLiteral("queryButton"));
    m_queryButton->setGeometry(199, 8, 75, 25);
    m_queryButton->setDefault(true);
    onClicked(m_queryButton, &IpWindow::onQueryClicked);
    setReturnButton(m_queryButton);
    m_stopButton = addStopButton(m_queryButton);
    centreOnFirstShow();

    m_resultBox = new QPlainTextEdit(this);
    m_resultBox->setObjectName(QStringLiteral("resultBox"));
    m_resultBox->setGeometry(8, 39, 266, 154);
    m_resultBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_resultBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_resultBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    m_downloadButton = new QPushButton(QStringLiteral("下载 IP 数据库"), this);
    m_downloadButton->setObjectName(QStringLiteral("downloadButton"));
    m_downloadButton->setGeometry(150, 150, 108, 25);
    m_downloadButton->hide();
    onClicked(m_downloadButton, &IpWindow::onDownloadClicked);

    startOwnAddressFetch();
}

void IpWindow::startOwnAddressFetch()
{
    // Off this thread and bounded: a silent or unreachable service must not hold start-up,
    // and the answer is shown whenever it comes.
    m_runner.runThen<std::string>(
        this,
        [] {
            return kaldrani::profiles::activeProfile()->base == "current" ? kaldrani::lookups::QueryOwnPlace().value
                                                                           : kaldrani::lookups::QueryOwnAddress().value;
        },
        [this](const std::string& text) { ownAddressArrived(text); });
}

void IpWindow::ownAddressArrived(const std::string& text)
{
    // A lookup's result, or its waiting text, is newer than this answer.
    const bool shown = !m_lookupStarted;
    if (shown)
        m_resultBox->setPlainText(fromUtf8(text));
    emit ownAddressSettled(shown);
}

void IpWindow::onQueryClicked()
{
    m_lookupStarted = true;
    m_resultBox->setPlainText(fromUtf8(kaldrani::lookups::kIpQuerying));
    const std::string typed = m_addressEdit->text().toStdString();
    const bool current = kaldrani::profiles::activeProfile()->base == "current";
    const std::optional<std::string> text = m_runner.runAndWait(
        [typed, current] {
            return current ? kaldrani::lookups::QueryIpPlace(typed).value : kaldrani::lookups::QueryIpLookup(typed).value;
        },
        {this, kaldrani::gui::InputDuringRun::Waits, m_stopButton});
    // A stopped lookup has no answer, and waits for none.
    if (!text) {
        m_resultBox->clear();
        return;
    }
    m_resultBox->setPlainText(fromUtf8(*text));
    // Without the offline database the window offers to fetch it.
    m_downloadButton->setVisible(current && *text == kaldrani::lookups::kIpDatabaseMissing);
}

void IpWindow::onDownloadClicked()
{
    m_resultBox->setPlainText(QStringLiteral("正在下载 IP 数据库……"));
    // The job's answer is its failure's text, empty when the download worked.
    const std::optional<std::string> failure = m_runner.runAndWait(
        []() -> std::string {
            try {
                kaldrani::lookups::updateIpDatabase(kaldrani::lookups::ipDatabasePath(), {});
                return {};
            } catch (const std::exception& e) {
                const std::string why = e.what();
                return why.empty() ? std::string("unknown failure") : why;
            }
        },
        {this, kaldrani::gui::InputDuringRun::Waits, m_stopButton});
    if (!failure) {
        m_resultBox->clear();
        return;
    }
    if (!failure->empty()) {
        m_resultBox->setPlainText(QStringLiteral("IP 数据库下载失败：") + fromUtf8(*failure));
        return;
    }
    m_downloadButton->hide();
    onQueryClicked();
}

void IpWindow::onAddressClicked()
{
    if (m_addressEdit->text() == fromUtf8(kaldrani::lookups::kIpHint))
        m_addressEdit->clear();
}

bool IpWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Only a click: the keyboard's focus leaves the hint in place.
    if (watched == m_addressEdit && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_addressEdit->rect().contains(mouse->position().toPoint()))
            onAddressClicked();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kaldrani::gui
