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
class TfrmMain : public ToolWindow, public kaldrani::queries::OverviewView {
    Q_OBJECT
public:
    // Creates the window hidden and runs FormCreate: placement, grid, data folder. The
    // buttons and tray items show the windows of `windows` (which may still be filling);
    // the runs go to runner.
    TfrmMain(Runner& runner, const kaldrani::records::DataFolder& folder, AppWindows& windows);

    // The client area: the layout's controls reach x = 187, past the nominal 179.
    static constexpr int kClientWidth = 187;
    static constexpr int kClientHeight = 351;

    // Per-wait limit of the new-version fetch, in milliseconds.
    int versionCheckTimeoutMs = 20000;

    QWidget* toolbarPanel = nullptr;
    QToolButton* btnSite = nullptr;
    QToolButton* bsSkinSpeedButton1 = nullptr;
    QToolButton* bsSkinSpeedButton2 = nullptr;
    QToolButton* bsSkinSpeedButton3 = nullptr;
    QToolButton* bsSkinSpeedButton6 = nullptr;
    QToolButton* bsSkinSpeedButton7 = nullptr;
    QToolButton* bsSkinSpeedButton4 = nullptr;
    QToolButton* bsSkinSpeedButton5 = nullptr;
    QComboBox* txtUrl = nullptr;
    QPushButton* btnQure = nullptr;
    QTableWidget* StringGD = nullptr;
    QLabel* ImagePR = nullptr;
    TGauge* SouGouRankG = nullptr;
    QLabel* lblAlexaRank = nullptr;
    QLabel* lblChinaRank = nullptr;
    QList<QImage> ImageListPR;
    QSystemTrayIcon* bsTrayIcon = nullptr;
    QMenu* bsPmenu = nullptr;
    QAction* N6 = nullptr;
    QAction* N7 = nullptr;
    QAction* N8 = nullptr;
    QAction* N9 = nullptr;
    QAction* N10 = nullptr;
    // The daily tracking item, before the quit item.
    ScheduleTrayItem* scheduleItem = nullptr;
    // How many hosts the runs ask at once, before the daily tracking item.
    ParallelQueriesSetting* parallelQueries = nullptr;

    // What the run last wrote; the grid and panels show it.
    const kaldrani::queries::OverviewDisplay& display() const { return m_display; }

    // The handlers, public so that a caller can run exactly what a click runs.
    void btnQureClick();
    void btnSiteClick();
    void bsSkinSpeedButton1Click();
    void bsSkinSpeedButton2Click();
    void bsSkinSpeedButton3Click();
    void bsSkinSpeedButton4Click();
    void bsSkinSpeedButton5Click();
    void bsSkinSpeedButton6Click();
    void bsSkinSpeedButton7Click();
    void StringGDDblClick();
    void bsTrayIconDblClick();
    void N6Click();
    void N7Click();
    void N8Click();
    void N9Click();
    void N10Click();

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
    void FormCreate();
    void FormActivate();
    void FormCloseQuery(QCloseEvent* event);
    void createControls();
    void createTray();
    void showWindowOf(WindowId id) const;
    QFrame* addResultPanel(int top, const QString& caption, int captionLeft);

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
    kaldrani::records::DataFolder m_folder;
    kaldrani::records::FileWatch m_siteList;
    AppWindows& m_windows;
    kaldrani::queries::OverviewDisplay m_display;
    std::optional<CornerPlacement> m_placement;
    bool m_quitting = false;
};

// Whether the desktop shows a tray. Without one, hiding the main window would leave an
// invisible program, so closing it ends the program instead. Tests force either answer;
// an empty optional asks the desktop again.
bool systemTrayAvailable();
void setSystemTrayAvailableOverride(std::optional<bool> available);

} // namespace kaldrani::gui
