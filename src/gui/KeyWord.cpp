#include "gui/KeyWord.h"

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

TfrmKeyWord::TfrmKeyWord(gui::Runner& runner, const records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, gui::TitleBar::Tool, QStringLiteral(" 关键词排名查询"), {kClientWidth, kClientHeight}),
      m_runner(runner),
      m_folder(folder)
{
    createControls();
    centreOnFirstShow();
    runHandler([this] { FormCreate(); }, this);
    runHandler([this] { showTracked(); }, this);
}

void TfrmKeyWord::createControls()
{
    bsSkinPanel1 = framedPanel(this, 8, 8, 474, 117);
    label(bsSkinPanel1, "网    址：", 16, 18);
    label(bsSkinPanel1, "关键词：", 16, 48);
    label(bsSkinPanel1, "引    擎：", 16, 81);
    label(bsSkinPanel1, "——页码范围——", 316, 20);
    label(bsSkinPanel1, "|", 316, 25);
    label(bsSkinPanel1, "|", 406, 25);
    seStart = pageSpin(bsSkinPanel1, 296, 44, 57);
    seEnd = pageSpin(bsSkinPanel1, 373, 44, 58);

    bsSkinPanel2 = framedPanel(this, 8, 135, 474, 170);
    for (const SearchEngine e : kSearchEngines) {
        const EngineLayout& at = kLayout[index(e)];
        const QString name = fromUtf8(engineLabel(e));
        auto* check = new QCheckBox(name, bsSkinPanel1);
        check->setGeometry(at.checkLeft, 76, 47, 25);
        check->setChecked(true);
        m_checks[index(e)] = check;

        auto* caption = new QLabel(name + QStringLiteral("："), bsSkinPanel2);
        caption->move(at.labelAt);
        caption->adjustSize();
        auto* box = new QLineEdit(bsSkinPanel2);
        box->setGeometry(at.boxAt.x(), at.boxAt.y(), 147, 18);
        box->setReadOnly(true);
        m_results[index(e)] = box;

        auto* button = new QToolButton(bsSkinPanel2);
        button->setGeometry(at.buttonAt.x(), at.buttonAt.y(), 19, 18);
        button->setAutoRaise(true);
        button->setIcon(gui::toolIcon(4));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QStringLiteral("官网查询"));
        button->hide();
        m_lookups[index(e)] = button;
    }
    using E = SearchEngine;
    rbBaidu = checkBox(E::Baidu);
    rdGoogle = checkBox(E::Google);
    rdYahoo = checkBox(E::Yahoo);
    rdSogou = checkBox(E::Sogou);
    rdSoso = checkBox(E::Soso);
    rdYodao = checkBox(E::Youdao);
    rdBing = checkBox(E::Bing);
    txtBaidu = resultBox(E::Baidu);
    txtGoogle = resultBox(E::Google);
    txtYahoo = resultBox(E::Yahoo);
    txtSogou = resultBox(E::Sogou);
    txtSoso = resultBox(E::Soso);
    txtYodao = resultBox(E::Youdao);
    txtBing = resultBox(E::Bing);
    sbBaidu = lookupButton(E::Baidu);
    sbGoogle = lookupButton(E::Google);
    sbYahoo = lookupButton(E::Yahoo);
    sbSogou = lookupButton(E::Sogou);
    sbSoso = lookupButton(E::Soso);
    sbYoudao = lookupButton(E::Youdao);
    sbBing = lookupButton(E::Bing);
    for (const SearchEngine e : kSearchEngines)
        connect(m_lookups[index(e)], &QToolButton::clicked, this,
                [this, e] { runHandler([this, e] { openLastPage(e); }, this); });

    // On the window itself, over the upper panel.
    txtUrl = new QComboBox(this);
    txtUrl->setEditable(true);
    txtUrl->setGeometry(71, 21, 154, 20);
    txtUrl->setMaxVisibleItems(8);
    txtUrl->setInsertPolicy(QComboBox::NoInsert);
    txtUrl->completer()->setCompletionMode(QCompleter::InlineCompletion);
    txtUrl->completer()->setCaseSensitivity(Qt::CaseSensitive);

    btnCX = new QPushButton(QStringLiteral("开始查询"), this);
    btnCX->setGeometry(231, 21, 58, 25);
    onClicked(btnCX, &TfrmKeyWord::btnCXClick);
    m_stopButton = addStopButton(btnCX);

    txtKeyword = new QLineEdit(this);
    txtKeyword->setGeometry(71, 52, 154, 18);

    btnMD = new QPushButton(QStringLiteral("查询设置"), this);
    btnMD->setGeometry(231, 52, 58, 25);
    onClicked(btnMD, &TfrmKeyWord::btnMDClick);

    // In the one free place of the lower panel, beside the last engine of the left column.
    cbTrack = new QCheckBox(QStringLiteral("每日跟踪此关键词"), bsSkinPanel2);
    cbTrack->setGeometry(234, 118, 180, 20);
    cbTrack->setToolTip(QStringLiteral("每日跟踪时查询这个网址的这个关键词（只限站点列表中的网址）"));
    connect(cbTrack, &QCheckBox::clicked, this, [this] { runHandler([this] { cbTrackClick(); }, this); });
    connect(txtUrl, &QComboBox::editTextChanged, this, [this] { runHandler([this] { showTracked(); }, this); });
    connect(txtKeyword, &QLineEdit::textChanged, this, [this] { runHandler([this] { showTracked(); }, this); });

    setTabOrder(txtUrl, txtKeyword);
    setTabOrder(txtKeyword, btnCX);
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

