#include "gui/IP.h"

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

TfrmIP::TfrmIP(kaldrani::gui::Runner& runner, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Tool, QStringLiteral(" IP地址查询"), {clientWidth, clientHeight}),
      m_runner(runner)
{

    txtIP = new QLineEdit(fromUtf8(kaldrani::lookups::kIpHint), this);
    txtIP->setObjectName(QStringLiteral("txtIP"));
    txtIP->setGeometry(8, 8, 185, 18);
    txtIP->installEventFilter(this);

    btnCX = new QPushButton(QStringLiteral("查   询"), this);
    btnCX->setObjectName(QStringLiteral("btnCX"));
    btnCX->setGeometry(199, 8, 75, 25);
    btnCX->setDefault(true);
    onClicked(btnCX, &TfrmIP::btnCXClick);
    setReturnButton(btnCX);
    m_stopButton = addStopButton(btnCX);
    centreOnFirstShow();

    MoIP = new QPlainTextEdit(this);
    MoIP->setObjectName(QStringLiteral("MoIP"));
    MoIP->setGeometry(8, 39, 266, 154);
    MoIP->setLineWrapMode(QPlainTextEdit::NoWrap);
    MoIP->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MoIP->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    btnDownload = new QPushButton(QStringLiteral("下载 IP 数据库"), this);
    btnDownload->setObjectName(QStringLiteral("btnDownload"));
    btnDownload->setGeometry(150, 150, 108, 25);
    btnDownload->hide();
    onClicked(btnDownload, &TfrmIP::btnDownloadClick);

    FormCreate();
}

void TfrmIP::FormCreate()
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

void TfrmIP::ownAddressArrived(const std::string& text)
{
    // A lookup's result, or its waiting text, is newer than this answer.
    const bool shown = !m_lookupStarted;
    if (shown)
        MoIP->setPlainText(fromUtf8(text));
    emit ownAddressSettled(shown);
}

void TfrmIP::btnCXClick()
{
    m_lookupStarted = true;
    MoIP->setPlainText(fromUtf8(kaldrani::lookups::kIpQuerying));
    const std::string typed = txtIP->text().toStdString();
    const bool current = kaldrani::profiles::activeProfile()->base == "current";
    const std::optional<std::string> text = m_runner.runAndWait(
        [typed, current] {
            return current ? kaldrani::lookups::QueryIpPlace(typed).value : kaldrani::lookups::QueryIpLookup(typed).value;
        },
        {this, kaldrani::gui::InputDuringRun::Waits, m_stopButton});
    // A stopped lookup has no answer, and waits for none.
    if (!text) {
        MoIP->clear();
        return;
    }
    MoIP->setPlainText(fromUtf8(*text));
    // Without the offline database the window offers to fetch it.
    btnDownload->setVisible(current && *text == kaldrani::lookups::kIpDatabaseMissing);
}

void TfrmIP::btnDownloadClick()
{
    MoIP->setPlainText(QStringLiteral("正在下载 IP 数据库……"));
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
        MoIP->clear();
        return;
    }
    if (!failure->empty()) {
        MoIP->setPlainText(QStringLiteral("IP 数据库下载失败：") + fromUtf8(*failure));
        return;
    }
    btnDownload->hide();
    btnCXClick();
}

void TfrmIP::txtIPClick()
{
    if (txtIP->text() == fromUtf8(kaldrani::lookups::kIpHint))
        txtIP->clear();
}

bool TfrmIP::eventFilter(QObject* watched, QEvent* event)
{
    // Only a click: the keyboard's focus leaves the hint in place.
    if (watched == txtIP && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && txtIP->rect().contains(mouse->position().toPoint()))
            txtIPClick();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kaldrani::gui
