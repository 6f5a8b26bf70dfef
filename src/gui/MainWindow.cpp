#include "gui/MainWindow.h"
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
#include "gui/ParallelQueriesSetting.h"
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

MainWindow::MainWindow(gui::Runner& runner, const records::DataFolder& folder, AppWindows& windows)
    : ToolWindow(nullptr, gui::TitleBar::Tool, QStringLiteral("Kaldrani"), {kClientWidth, kClientHeight}),
      m_runner(runner),
      m_folder(folder),
      m_siteList(folder.siteListPath()),
      m_windows(windows)
{
    createControls();
    createTray();
    initialise();
}

void MainWindow::createControls()
{
    m_toolbar = new QWidget(this);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setGeometry(6, 0, 181, 18);
    const auto tool = [this](const char* name, int left, int icon, const char* tip, void (MainWindow::*handler)()) {
        auto* button = new QToolButton(m_toolbar);
        button->setObjectName(QString::fromUtf8(name));
        button->setGeometry(left, 0, 18, 18);
        button->setAutoRaise(true);
        button->setIcon(gui::toolIcon(icon));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QString::fromUtf8(tip));
        connect(button, &QToolButton::clicked, this, handler);
        return button;
    };
    m_siteListButton = tool("siteListButton", 0, 0, "管理站点", &MainWindow::onSiteListClicked);
    m_historyButton = tool("historyButton", 18, 1, "查询记录", &MainWindow::showHistoryWindow);
    m_whoisButton = tool("whoisButton", 38, 2, "域名查询", &MainWindow::onWhoisClicked);
    m_ipButton = tool("ipButton", 58, 3, "IP地址查询", &MainWindow::onIpClicked);
    m_keywordButton = tool("keywordButton", 78, 6, "关键词排名", &MainWindow::onKeywordClicked);
    m_mailButton = tool("mailButton", 96, 7, "邮件群发", &MainWindow::onMailClicked);
    m_visitSiteButton = tool("visitSiteButton", 114, 4, "访问官网", &MainWindow::onVisitSiteClicked);
    m_aboutButton = tool("aboutButton", 131, 5, "关于软件", &MainWindow::onAboutClicked);

    m_domainBox = new QComboBox(this);
    m_domainBox->setObjectName(QStringLiteral("domainBox"));
    m_domainBox->setEditable(true);
    m_domainBox->setGeometry(6, 22, 125, 20);
    m_domainBox->setMaxVisibleItems(8);
    m_domainBox->setInsertPolicy(QComboBox::NoInsert);
    // Case-sensitive, so a completion never changes the case of what was typed: the
    // history is only written for an exact match with a listed site.
    m_domainBox->completer()->setCompletionMode(QCompleter::InlineCompletion);
    m_domainBox->completer()->setCaseSensitivity(Qt::CaseSensitive);

    m_domainBox->setFocus();

    m_queryButton = new QPushButton(QStringLiteral("查   询"), this);
    m_queryButton->setObjectName(QStringLiteral("queryButton"));
    m_queryButton->setGeometry(136, 22, 50, 25);
    m_queryButton->setDefault(true);
    onClicked(m_queryButton, &MainWindow::onQueryClicked);
    setReturnButton(m_queryButton);
    m_stopButton = addStopButton(m_queryButton);

    // A heading row above one row per engine; a heading column before one per count kind.
    constexpr int rows = static_cast<int>(kEngineCount) + 1;
    constexpr int columns = static_cast<int>(kCountKinds.size()) + 1;
    m_countGrid = new QTableWidget(rows, columns, this);
    m_countGrid->setObjectName(QStringLiteral("countGrid"));
    m_countGrid->setGeometry(6, 49, 181, 168);
    m_countGrid->horizontalHeader()->hide();
    m_countGrid->verticalHeader()->hide();
    m_countGrid->horizontalHeader()->setMinimumSectionSize(1);
    m_countGrid->verticalHeader()->setMinimumSectionSize(1);
    m_countGrid->horizontalHeader()->setDefaultSectionSize(69);
    m_countGrid->verticalHeader()->setDefaultSectionSize(20);
    m_countGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_countGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_countGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_countGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_countGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_countGrid->setWordWrap(false);
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
            m_countGrid->setItem(row, col, item);
        }
    }
    // As in a grid with a fixed row and column, the cursor starts on the first result cell.
    m_countGrid->setCurrentCell(1, 1, QItemSelectionModel::NoUpdate);
    m_countGrid->viewport()->installEventFilter(this);

    QFrame* panel1 = addResultPanel(224, QStringLiteral("PageRank："), 9);
    m_pageRankPicture = new QLabel(panel1);
    m_pageRankPicture->setObjectName(QStringLiteral("pageRankPicture"));
    m_pageRankPicture->setGeometry(70, 5, 70, 16);

    QFrame* panel2 = addResultPanel(255, QStringLiteral("SogouRank："), 3);
    m_sogouRatingGauge = new gui::TGauge(panel2);
    m_sogouRatingGauge->setObjectName(QStringLiteral("sogouRatingGauge"));
    m_sogouRatingGauge->setGeometry(72, 5, 66, 12);
    m_sogouRatingGauge->hide();

    QFont bold = gui::tahoma(8, true);
    // The traffic-rank slot is named after the service the profile now puts in it.
    const std::string& trafficLabel = profiles::activeService(profiles::kAlexaRank)->label;
    QFrame* panel3 = addResultPanel(287, trafficLabel.empty() ? QStringLiteral("AlexaRank：")
                                                              : QString::fromStdString(trafficLabel) + QStringLiteral("："), 6);
    m_alexaRankLabel = new QLabel(panel3);
    m_alexaRankLabel->setObjectName(QStringLiteral("alexaRankLabel"));
    m_alexaRankLabel->setFont(bold);
    // The texts come from web replies: never let a label read them as markup.
    m_alexaRankLabel->setTextFormat(Qt::PlainText);
    m_alexaRankLabel->setGeometry(72, 5, 106, 15);

    QFrame* panel4 = addResultPanel(318, QStringLiteral("ChinaRank："), 6);
    m_chinaRankLabel = new QLabel(panel4);
    m_chinaRankLabel->setObjectName(QStringLiteral("chinaRankLabel"));
    m_chinaRankLabel->setFont(bold);
    m_chinaRankLabel->setTextFormat(Qt::PlainText);
    m_chinaRankLabel->setGeometry(72, 5, 106, 15);
}

