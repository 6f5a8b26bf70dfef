#include "gui/mainFrm.h"
#include "gui/ScheduleTrayItem.h"

#include "core/model/SearchEngine.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"
#include "core/run/RunGuard.h"
#include "gui/AppWindows.h"
#include "gui/BrowserOpener.h"
#include "gui/ErrorBox.h"
#include "gui/FailureMarks.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MakerSite.h"
#include "gui/PageRankPictures.h"
#include "gui/Placement.h"
#include "gui/Runner.h"
#include "gui/VersionCheck.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace kaldrani::gui {

using namespace kaldrani;

using gui::fromUtf8;

namespace {

std::optional<bool> g_trayOverride;

// Brings a window to the front in its normal state.
void showWindow(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

bool systemTrayAvailable()
{
    return g_trayOverride ? *g_trayOverride : QSystemTrayIcon::isSystemTrayAvailable();
}

void setSystemTrayAvailableOverride(std::optional<bool> available)
{
    g_trayOverride = available;
}

TfrmMain::TfrmMain(gui::Runner& runner, const records::DataFolder& folder, AppWindows& windows)
    : ToolWindow(nullptr, gui::TitleBar::Tool, QStringLiteral("Kaldrani"), {kClientWidth, kClientHeight}),
      m_runner(runner),
      m_folder(folder),
      m_siteList(folder.siteListPath()),
      m_windows(windows)
{
    createControls();
    createTray();
    FormCreate();
}

void TfrmMain::createControls()
{
    toolbarPanel = new QWidget(this);
    toolbarPanel->setGeometry(6, 0, 181, 18);
    const auto tool = [this](int left, int icon, const char* tip, void (TfrmMain::*handler)()) {
        auto* button = new QToolButton(toolbarPanel);
        button->setGeometry(left, 0, 18, 18);
        button->setAutoRaise(true);
        button->setIcon(gui::toolIcon(icon));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QString::fromUtf8(tip));
        connect(button, &QToolButton::clicked, this, handler);
        return button;
    };
    btnSite = tool(0, 0, "管理站点", &TfrmMain::btnSiteClick);
    bsSkinSpeedButton1 = tool(18, 1, "查询记录", &TfrmMain::bsSkinSpeedButton1Click);
    bsSkinSpeedButton2 = tool(38, 2, "域名查询", &TfrmMain::bsSkinSpeedButton2Click);
    bsSkinSpeedButton3 = tool(58, 3, "IP地址查询", &TfrmMain::bsSkinSpeedButton3Click);
    bsSkinSpeedButton6 = tool(78, 6, "关键词排名", &TfrmMain::bsSkinSpeedButton6Click);
    bsSkinSpeedButton7 = tool(96, 7, "邮件群发", &TfrmMain::bsSkinSpeedButton7Click);
    bsSkinSpeedButton4 = tool(114, 4, "访问官网", &TfrmMain::bsSkinSpeedButton4Click);
    bsSkinSpeedButton5 = tool(131, 5, "关于软件", &TfrmMain::bsSkinSpeedButton5Click);

    txtUrl = new QComboBox(this);
    txtUrl->setEditable(true);
    txtUrl->setGeometry(6, 22, 125, 20);
    txtUrl->setMaxVisibleItems(8);
    txtUrl->setInsertPolicy(QComboBox::NoInsert);
    // Case-sensitive, so a completion never changes the case of what was typed: the
    // history is only written for an exact match with a listed site.
    txtUrl->completer()->setCompletionMode(QCompleter::InlineCompletion);
    txtUrl->completer()->setCaseSensitivity(Qt::CaseSensitive);

    txtUrl->setFocus();

    btnQure = new QPushButton(QStringLiteral("查   询"), this);
    btnQure->setGeometry(136, 22, 50, 25);
    btnQure->setDefault(true);
    onClicked(btnQure, &TfrmMain::btnQureClick);
    setReturnButton(btnQure);
    m_stopButton = addStopButton(btnQure);

    // A heading row above one row per engine; a heading column before one per count kind.
    constexpr int rows = static_cast<int>(kEngineCount) + 1;
    constexpr int columns = static_cast<int>(kCountKinds.size()) + 1;
    StringGD = new QTableWidget(rows, columns, this);
    StringGD->setGeometry(6, 49, 181, 168);
    StringGD->horizontalHeader()->hide();
    StringGD->verticalHeader()->hide();
    StringGD->horizontalHeader()->setMinimumSectionSize(1);
    StringGD->verticalHeader()->setMinimumSectionSize(1);
    StringGD->horizontalHeader()->setDefaultSectionSize(69);
    StringGD->verticalHeader()->setDefaultSectionSize(20);
    StringGD->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGD->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGD->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGD->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGD->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGD->setWordWrap(false);
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            auto* item = new QTableWidgetItem;
            if (row == 0 || col == 0) {
                // Heading cells, like a fixed row and column: grey and not selectable.
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(palette().button());
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            StringGD->setItem(row, col, item);
        }
    }
    // As in a grid with a fixed row and column, the cursor starts on the first result cell.
    StringGD->setCurrentCell(1, 1, QItemSelectionModel::NoUpdate);
    StringGD->viewport()->installEventFilter(this);

