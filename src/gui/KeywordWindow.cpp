#include "gui/KeywordWindow.h"

#include "core/queries/DisplayText.h"
#include "core/queries/KeywordRun.h"
#include "core/records/TrackedKeywords.h"
#include "core/run/RunGuard.h"
#include "core/tracking/KeywordScanRecord.h"
#include "gui/BrowserOpener.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/Runner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>

namespace kaldrani::gui {

using namespace kaldrani;

using gui::fromUtf8;

namespace {

QLabel* label(QWidget* parent, const char* text, int left, int top)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->move(left, top);
    l->adjustSize();
    return l;
}

QFrame* framedPanel(QWidget* parent, int left, int top, int width, int height)
{
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setGeometry(left, top, width, height);
    return panel;
}

QSpinBox* pageSpin(QWidget* parent, int left, int top, int width)
{
    auto* spin = new QSpinBox(parent);
    spin->setGeometry(left, top, width, 20);
    spin->setRange(1, 100);
    spin->setSingleStep(1);
    spin->setValue(1);
    return spin;
}

// Where each engine's controls stand: check box left; label, result box and button in the
// lower panel. The texts are the engine's label.
struct EngineLayout {
    int checkLeft;
    QPoint labelAt, boxAt, buttonAt;
};

constexpr PerEngine<EngineLayout> kLayout = perEngine<EngineLayout>(
    EngineLayout{63, {16, 26}, {50, 23}, {203, 24}}, EngineLayout{116, {16, 58}, {50, 54}, {203, 54}},
    EngineLayout{169, {16, 90}, {50, 86}, {203, 87}}, EngineLayout{222, {16, 122}, {50, 118}, {203, 119}},
    EngineLayout{275, {234, 26}, {267, 23}, {417, 23}}, EngineLayout{328, {234, 58}, {267, 54}, {417, 55}},
    EngineLayout{381, {234, 90}, {267, 86}, {417, 87}});

} // namespace

KeywordWindow::KeywordWindow(gui::Runner& runner, const records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::Tool, QStringLiteral(" 关键词排名查询"), {kClientWidth, kClientHeight}),
      m_runner(runner),
      m_folder(folder)
{
    createControls();
    centreOnFirstShow();
    runHandler([this] { loadSiteList(); }, this);
    runHandler([this] { showTracked(); }, this);
}