QFrame* MainWindow::addResultPanel(int top, const QString& caption, int captionLeft)
{
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(6, top, 181, 25);
    auto* label = new QLabel(caption, panel);
    label->move(captionLeft, 5);
    label->adjustSize();
    return panel;
}

void MainWindow::createTray()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    const auto item = [this](const char* name, gui::MenuIcon icon, const char* caption, void (MainWindow::*handler)()) {
        QAction* action = m_trayMenu->addAction(gui::menuIcon(icon), QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_openAction = item("openAction", gui::MenuIcon::Open, "打开工具", &MainWindow::bringToFront);
    m_visitSiteAction = item("visitSiteAction", gui::MenuIcon::Visit, "访问官网", &MainWindow::onVisitSiteTriggered);
    m_aboutAction = item("aboutAction", gui::MenuIcon::About, "关于软件", &MainWindow::onAboutTriggered);
    m_upgradeAction = item("upgradeAction", gui::MenuIcon::Upgrade, "在线升级", &MainWindow::onUpgradeTriggered);
    m_parallelQueries = new gui::ParallelQueriesSetting(m_trayMenu, this);
    m_parallelQueries->setObjectName(QStringLiteral("parallelQueries"));
    m_scheduleItem = new gui::ScheduleTrayItem(m_trayMenu, m_folder, this, m_runner);
    m_scheduleItem->setObjectName(QStringLiteral("scheduleItem"));
    m_quitAction = item("quitAction", gui::MenuIcon::Quit, "退出程序", &MainWindow::quit);

    m_trayIcon = new QSystemTrayIcon(gui::appIcon(), this);
    m_trayIcon->setObjectName(QStringLiteral("trayIcon"));
    m_trayIcon->setToolTip(QStringLiteral("Kaldrani"));
    m_trayIcon->setContextMenu(m_trayMenu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            onTrayDoubleClicked();
    });
    if (systemTrayAvailable())
        m_trayIcon->show();
}

void MainWindow::initialise()
{
    m_placement.emplace(this, 50, 50);

    m_countGrid->setColumnWidth(0, 40);
    for (SearchEngine engine : kSearchEngines)
        m_countGrid->item(engineRow(engine), 0)->setText(fromUtf8(engineLabel(engine)));
    m_countGrid->item(0, 1)->setText(QStringLiteral("收录情况"));
    m_countGrid->item(0, 2)->setText(QStringLiteral("反向链接"));

    try {
        const std::vector<std::string> sites = records::EnsureDataFolder(m_folder);
        m_siteList.changed();
        for (const std::string& site : sites)
            m_domainBox->addItem(QString::fromStdString(site));
        m_domainBox->setEditText(QString());
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::onActivated()
{
    // An unchanged list is not read again: nor is a refused one reported again, for
    // instance on the activation its own error box gives back.
    if (!m_siteList.changed())
        return;
    const QString typed = m_domainBox->currentText();
    m_domainBox->clear();
    try {
        for (const std::string& site : records::loadSiteList(m_folder))
            m_domainBox->addItem(QString::fromStdString(site));
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()), this);
    }
    m_domainBox->setEditText(typed);
}