void TfrmKeyWord::showTracked()
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
        [folder = m_folder, site = txtUrl->currentText().toStdString(), keyword = txtKeyword->text().toStdString()] {
            return readTrackState(folder, site, keyword);
        },
        [this](const TrackAnswer& answer) { trackAnswered(answer.trackable, answer.tracked, answer.error); });
}

void TfrmKeyWord::trackAnswered(bool trackable, bool tracked, const std::string& error)
{
    m_trackBusy = false;
    if (m_trackStale) {
        showTracked();
        return;
    }
    cbTrack->setEnabled(trackable);
    cbTrack->setChecked(tracked);
    emit trackShown();
    if (!error.empty())
        gui::showApplicationError(fromUtf8(error), this);
}

void TfrmKeyWord::cbTrackClick()
{
    // The box tells what the file holds once the change is made; a click meanwhile is dropped.
    cbTrack->setEnabled(false);
    m_trackBusy = true;
    m_trackStale = false;
    m_runner.runThen<TrackAnswer>(
        this,
        [folder = m_folder, site = txtUrl->currentText().toStdString(), keyword = txtKeyword->text().toStdString(),
         add = cbTrack->isChecked()] {
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

void TfrmKeyWord::FormCreate()
{
    // Only here: a site list edited later reaches this list at the next start.
    if (!records::siteListExists(m_folder))
        return;
    QStringList items;
    for (const auto& site : records::loadSiteList(m_folder))
        items << fromUtf8(site);
    txtUrl->addItems(items);
    txtUrl->setCurrentIndex(-1);
}

void TfrmKeyWord::clear()
{
    for (const SearchEngine e : kSearchEngines)
        m_results[index(e)]->clear();
    for (const SearchEngine e : kSearchEngines)
        m_lookups[index(e)]->hide();
}

void TfrmKeyWord::btnCXClick()
{
    const std::string site = txtUrl->currentText().toStdString();
    // A site that names no domain is told at once, and nothing is asked.
    if (const std::string problem = queries::keywordSiteProblem(site); !problem.empty()) {
        gui::showApplicationError(fromUtf8(problem), this);
        return;
    }
    const std::string keyword = txtKeyword->text().toStdString();
    const int firstPage = seStart->value();
    const int lastPage = seEnd->value();
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

void TfrmKeyWord::btnMDClick()
{
}

void TfrmKeyWord::openLastPage(SearchEngine e)
{
    // Nothing was requested yet (or the range was empty): there is no page to show.
    if (!m_lastPageUrl[index(e)].isEmpty())
        gui::openInBrowser(m_lastPageUrl[index(e)]);
}

void TfrmKeyWord::showResultText(SearchEngine engine, const QString& text)
{
    m_results[index(engine)]->setText(text);
    m_results[index(engine)]->setCursorPosition(0);
}

void TfrmKeyWord::clearResult(SearchEngine engine)
{
    m_runner.onWindow([&] { showResultText(engine, {}); });
}

void TfrmKeyWord::setProgress(SearchEngine engine, long long page)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::keywordProgressText(page))); });
}

void TfrmKeyWord::setResult(SearchEngine engine, const queries::KeywordOutcome& outcome)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::keywordResultText(engine, outcome))); });
}

void TfrmKeyWord::setNotSelected(SearchEngine engine)
{
    m_runner.onWindow([&] { showResultText(engine, fromUtf8(queries::kKeywordNotSelected)); });
}

void TfrmKeyWord::setLastPageUrl(SearchEngine engine, const std::string& url)
{
    m_runner.onWindow([&] {
        m_lastPageUrl[index(engine)] = fromUtf8(url);
    });
}

void TfrmKeyWord::setLookupVisible(SearchEngine engine, bool visible)
{
    m_runner.onWindow([&] {
        m_lookups[index(engine)]->setVisible(visible);
    });
}

void TfrmKeyWord::setRunning(bool running)
{
    m_runner.onWindow([&] {
        btnCX->setEnabled(!running);
    });
}

} // namespace kaldrani::gui