void KeywordWindow::createControls()
{
    m_queryPanel = framedPanel(this, 8, 8, 474, 117);
    m_queryPanel->setObjectName(QStringLiteral("queryPanel"));
    label(m_queryPanel, "网    址：", 16, 18);
    label(m_queryPanel, "关键词：", 16, 48);
    label(m_queryPanel, "引    擎：", 16, 81);
    label(m_queryPanel, "——页码范围——", 316, 20);
    label(m_queryPanel, "|", 316, 25);
    label(m_queryPanel, "|", 406, 25);
    m_firstPageSpin = pageSpin(m_queryPanel, 296, 44, 57);
    m_firstPageSpin->setObjectName(QStringLiteral("firstPageSpin"));
    m_lastPageSpin = pageSpin(m_queryPanel, 373, 44, 58);
    m_lastPageSpin->setObjectName(QStringLiteral("lastPageSpin"));

    m_resultPanel = framedPanel(this, 8, 135, 474, 170);
    m_resultPanel->setObjectName(QStringLiteral("resultPanel"));
    for (const SearchEngine e : kSearchEngines) {
        const EngineLayout& at = kLayout[index(e)];
        const QString name = fromUtf8(engineLabel(e));
        const QString key = fromUtf8(kEngineKeys[index(e)]);
        auto* check = new QCheckBox(name, m_queryPanel);
        check->setObjectName(key + QStringLiteral("Check"));
        check->setGeometry(at.checkLeft, 76, 47, 25);
        check->setChecked(true);
        m_checks[index(e)] = check;

        auto* caption = new QLabel(name + QStringLiteral("："), m_resultPanel);
        caption->move(at.labelAt);
        caption->adjustSize();
        auto* box = new QLineEdit(m_resultPanel);
        box->setObjectName(key + QStringLiteral("Result"));
        box->setGeometry(at.boxAt.x(), at.boxAt.y(), 147, 18);
        box->setReadOnly(true);
        m_results[index(e)] = box;

        auto* button = new QToolButton(m_resultPanel);
        button->setObjectName(key + QStringLiteral("LookupButton"));
        button->setGeometry(at.buttonAt.x(), at.buttonAt.y(), 19, 18);
        button->setAutoRaise(true);
        button->setIcon(gui::toolIcon(4));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QStringLiteral("官网查询"));
        button->hide();
        m_lookups[index(e)] = button;
    }
    for (const SearchEngine e : kSearchEngines)
        connect(m_lookups[index(e)], &QToolButton::clicked, this,
                [this, e] { runHandler([this, e] { openLastPage(e); }, this); });

    // On the window itself, over the upper panel.
    m_siteBox = new QComboBox(this);
    m_siteBox->setObjectName(QStringLiteral("siteBox"));
    m_siteBox->setEditable(true);
    m_siteBox->setGeometry(71, 21, 154, 20);
    m_siteBox->setMaxVisibleItems(8);
    m_siteBox->setInsertPolicy(QComboBox::NoInsert);
    m_siteBox->completer()->setCompletionMode(QCompleter::InlineCompletion);
    m_siteBox->completer()->setCaseSensitivity(Qt::CaseSensitive);

    m_queryButton = new QPushButton(QStringLiteral("开始查询"), this);
    m_queryButton->setObjectName(QStringLiteral("queryButton"));
    m_queryButton->setGeometry(231, 21, 58, 25);
    onClicked(m_queryButton, &KeywordWindow::onQueryClicked);
    m_stopButton = addStopButton(m_queryButton);

    m_keywordEdit = new QLineEdit(this);
    m_keywordEdit->setObjectName(QStringLiteral("keywordEdit"));
    m_keywordEdit->setGeometry(71, 52, 154, 18);

    // Shown as the layout has it; it has never had an action.
    auto* settingsButton = new QPushButton(QStringLiteral("查询设置"), this);
    settingsButton->setObjectName(QStringLiteral("settingsButton"));
    settingsButton->setGeometry(231, 52, 58, 25);

    // In the one free place of the lower panel, beside the last engine of the left column.
    m_trackBox = new QCheckBox(QStringLiteral("每日跟踪此关键词"), m_resultPanel);
    m_trackBox->setObjectName(QStringLiteral("trackBox"));
    m_trackBox->setGeometry(234, 118, 180, 20);
    m_trackBox->setToolTip(QStringLiteral("每日跟踪时查询这个网址的这个关键词（只限站点列表中的网址）"));
    connect(m_trackBox, &QCheckBox::clicked, this, [this] { runHandler([this] { onTrackClicked(); }, this); });
    connect(m_siteBox, &QComboBox::editTextChanged, this, [this] { runHandler([this] { showTracked(); }, this); });
    connect(m_keywordEdit, &QLineEdit::textChanged, this, [this] { runHandler([this] { showTracked(); }, this); });

    setTabOrder(m_siteBox, m_keywordEdit);
    setTabOrder(m_keywordEdit, m_queryButton);
}

namespace {

// What the track box shows for a site and keyword, read off the window thread.
struct TrackAnswer {
    bool trackable = false;
    bool tracked = false;
    std::string error; // why the files could not be read or changed
};

TrackAnswer readTrackState(const records::DataFolder& folder, const std::string& site, const std::string& keyword)
{
    TrackAnswer answer;
    try {
        bool listed = false;
        if (records::siteListExists(folder)) {
            const auto sites = records::loadSiteList(folder);
            listed = std::find(sites.begin(), sites.end(), site) != sites.end();
        }
        answer.trackable = listed && records::keywordProblem(keyword).empty();
        if (answer.trackable)
            for (const auto& k : records::trackedKeywordsOf(records::loadTrackedKeywords(folder), site))
                answer.tracked = answer.tracked || k == keyword;
    } catch (const std::exception& e) {
        answer = {};
        answer.error = e.what();
    }
    return answer;
}

} // namespace

void KeywordWindow::showTracked()
{
    // One read at a time; typing meanwhile asks for one more read when it ends.
    if (m_trackBusy) {
        m_trackStale = true;
        return;
    }
    m_trackBusy = true;
    m_trackStale = false;
    m_runner.runThen<TrackAnswer>(
        this,
        [folder = m_folder, site = m_siteBox->currentText().toStdString(), keyword = m_keywordEdit->text().toStdString()] {
            return readTrackState(folder, site, keyword);
        },
        [this](const TrackAnswer& answer) { trackAnswered(answer.trackable, answer.tracked, answer.error); });
}

