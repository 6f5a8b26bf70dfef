#pragma once

#include "core/queries/KeywordSearch.h"
#include "core/records/DataFolder.h"

#include <QString>
#include "gui/ToolWindow.h"

#include <array>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace kaldrani::gui {

class Runner;

// The keyword ranking window: a site, a keyword, the engines and a page range in; the
// site's position in each engine out, with a button per engine that opens the engine's
// last result page in the browser.
class TfrmKeyWord : public ToolWindow, public kaldrani::queries::KeywordView {
    Q_OBJECT
public:
    // Creates the window hidden; FormCreate loads the site list into txtUrl. Its scans run
    // on runner.
    TfrmKeyWord(Runner& runner, const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    static constexpr int kClientWidth = 490;
    static constexpr int kClientHeight = 314;

    QFrame* bsSkinPanel1 = nullptr;
    QFrame* bsSkinPanel2 = nullptr;
    QComboBox* txtUrl = nullptr;
    QLineEdit* txtKeyword = nullptr;
    QPushButton* btnCX = nullptr;
    QPushButton* btnMD = nullptr;
    QSpinBox* seStart = nullptr;
    QSpinBox* seEnd = nullptr;
    QCheckBox* rbBaidu = nullptr;
    QCheckBox* rdGoogle = nullptr;
    QCheckBox* rdYahoo = nullptr;
    QCheckBox* rdSogou = nullptr;
    QCheckBox* rdSoso = nullptr;
    QCheckBox* rdYodao = nullptr;
    QCheckBox* rdBing = nullptr;
    QLineEdit* txtBaidu = nullptr;
    QLineEdit* txtGoogle = nullptr;
    QLineEdit* txtYahoo = nullptr;
    QLineEdit* txtSogou = nullptr;
    QLineEdit* txtSoso = nullptr;
    QLineEdit* txtYodao = nullptr;
    QLineEdit* txtBing = nullptr;
    QToolButton* sbBaidu = nullptr;
    QToolButton* sbGoogle = nullptr;
    QToolButton* sbYahoo = nullptr;
    QToolButton* sbSogou = nullptr;
    QToolButton* sbSoso = nullptr;
    QToolButton* sbYoudao = nullptr;
    QToolButton* sbBing = nullptr;
    // Whether `track` scans the keyword for the site; only a listed site's can be.
    QCheckBox* cbTrack = nullptr;

    // The engine's controls, by SearchEngine.
    QCheckBox* checkBox(kaldrani::SearchEngine e) const { return m_checks[index(e)]; }
    QLineEdit* resultBox(kaldrani::SearchEngine e) const { return m_results[index(e)]; }
    QToolButton* lookupButton(kaldrani::SearchEngine e) const { return m_lookups[index(e)]; }
    // The page the engine's "官网查询" button opens; empty until its first scan.
    const QString& lastPageUrl(kaldrani::SearchEngine e) const { return m_lastPageUrl[index(e)]; }

    // The handlers, public so that a caller can run exactly what a click runs.
    void btnCXClick();
    void btnMDClick();
    void clear();
    void cbTrackClick();
    // Shows whether the site and keyword typed are tracked, once the files are read off
    // this thread.
    void showTracked();
    // Whether the track box still waits for a read or a change of the files.
    bool trackPending() const { return m_trackBusy; }

    // KeywordView, called from the scan's thread: each change reaches the widgets on this
    // window's thread through the runner and shows at once. Meanwhile the window repaints
    // and answers the desktop, and drops clicks and keys but those on its stop button.
    void clearResult(kaldrani::SearchEngine engine) override;
    void setProgress(kaldrani::SearchEngine engine, long long page) override;
    void setResult(kaldrani::SearchEngine engine, const kaldrani::queries::KeywordOutcome& outcome) override;
    void setNotSelected(kaldrani::SearchEngine engine) override;
    void setLastPageUrl(kaldrani::SearchEngine engine, const std::string& url) override;
    void setLookupVisible(kaldrani::SearchEngine engine, bool visible) override;
    void setRunning(bool running) override;

signals:
    // The track box shows what the files held for the site and keyword typed.
    void trackShown();

private:
    void trackAnswered(bool trackable, bool tracked, const std::string& error);
    static std::size_t index(kaldrani::SearchEngine e) { return static_cast<std::size_t>(e); }
    void FormCreate();
    void createControls();
    void openLastPage(kaldrani::SearchEngine e);
    void showResultText(kaldrani::SearchEngine engine, const QString& text);

    Runner& m_runner;
    QAbstractButton* m_stopButton = nullptr;
    kaldrani::records::DataFolder m_folder;
    kaldrani::PerEngine<QCheckBox*> m_checks{};
    kaldrani::PerEngine<QLineEdit*> m_results{};
    kaldrani::PerEngine<QToolButton*> m_lookups{};
    kaldrani::PerEngine<QString> m_lastPageUrl;
    bool m_trackBusy = false;
    bool m_trackStale = false;
};

} // namespace kaldrani::gui