void MainWindow::onCloseRequested(QCloseEvent* event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    if (!systemTrayAvailable()) {
        // No tray to bring a hidden window back: closing ends the program.
        event->accept();
        quit();
        return;
    }
    event->ignore();
    hide();
    // Off this thread: the tray and the other windows keep answering while it waits.
    gui::checkForNewVersion(m_runner, this, m_versionCheckTimeoutMs, [this](bool published) {
        if (published)
            showWindowOf(gui::WindowId::Update);
        emit versionChecked(published);
    });
}

void MainWindow::showWindowOf(gui::WindowId id) const
{
    showWindow(m_windows.window(id));
}

void MainWindow::onQueryClicked()
{
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(m_domainBox->count()));
    for (int i = 0; i < m_domainBox->count(); ++i)
        items.push_back(m_domainBox->itemText(i).toStdString());
    // Held back from the click on, not only once the run has said so from its thread: input
    // is handled while the run goes on.
    const run::RunGuard busy(*this);
    m_runner.runAndWait(
        [this, folder = m_folder, typed = m_domainBox->currentText().toStdString(), items = std::move(items)] {
            queries::runSiteOverview(m_display, *this, folder, typed, items);
            return true;
        },
        {this, gui::InputDuringRun::Handled, m_stopButton});
}

void MainWindow::onSiteListClicked()
{
    showWindowOf(gui::WindowId::SiteList);
}

void MainWindow::showHistoryWindow()
{
    showWindowOf(gui::WindowId::History);
}

void MainWindow::onWhoisClicked()
{
    showWindowOf(gui::WindowId::Whois);
}

void MainWindow::onIpClicked()
{
    showWindowOf(gui::WindowId::Ip);
}

void MainWindow::onKeywordClicked()
{
    showWindowOf(gui::WindowId::Keyword);
}

void MainWindow::onMailClicked()
{
    showWindowOf(gui::WindowId::Mail);
}

void MainWindow::onVisitSiteClicked()
{
    const QString domain = m_domainBox->currentText();
    gui::openInBrowser(domain.isEmpty() ? gui::makerHomePage() : gui::makerDomainPage(domain));
}

void MainWindow::onAboutClicked()
{
    showWindowOf(gui::WindowId::About);
}

void MainWindow::onGridDoubleClicked()
{
    const QString domain = m_domainBox->currentText();
    if (!domain.isEmpty())
        gui::openInBrowser(gui::makerDomainPage(domain));
}

void MainWindow::onTrayDoubleClicked()
{
    showWindow(this);
}

void MainWindow::bringToFront()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::onVisitSiteTriggered()
{
    gui::openInBrowser(gui::makerHomePage());
}

void MainWindow::onAboutTriggered()
{
    showWindowOf(gui::WindowId::About);
}

void MainWindow::onUpgradeTriggered()
{
    gui::openInBrowser(gui::makerHomePage());
}

void MainWindow::quit()
{
    // exit, not quit: quit would first ask every window to close, and this one refuses.
    m_quitting = true;
    QCoreApplication::exit(0);
}

void MainWindow::showFigure(queries::FigureId id)
{
    // The engine's row, and the kind's column after the labels.
    QTableWidgetItem* item = m_countGrid->item(engineRow(id.engine), static_cast<int>(kindIndex(id.kind)) + 1);
    const queries::Figure& figure = m_display.figure(id);
    // The history keeps the failure value; the window says the service was not asked.
    const char* notAsked = gui::notAskedShown(figure.failure, figure.why);
    item->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(figure.text));
    gui::markFailure(item, figure.why, figure.failure);
}

void MainWindow::figureChanged(queries::FigureId id)
{
    m_runner.onWindow([&] {
        showFigure(id);
        m_countGrid->viewport()->repaint();
    });
}