void KeywordWindow::trackAnswered(bool trackable, bool tracked, const std::string& error)
{
    m_trackBusy = false;
    if (m_trackStale) {
        showTracked();
        return;
    }
    m_trackBox->setEnabled(trackable);
    m_trackBox->setChecked(tracked);
    emit trackShown();
    if (!error.empty())
        gui::showApplicationError(fromUtf8(error), this);
}

void KeywordWindow::onTrackClicked()
{
    // The box tells what the file holds once the change is made; a click meanwhile is dropped.
    m_trackBox->setEnabled(false);
    m_trackBusy = true;
    m_trackStale = false;
    m_runner.runThen<TrackAnswer>(
        this,
        [folder = m_folder, site = m_siteBox->currentText().toStdString(), keyword = m_keywordEdit->text().toStdString(),
         add = m_trackBox->isChecked()] {
            std::string error;
            try {
                if (add)
                    records::addTrackedKeyword(folder, site, keyword);
                else
                    records::removeTrackedKeyword(folder, site, keyword);
            } catch (const std::exception& e) {
                error = e.what();
            }
            TrackAnswer answer = readTrackState(folder, site, keyword);
            if (!error.empty())
                answer.error = error;
            return answer;
        },
        [this](const TrackAnswer& answer) { trackAnswered(answer.trackable, answer.tracked, answer.error); });
}

void KeywordWindow::loadSiteList()
{
    // Only here: a site list edited later reaches this list at the next start.
    if (!records::siteListExists(m_folder))
        return;
    QStringList items;
    for (const auto& site : records::loadSiteList(m_folder))
        items << fromUtf8(site);
    m_siteBox->addItems(items);
    m_siteBox->setCurrentIndex(-1);
}

void KeywordWindow::onQueryClicked()
{
    const std::string site = m_siteBox->currentText().toStdString();
    // A site that names no domain is told at once, and nothing is asked.
    if (const std::string problem = queries::keywordSiteProblem(site); !problem.empty()) {
        gui::showApplicationError(fromUtf8(problem), this);
        return;
    }
    const std::string keyword = m_keywordEdit->text().toStdString();
    const int firstPage = m_firstPageSpin->value();
    const int lastPage = m_lastPageSpin->value();
    queries::EngineSelection selected{};
    for (const SearchEngine e : kSearchEngines)
        selected[index(e)] = m_checks[index(e)]->isChecked();
    // Held back from the click on, not only once the run has said so from its thread.
    const run::RunGuard busy(*this);
    const std::optional<tracking::RecordedScan> scan = m_runner.runAndWait(
        [this, folder = m_folder, site, keyword, firstPage, lastPage, selected] {
            // A listed site keeps the scan in its keyword history.
            return tracking::scanAndRecord(*this, folder, site, keyword, firstPage, lastPage, selected);
        },
        {this, gui::InputDuringRun::Waits, m_stopButton});
    if (scan && !scan->recordError.empty())
        gui::showApplicationError(fromUtf8(scan->recordError), this);
}

void KeywordWindow::openLastPage(SearchEngine e)
{
    // Nothing was requested yet (or the range was empty): there is no page to show.
    if (!m_lastPageUrl[index(e)].isEmpty())
        gui::openInBrowser(m_lastPageUrl[index(e)]);
}

void KeywordWindow::showResultText(SearchEngine engine, const QString& text)
{
    m_results[index(engine)]->setText(text);
    m_results[index(engine)]->setCursorPosition(0);
}

void KeywordWindow::clearResult(SearchEngine engine)
{
    m_runner.onWindow([&] { showResultText(engine, {}); });
}

void KeywordWindow::setProgress(SearchEngine engine, long long page)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::keywordProgressText(page))); });
}

void KeywordWindow::setResult(SearchEngine engine, const queries::KeywordOutcome& outcome)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::keywordResultText(engine, outcome))); });
}

void KeywordWindow::setNotSelected(SearchEngine engine)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::kKeywordNotSelected)); });
}

void KeywordWindow::setLastPageUrl(SearchEngine engine, const std::string& url)
{
    m_runner.onWindow([&] {
        m_lastPageUrl[index(engine)] = fromUtf8(url);
    });
}

void KeywordWindow::setLookupVisible(SearchEngine engine, bool visible)
{
    m_runner.onWindow([&] {
        m_lookups[index(engine)]->setVisible(visible);
    });
}

void KeywordWindow::setRunning(bool running)
{
    m_runner.onWindow([&] {
        m_queryButton->setEnabled(!running);
    });
}

} // namespace kaldrani::gui