    QFrame* panel1 = addResultPanel(224, QStringLiteral("PageRank："), 9);
    ImagePR = new QLabel(panel1);
    ImagePR->setGeometry(70, 5, 70, 16);

    QFrame* panel2 = addResultPanel(255, QStringLiteral("SogouRank："), 3);
    SouGouRankG = new gui::TGauge(panel2);
    SouGouRankG->setGeometry(72, 5, 66, 12);
    SouGouRankG->hide();

    QFont bold = gui::tahoma(8, true);
    // The traffic-rank slot is named after the service the profile now puts in it.
    const std::string& trafficLabel = profiles::activeService(profiles::kAlexaRank)->label;
    QFrame* panel3 = addResultPanel(287, trafficLabel.empty() ? QStringLiteral("AlexaRank：")
                                                              : QString::fromStdString(trafficLabel) + QStringLiteral("："), 6);
    lblAlexaRank = new QLabel(panel3);
    lblAlexaRank->setFont(bold);
    // The texts come from web replies: never let a label read them as markup.
    lblAlexaRank->setTextFormat(Qt::PlainText);
    lblAlexaRank->setGeometry(72, 5, 106, 15);

    QFrame* panel4 = addResultPanel(318, QStringLiteral("ChinaRank："), 6);
    lblChinaRank = new QLabel(panel4);
    lblChinaRank->setFont(bold);
    lblChinaRank->setTextFormat(Qt::PlainText);
    lblChinaRank->setGeometry(72, 5, 106, 15);
}

QFrame* TfrmMain::addResultPanel(int top, const QString& caption, int captionLeft)
{
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(6, top, 181, 25);
    auto* label = new QLabel(caption, panel);
    label->move(captionLeft, 5);
    label->adjustSize();
    return panel;
}

void TfrmMain::createTray()
{
    bsPmenu = new QMenu(this);
    const auto item = [this](gui::MenuIcon icon, const char* caption, void (TfrmMain::*handler)()) {
        QAction* action = bsPmenu->addAction(gui::menuIcon(icon), QString::fromUtf8(caption));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    N6 = item(gui::MenuIcon::Open, "打开工具", &TfrmMain::N6Click);
    N7 = item(gui::MenuIcon::Visit, "访问官网", &TfrmMain::N7Click);
    N8 = item(gui::MenuIcon::About, "关于软件", &TfrmMain::N8Click);
    N9 = item(gui::MenuIcon::Upgrade, "在线升级", &TfrmMain::N9Click);
    scheduleItem = new gui::ScheduleTrayItem(bsPmenu, m_folder, this, m_runner);
    N10 = item(gui::MenuIcon::Quit, "退出程序", &TfrmMain::N10Click);

    bsTrayIcon = new QSystemTrayIcon(gui::appIcon(), this);
    bsTrayIcon->setToolTip(QStringLiteral("Kaldrani"));
    bsTrayIcon->setContextMenu(bsPmenu);
    connect(bsTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            bsTrayIconDblClick();
    });
    if (systemTrayAvailable())
        bsTrayIcon->show();
}

void TfrmMain::FormCreate()
{
    m_placement.emplace(this, 50, 50);

    StringGD->setColumnWidth(0, 40);
    for (SearchEngine engine : kSearchEngines)
        StringGD->item(engineRow(engine), 0)->setText(fromUtf8(engineLabel(engine)));
    StringGD->item(0, 1)->setText(QStringLiteral("收录情况"));
    StringGD->item(0, 2)->setText(QStringLiteral("反向链接"));

    try {
        const std::vector<std::string> sites = records::EnsureDataFolder(m_folder);
        m_siteList.changed();
        for (const std::string& site : sites)
            txtUrl->addItem(QString::fromStdString(site));
        txtUrl->setEditText(QString());
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()));
    }
}

