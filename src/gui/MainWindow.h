#pragma once

#include "core/queries/SiteOverviewRun.h"
#include "core/records/DataFolder.h"
#include "core/records/FileStamp.h"
#include "gui/ErrorBox.h"
#include "gui/Placement.h"
#include "gui/TGauge.h"
#include "gui/ToolWindow.h"
#include "gui/WindowId.h"

#include <QImage>
#include <QList>
#include <QSystemTrayIcon>

#include <optional>

class QAbstractButton;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace kaldrani::gui {

class ScheduleTrayItem;
class ParallelQueriesSetting;

class Runner;

class AppWindows;

// The main window: the site overview panel with its toolbar, the tray icon and its menu.
// Closing it only hides it (and starts the new-version check); the tray menu's quit item
// ends the program.
class MainWindow : public ToolWindow, public kaldrani::queries::OverviewView {
    Q_OBJECT
public:
    // Creates the window hidden, placed, with its grid set up and the data folder made. The
    // buttons and tray items show the windows of `windows` (which may still be filling);
    // the runs go to runner.
    MainWindow(Runner& runner, const kaldrani::records::DataFolder& folder, AppWindows& windows);

    // The client area: the layout's controls reach x = 187, past the nominal 179.
    static constexpr int kClientWidth = 187;
    static constexpr int kClientHeight = 351;

    // Per-wait limit of the new-version fetch, in milliseconds; 20 s unless set.
    void setVersionCheckTimeout(int ms) { m_versionCheckTimeoutMs = ms; }

    // What the run last wrote; the grid and panels show it.
    const kaldrani::queries::OverviewDisplay& display() const { return m_display; }

    // Shows this window in its normal state, in front: the tray menu's 打开工具, and a second
    // start of the program.
    void bringToFront();
    // Shows the query history window, as the toolbar's 查询记录 does.
    void showHistoryWindow();

    // OverviewView, called from the run's thread: each change reaches the widgets on this
    // window's thread through the runner and is painted at once. Meanwhile the window
    // repaints and takes input, but the query button and the address box stay disabled
    // until it ends.
    void figureChanged(kaldrani::queries::FigureId id) override;
    void displayCleared() override;
    void pageRankChanged() override;
    void gaugeChanged() override;
    void alexaRankChanged() override;
    void chinaRankChanged() override;
    void setUrlText(const std::string& text) override;
    void setRunning(bool running) override;
    void reportError(const std::string& message) override;

signals:
    // The new-version check a close started has ended; the notice is shown by then.
    void versionChecked(bool published);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Writes the figure into its grid cell and marks it when it failed.
    void showFigure(kaldrani::queries::FigureId id);
    void initialise();
    void onActivated();
    void onCloseRequested(QCloseEvent* event);
    void createControls();
    void createTray();
    void showWindowOf(WindowId id) const;
    QFrame* addResultPanel(int top, const QString& caption, int captionLeft);

    void onQueryClicked();
    void onSiteListClicked();
    void onWhoisClicked();
    void onIpClicked();
    void onKeywordClicked();
    void onMailClicked();
    void onVisitSiteClicked();
    void onAboutClicked();
    void onGridDoubleClicked();
    void onTrayDoubleClicked();
    void onVisitSiteTriggered();
    void onAboutTriggered();
    void onUpgradeTriggered();
    void quit();

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
    kaldrani::records::DataFolder m_folder;
    kaldrani::records::FileWatch m_siteList;
    AppWindows& m_windows;
    kaldrani::queries::OverviewDisplay m_display;
    std::optional<CornerPlacement> m_placement;
    bool m_quitting = false;
    int m_versionCheckTimeoutMs = 20000;

    QWidget* m_toolbar = nullptr;
    QToolButton* m_siteListButton = nullptr;
    QToolButton* m_historyButton = nullptr;
    QToolButton* m_whoisButton = nullptr;
    QToolButton* m_ipButton = nullptr;
    QToolButton* m_keywordButton = nullptr;
    QToolButton* m_mailButton = nullptr;
    QToolButton* m_visitSiteButton = nullptr;
    QToolButton* m_aboutButton = nullptr;
    QComboBox* m_domainBox = nullptr;
    QPushButton* m_queryButton = nullptr;
    QTableWidget* m_countGrid = nullptr;
    QLabel* m_pageRankPicture = nullptr;
    TGauge* m_sogouRatingGauge = nullptr;
    QLabel* m_alexaRankLabel = nullptr;
    QLabel* m_chinaRankLabel = nullptr;
    QList<QImage> m_pageRankPictures;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_visitSiteAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_upgradeAction = nullptr;
    QAction* m_quitAction = nullptr;
    // The daily tracking item, before the quit item.
    ScheduleTrayItem* m_scheduleItem = nullptr;
    // How many hosts the runs ask at once, before the daily tracking item.
    ParallelQueriesSetting* m_parallelQueries = nullptr;
};

// Whether the desktop shows a tray. Without one, hiding the main window would leave an
// invisible program, so closing it ends the program instead. Tests force either answer;
// an empty optional asks the desktop again.
bool systemTrayAvailable();
void setSystemTrayAvailableOverride(std::optional<bool> available);

} // namespace kaldrani::gui
