#include "gui/IP.h"

#include "core/lookups/IpQuery.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/LookupWait.h"
#include "gui/Placement.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <mutex>
#include <thread>

namespace kaldrani::gui {

// Where the own-address fetch hands its answer: the window while it lives, nobody after.
// The fetch runs on a thread of its own that may outlive the window.
struct OwnAddressDelivery {
    std::mutex mutex;
    TfrmIP* window = nullptr;
};

} // namespace kaldrani::gui

namespace {

constexpr int clientWidth = 282;
constexpr int clientHeight = 204;

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TfrmIP::TfrmIP(QWidget* parent)
    : QWidget(parent)
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral(" IP地址查询"));
    setFixedSize(clientWidth, clientHeight);
    setFont(kaldrani::gui::tahoma(8));

    txtIP = new QLineEdit(fromUtf8(kaldrani::lookups::kIpHint), this);
    txtIP->setObjectName(QStringLiteral("txtIP"));
    txtIP->setGeometry(8, 8, 185, 18);
    txtIP->installEventFilter(this);

    btnCX = new QPushButton(QStringLiteral("查   询"), this);
    btnCX->setObjectName(QStringLiteral("btnCX"));
    btnCX->setGeometry(199, 8, 75, 25);
    btnCX->setDefault(true);
    connect(btnCX, &QPushButton::clicked, this, [this] { runHandler([this] { btnCXClick(); }, this); });

    MoIP = new QPlainTextEdit(this);
    MoIP->setObjectName(QStringLiteral("MoIP"));
    MoIP->setGeometry(8, 39, 266, 154);
    MoIP->setLineWrapMode(QPlainTextEdit::NoWrap);
    MoIP->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MoIP->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    FormCreate();
}

TfrmIP::~TfrmIP()
{
    std::lock_guard lock(m_delivery->mutex);
    m_delivery->window = nullptr;
}

void TfrmIP::FormCreate()
{
    // Off this thread and bounded: a silent or unreachable service must not hold start-up,
    // and the answer is shown whenever it comes.
    m_delivery = std::make_shared<kaldrani::gui::OwnAddressDelivery>();
    m_delivery->window = this;
    std::thread([delivery = m_delivery] {
        const std::string text = kaldrani::lookups::QueryOwnAddress().value;
        std::lock_guard lock(delivery->mutex);
        if (TfrmIP* window = delivery->window)
            QMetaObject::invokeMethod(window, [window, text] { window->ownAddressArrived(text); }, Qt::QueuedConnection);
    }).detach();
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
    const std::string text = kaldrani::gui::waitForLookup([typed] { return kaldrani::lookups::QueryIpLookup(typed).value; });
    MoIP->setPlainText(fromUtf8(text));
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

void TfrmIP::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        btnCX->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmIP::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        kaldrani::gui::centreOver(this, nullptr);
    }
    QWidget::showEvent(event);
}