void TfrmMain::FormActivate()
{
    // An unchanged list is not read again: nor is a refused one reported again, for
    // instance on the activation its own error box gives back.
    if (!m_siteList.changed())
        return;
    const QString typed = txtUrl->currentText();
    txtUrl->clear();
    try {
        for (const std::string& site : records::loadSiteList(m_folder))
            txtUrl->addItem(QString::fromStdString(site));
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()), this);
    }
    txtUrl->setEditText(typed);
}

void TfrmMain::FormCloseQuery(QCloseEvent* event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    if (!systemTrayAvailable()) {
        // No tray to bring a hidden window back: closing ends the program.
        event->accept();
        N10Click();
        return;
    }
    event->ignore();
    hide();
    // Off this thread: the tray and the other windows keep answering while it waits.
    gui::checkForNewVersion(m_runner, this, versionCheckTimeoutMs, [this](bool published) {
        if (published)
            showWindowOf(gui::WindowId::Update);
        emit versionChecked(published);
    });
}

void TfrmMain::showWindowOf(gui::WindowId id) const
{
    showWindow(m_windows.window(id));
}

void TfrmMain::btnQureClick()
{
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(txtUrl->count()));
    for (int i = 0; i < txtUrl->count(); ++i)
        items.push_back(txtUrl->itemText(i).toStdString());
    // Held back from the click on, not only once the run has said so from its thread: input
    // is handled while the run goes on.
    const run::RunGuard busy(*this);
    m_runner.runAndWait(
        [this, folder = m_folder, typed = txtUrl->currentText().toStdString(), items = std::move(items)] {
            queries::runSiteOverview(m_display, *this, folder, typed, items);
            return true;
        },
        {this, gui::InputDuringRun::Handled, m_stopButton});
}

void TfrmMain::btnSiteClick()
{
    showWindowOf(gui::WindowId::ManiSite);
}

void TfrmMain::bsSkinSpeedButton1Click()
{
    showWindowOf(gui::WindowId::Jilu);
}

void TfrmMain::bsSkinSpeedButton2Click()
{
    showWindowOf(gui::WindowId::Whois);
}

void TfrmMain::bsSkinSpeedButton3Click()
{
    showWindowOf(gui::WindowId::IP);
}

void TfrmMain::bsSkinSpeedButton6Click()
{
    showWindowOf(gui::WindowId::KeyWord);
}

void TfrmMain::bsSkinSpeedButton7Click()
{
    showWindowOf(gui::WindowId::Mail);
}

void TfrmMain::bsSkinSpeedButton4Click()
{
    const QString domain = txtUrl->currentText();
    gui::openInBrowser(domain.isEmpty() ? gui::makerHomePage() : gui::makerDomainPage(domain));
}

void TfrmMain::bsSkinSpeedButton5Click()
{
    showWindowOf(gui::WindowId::About);
}

void TfrmMain::StringGDDblClick()
{
    const QString domain = txtUrl->currentText();
    if (!domain.isEmpty())
        gui::openInBrowser(gui::makerDomainPage(domain));
}

void TfrmMain::bsTrayIconDblClick()
{
    showWindow(this);
}

void TfrmMain::N6Click()
{
    showNormal();
    raise();
    activateWindow();
}

void TfrmMain::N7Click()
{
    gui::openInBrowser(gui::makerHomePage());
}

void TfrmMain::N8Click()
{
    showWindowOf(gui::WindowId::About);
}

void TfrmMain::N9Click()
{
    gui::openInBrowser(gui::makerHomePage());
}

void TfrmMain::N10Click()
{
    // exit, not quit: quit would first ask every window to close, and this one refuses.
    m_quitting = true;
    QCoreApplication::exit(0);
}

void TfrmMain::showFigure(queries::FigureId id)
{
    // The engine's row, and the kind's column after the labels.
    QTableWidgetItem* item = StringGD->item(engineRow(id.engine), static_cast<int>(kindIndex(id.kind)) + 1);
    const queries::Figure& figure = m_display.figure(id);
    // The history keeps the failure value; the window says the service was not asked.
    const char* notAsked = gui::notAskedShown(figure.failure, figure.why);
    item->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(figure.text));
    gui::markFailure(item, figure.why, figure.failure);
}

void TfrmMain::figureChanged(queries::FigureId id)
{
    m_runner.onWindow([&] {
        showFigure(id);
        StringGD->viewport()->repaint();
    });
}