void MainWindow::displayCleared()
{
    m_runner.onWindow([&] {
        for (const SearchEngine e : kSearchEngines)
            for (const CountKind k : kCountKinds)
                showFigure({e, k});
        gui::markFailure(m_pageRankPicture, m_display.pageRankFailure, m_display.pageRankFailureKind);
        gui::markFailure(m_sogouRatingGauge, m_display.sogouRatingFailure, m_display.sogouRatingFailureKind);
        gui::markFailure(m_alexaRankLabel, m_display.alexaRankFailure, m_display.alexaRankFailureKind);
        gui::markFailure(m_chinaRankLabel, m_display.chinaRankFailure, m_display.chinaRankFailureKind);
        m_pageRankPicture->setVisible(m_display.pageRankVisible);
        m_sogouRatingGauge->setVisible(m_display.gaugeVisible);
        m_alexaRankLabel->setText(QString::fromStdString(m_display.alexaRank));
        m_chinaRankLabel->setText(QString::fromStdString(m_display.chinaRank));
        repaint();
    });
}

void MainWindow::pageRankChanged()
{
    m_runner.onWindow([&] {
        const int n = m_display.pageRankPicture;
        QPixmap picture(gui::kPageRankWidth, gui::kPageRankHeight);
        picture.fill(Qt::transparent);
        // Drawn when first shown: their font is one start-up would otherwise load for nothing.
        if (m_pageRankPictures.isEmpty())
            m_pageRankPictures = gui::makePageRankPictures();
        if (n >= 0 && n < m_pageRankPictures.size())
            picture = QPixmap::fromImage(m_pageRankPictures[n]);
        // A retired PageRank is no "0" picture: its place names it gone.
        if (const char* notAsked = gui::notAskedShown(m_display.pageRankFailureKind, m_display.pageRankFailure);
            notAsked != nullptr && m_display.pageRankFailureKind == fetch::FailureKind::Retired)
            m_pageRankPicture->setText(QString::fromUtf8(notAsked));
        else
            m_pageRankPicture->setPixmap(picture);
        m_pageRankPicture->setVisible(m_display.pageRankVisible);
        gui::markFailure(m_pageRankPicture, m_display.pageRankFailure, m_display.pageRankFailureKind);
        m_pageRankPicture->repaint();
    });
}

void MainWindow::gaugeChanged()
{
    m_runner.onWindow([&] {
        m_sogouRatingGauge->setProgress(m_display.gaugeValue);
        m_sogouRatingGauge->setText(m_display.sogouRatingFailureKind == fetch::FailureKind::Retired && !m_display.sogouRatingFailure.empty()
                                 ? QString::fromUtf8(fetch::kRetiredShown.data())
                                 : QString());
        m_sogouRatingGauge->setVisible(m_display.gaugeVisible);
        gui::markFailure(m_sogouRatingGauge, m_display.sogouRatingFailure, m_display.sogouRatingFailureKind);
        m_sogouRatingGauge->repaint();
    });
}

void MainWindow::alexaRankChanged()
{
    m_runner.onWindow([&] {
        const char* notAsked = gui::notAskedShown(m_display.alexaRankFailureKind, m_display.alexaRankFailure);
        m_alexaRankLabel->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(m_display.alexaRank));
        gui::markFailure(m_alexaRankLabel, m_display.alexaRankFailure, m_display.alexaRankFailureKind);
        m_alexaRankLabel->repaint();
    });
}

void MainWindow::chinaRankChanged()
{
    m_runner.onWindow([&] {
        const char* notAsked = gui::notAskedShown(m_display.chinaRankFailureKind, m_display.chinaRankFailure);
        m_chinaRankLabel->setText(notAsked != nullptr ? QString::fromUtf8(notAsked) : QString::fromStdString(m_display.chinaRank));
        gui::markFailure(m_chinaRankLabel, m_display.chinaRankFailure, m_display.chinaRankFailureKind);
        m_chinaRankLabel->repaint();
    });
}

void MainWindow::setUrlText(const std::string& text)
{
    m_runner.onWindow([&] {
        m_domainBox->setEditText(QString::fromStdString(text));
    });
}

void MainWindow::setRunning(bool running)
{
    m_runner.onWindow([&] {
        m_queryButton->setEnabled(!running);
        m_domainBox->setEnabled(!running);
    });
}

void MainWindow::reportError(const std::string& message)
{
    m_runner.onWindow([&] {
        showApplicationError(QString::fromStdString(message), this);
    });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    onCloseRequested(event);
}

void MainWindow::changeEvent(QEvent* event)
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

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        onActivated();
    return ToolWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_countGrid->viewport() && event->type() == QEvent::MouseButtonDblClick)
        onGridDoubleClicked();
    return ToolWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    ToolWindow::showEvent(event);
    if (m_placement)
        m_placement->windowShown();
}

} // namespace kaldrani::gui