void TfrmMain::displayCleared()
{
    m_runner.onWindow([&] {
        for (const SearchEngine e : kSearchEngines)
            for (const CountKind k : kCountKinds)
                showFigure({e, k});
        gui::markFailure(ImagePR, m_display.pageRankFailure, m_display.pageRankFailureKind);
        gui::markFailure(SouGouRankG, m_display.sogouRatingFailure, m_display.sogouRatingFailureKind);
        gui::markFailure(lblAlexaRank, m_display.alexaRankFailure, m_display.alexaRankFailureKind);
        gui::markFailure(lblChinaRank, m_display.chinaRankFailure, m_display.chinaRankFailureKind);
        ImagePR->setVisible(m_display.pageRankVisible);
        SouGouRankG->setVisible(m_display.gaugeVisible);
        lblAlexaRank->setText(QString::fromStdString(m_display.alexaRank));
        lblChinaRank->setText(QString::fromStdString(m_display.chinaRank));
        repaint();
    });
}

void TfrmMain::pageRankChanged()
{
    m_runner.onWindow([&] {
        const int n = m_display.pageRankPicture;
        QPixmap picture(gui::kPageRankWidth, gui::kPageRankHeight);
        picture.fill(Qt::transparent);
        // Drawn when first shown: their font is one start-up would otherwise load for nothing.
        if (ImageListPR.isEmpty())
            ImageListPR = gui::makePageRankPictures();
        if (n >= 0 && n < ImageListPR.size())
            picture = QPixmap::fromImage(ImageListPR[n]);
        // A retired PageRank is no "0" picture: its place names it gone.
        if (const char* notAsked = gui::notAskedShown(m_display.pageRankFailureKind, m_display.pageRankFailure);
            notAsked != nullptr && m_display.pageRankFailureKind == fetch::FailureKind::Retired)
            ImagePR->setText(QString::fromUtf8(notAsked));
        else
            ImagePR->setPixmap(picture);
        ImagePR->setVisible(m_display.pageRankVisible);
        gui::markFailure(ImagePR, m_display.pageRankFailure, m_display.pageRankFailureKind);
        ImagePR->repaint();
    });
}

void TfrmMain::gaugeChanged()
{
    m_runner.onWindow([&] {
        SouGouRankG->setProgress(m_display.gaugeValue);
        SouGouRankG->setText(m_display.sogouRatingFailureKind == fetch::FailureKind::Retired && !m_display.sogouRatingFailure.empty()
                                 ? QString::fromUtf8(fetch::kRetiredShown.data())
                                 : QString());
        SouGouRankG->setVisible(m_display.gaugeVisible);
        gui::markFailure(SouGouRankG, m_display.sogouRatingFailure, m_display.sogouRatingFailureKind);
        SouGouRankG->repaint();
    });
}

void TfrmMain::alexaRankChanged()
{
    m_runner.onWindow([&] {
        const char* notAsked = gui::notAskedShown(m_display.alexaRankFailureKind, m_display.alexaRankFailure);
        lblAlexaRank->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(m_display.alexaRank));
        gui::markFailure(lblAlexaRank, m_display.alexaRankFailure, m_display.alexaRankFailureKind);
        lblAlexaRank->repaint();
    });
}

void TfrmMain::chinaRankChanged()
{
    m_runner.onWindow([&] {
        const char* notAsked = gui::notAskedShown(m_display.chinaRankFailureKind, m_display.chinaRankFailure);
        lblChinaRank->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(m_display.chinaRank));
        gui::markFailure(lblChinaRank, m_display.chinaRankFailure, m_display.chinaRankFailureKind);
        lblChinaRank->repaint();
    });
}

void TfrmMain::setUrlText(const std::string& text)
{
    m_runner.onWindow([&] {
        txtUrl->setEditText(QString::fromStdString(text));
    });
}

void TfrmMain::setRunning(bool running)
{
    m_runner.onWindow([&] {
        btnQure->setEnabled(!running);
        txtUrl->setEnabled(!running);
    });
}

void TfrmMain::reportError(const std::string& message)
{
    m_runner.onWindow([&] {
        showApplicationError(QString::fromStdString(message), this);
    });
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormCloseQuery(event);
}

void TfrmMain::changeEvent(QEvent* event)
{
    ToolWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && systemTrayAvailable()) {
        // Hiding inside the state change confuses some window managers; do it just after.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

bool TfrmMain::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return ToolWindow::event(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == StringGD->viewport() && event->type() == QEvent::MouseButtonDblClick)
        StringGDDblClick();
    return ToolWindow::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    if (m_placement)
        m_placement->windowShown();
}

} // namespace kaldrani::gui
