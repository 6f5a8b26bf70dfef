#include "KeywordPages.h"
#include "StandinServer.h"
#include "core/fetch/Endpoints.h"
#include "core/net/ConnectTo.h"
#include "core/queries/KeywordSearch.h"
#include "core/records/DataFolder.h"
#include "core/records/KeywordHistory.h"
#include "core/records/TrackedKeywords.h"
#include "gui/AppWindows.h"
#include "gui/Runner.h"
#include "gui/BrowserOpener.h"
#include "gui/ErrorBox.h"
#include "gui/KeyWord.h"
#include "gui/mainFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kaldrani::gui;

using namespace kaldrani;
using E = SearchEngine;

namespace {

class RecordingBrowser : public gui::BrowserOpener {
public:
    void open(const QString& url) override { opened.append(url); }
    QStringList opened;
};

// The texts a widget showed when it was painted.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLineEdit* box) : m_box(box) { box->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && (texts.isEmpty() || texts.last() != m_box->text()))
            texts.append(m_box->text());
        return false;
    }
    QStringList texts;

private:
    QLineEdit* m_box;
};

QString rankText(int position)
{
    return QStringLiteral("搜索排名第 %1 位").arg(position);
}

class KeyWordWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        records::EnsureDataFolder(m_folder);
        records::saveSiteList(m_folder, "example.com\r\nkaldrani-demo.cn\r\n");
        net::clearConnectToRules();
        net::addConnectToRules({{"", "", "127.0.0.1", std::to_string(m_server.port())}});
        gui::setBrowserOpener(&m_browser);
        setApplicationErrorSink([this](const QString& message) { m_errors.append(message); });
        w = new TfrmKeyWord(m_runner, m_folder);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }

    void TearDown() override
    {
        delete w;
        setApplicationErrorSink({});
        gui::setBrowserOpener(nullptr);
        net::clearConnectToRules();
        EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    }

    void checkOnly(std::initializer_list<E> engines)
    {
        for (const E e : kSearchEngines) {
            const bool wanted = std::find(engines.begin(), engines.end(), e) != engines.end();
            if (w->checkBox(e)->isChecked() != wanted)
                QTest::mouseClick(w->checkBox(e), Qt::LeftButton, {}, QPoint(8, 12));
        }
    }

    void run(const QString& site, const QString& keyword)
    {
        w->txtUrl->setEditText(site);
        w->txtKeyword->setText(keyword);
        m_server.clearRequests();
        QTest::mouseClick(w->btnCX, Qt::LeftButton);
    }

    // Waits until the track box shows what the files hold.
    void settleTrack()
    {
        QSignalSpy shown(w, &TfrmKeyWord::trackShown);
        if (w->trackPending()) {
            ASSERT_TRUE(shown.wait(5000));
        }
    }

    QString text(E e) const { return w->resultBox(e)->text(); }
    bool shown(E e) const { return w->lookupButton(e)->isVisible(); }
    QString pageUrl(E e, const char* keyword, int page) const
    {
        return QString::fromStdString(queries::keywordPageUrl(e, keyword, page));
    }
    // The position the stand-in gives, when it falls on page 1.
    QString firstPageRank(E e, const char* site, const char* keyword) const
    {
        const int position = standin::keywordRank(e, site, keyword).value_or(0);
        return rankText(position <= 10 ? position : 0);
    }

    QTemporaryDir m_dir;
    records::DataFolder m_folder{m_dir.path().toStdString()};
    gui::Runner m_runner;
    standin::StandinServer m_server;
    RecordingBrowser m_browser;
    QStringList m_errors;
    TfrmKeyWord* w = nullptr;
};

TEST_F(KeyWordWindow, StartsWithItsLayoutAndEveryEngineChecked)
{
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" 关键词排名查询"));
    EXPECT_EQ(w->size(), QSize(490, 314));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(w->txtUrl->count(), 2);
    EXPECT_EQ(w->txtUrl->itemText(1), QStringLiteral("kaldrani-demo.cn"));
    EXPECT_EQ(w->txtUrl->currentText(), QString());
    EXPECT_EQ(w->txtUrl->maxVisibleItems(), 8);
    for (QSpinBox* spin : {w->seStart, w->seEnd}) {
        EXPECT_EQ(spin->minimum(), 1);
        EXPECT_EQ(spin->maximum(), 100);
        EXPECT_EQ(spin->value(), 1);
    }
    for (const E e : kSearchEngines) {
        SCOPED_TRACE(engineLabel(e));
        EXPECT_TRUE(w->checkBox(e)->isChecked());
        EXPECT_EQ(w->checkBox(e)->text(), QString::fromUtf8(engineLabel(e)));
        EXPECT_EQ(text(e), QString());
        EXPECT_FALSE(shown(e));
        EXPECT_EQ(w->lookupButton(e)->toolTip(), QStringLiteral("官网查询"));
        EXPECT_EQ(w->lookupButton(e)->iconSize(), QSize(16, 16));
        EXPECT_TRUE(w->lastPageUrl(e).isEmpty());
    }

    struct Case {
        const char* name;
        QWidget* control;
        QWidget* parent;
        QRect geometry;
    };
    const Case cases[] = {
        {"upper panel", w->bsSkinPanel1, w, {8, 8, 474, 117}},
        {"lower panel", w->bsSkinPanel2, w, {8, 135, 474, 170}},
        {"txtUrl", w->txtUrl, w, {71, 21, 154, 20}},
        {"btnCX", w->btnCX, w, {231, 21, 58, 25}},
        {"txtKeyword", w->txtKeyword, w, {71, 52, 154, 18}},
        {"btnMD", w->btnMD, w, {231, 52, 58, 25}},
        {"seStart", w->seStart, w->bsSkinPanel1, {296, 44, 57, 20}},
        {"seEnd", w->seEnd, w->bsSkinPanel1, {373, 44, 58, 20}},
        {"rdBing", w->rdBing, w->bsSkinPanel1, {381, 76, 47, 25}},
        {"txtBaidu", w->txtBaidu, w->bsSkinPanel2, {50, 23, 147, 18}},
        {"sbSogou", w->sbSogou, w->bsSkinPanel2, {203, 119, 19, 18}},
        {"txtSoso", w->txtSoso, w->bsSkinPanel2, {267, 23, 147, 18}},
        {"sbYoudao", w->sbYoudao, w->bsSkinPanel2, {417, 55, 19, 18}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.control->parentWidget(), c.parent);
        EXPECT_EQ(c.control->geometry(), c.geometry);
    }
}

TEST_F(KeyWordWindow, WithoutASiteListTheSiteBoxStartsEmpty)
{
    QTemporaryDir empty;
    const TfrmKeyWord other(m_runner, records::DataFolder(empty.path().toStdString()));
    EXPECT_EQ(other.txtUrl->count(), 0);
}

TEST_F(KeyWordWindow, NoEngineCheckedAsksNothing)
{
    checkOnly({});
    run("example.com", "seo");
    EXPECT_TRUE(m_server.requests().empty());
    for (const E e : kSearchEngines) {
        EXPECT_EQ(text(e), QStringLiteral("未选择"));
        EXPECT_FALSE(shown(e));
    }
    EXPECT_TRUE(w->btnCX->isEnabled());
}

TEST_F(KeyWordWindow, OnlySogouChecked)
{
    checkOnly({E::Sogou});
    run("example.com", "网站优化");
    for (const E e : kSearchEngines) {
        SCOPED_TRACE(engineLabel(e));
        EXPECT_EQ(text(e), e == E::Sogou ? firstPageRank(e, "example.com", "网站优化") : QStringLiteral("未选择"));
        EXPECT_EQ(shown(e), e == E::Sogou);
    }
    EXPECT_EQ(w->lastPageUrl(E::Sogou), pageUrl(E::Sogou, "网站优化", 1));
    EXPECT_EQ(m_server.requests().size(), 1u);
}

TEST_F(KeyWordWindow, SecondRunWithFewerEnginesHidesTheOthers)
{
    run("example.com", "seo");
    for (const E e : kSearchEngines) {
        EXPECT_EQ(text(e), firstPageRank(e, "example.com", "seo"));
        EXPECT_TRUE(shown(e));
    }
    checkOnly({E::Google, E::Youdao});
    PaintedTexts bing(w->txtBing);
    run("example.com", "seo");
    for (const E e : kSearchEngines) {
        SCOPED_TRACE(engineLabel(e));
        const bool asked = e == E::Google || e == E::Youdao;
        EXPECT_EQ(text(e), asked ? firstPageRank(e, "example.com", "seo") : QStringLiteral("未选择"));
        EXPECT_EQ(shown(e), asked);
        // What the first run left stays behind the hidden button.
        EXPECT_EQ(w->lastPageUrl(e), pageUrl(e, "seo", 1));
    }
    // Bing's box was emptied first and got "未选择" only after the scans before it: while
    // they ran it was painted empty.
    if (!bing.texts.isEmpty() && bing.texts.last() == QStringLiteral("未选择"))
        bing.texts.removeLast();
    EXPECT_EQ(bing.texts, QStringList({QString()}));
}

TEST_F(KeyWordWindow, GoogleFailsWhileYahooSucceeds)
{
    standin::Response broken = standin::gbkPage("<cite>www.example.com </cite>");
    broken.status = 503;
    broken.reason = "Service Unavailable";
    m_server.setAnswer(endpoints::kGoogle, "/search", broken);
    checkOnly({E::Google, E::Yahoo});
    run("example.com", "seo");
    EXPECT_EQ(text(E::Google), QStringLiteral("查询失败，请重试!"));
    EXPECT_EQ(text(E::Yahoo), firstPageRank(E::Yahoo, "example.com", "seo"));
    EXPECT_TRUE(shown(E::Google));
    EXPECT_TRUE(shown(E::Yahoo));
    EXPECT_EQ(w->lastPageUrl(E::Google), pageUrl(E::Google, "seo", 1));
}

TEST_F(KeyWordWindow, ButtonsOpenTheirEnginesLastPage)
{
    w->seStart->setValue(2);
    w->seEnd->setValue(3);
    checkOnly({E::Baidu, E::Bing});
    run("nowhere.example", "教程");
    EXPECT_EQ(text(E::Baidu), rankText(0));
    QTest::mouseClick(w->sbBing, Qt::LeftButton);
    QTest::mouseClick(w->sbBaidu, Qt::LeftButton);
    EXPECT_EQ(m_browser.opened, QStringList({pageUrl(E::Bing, "教程", 3), pageUrl(E::Baidu, "教程", 3)}));
    EXPECT_EQ(m_browser.opened[0], QStringLiteral("http://cn.bing.com/search?q=%E6%95%99%E7%A8%8B&filt=all&first=21"));

    // First page above the last: nothing requested, the button shows, and opens nothing.
    m_browser.opened.clear();
    w->seStart->setValue(5);
    w->seEnd->setValue(3);
    run("example.com", "seo");
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_EQ(text(E::Bing), rankText(0));
    EXPECT_TRUE(shown(E::Bing));
    QTest::mouseClick(w->sbBing, Qt::LeftButton);
    EXPECT_TRUE(m_browser.opened.isEmpty());
}

TEST_F(KeyWordWindow, RepaintsEachStatusWhileTheRunHoldsBackClicks)
{
    checkOnly({E::Baidu});
    w->seEnd->setValue(3);
    PaintedTexts painted(w->txtBaidu);
    bool enabledDuringRun = true;
    QTimer::singleShot(0, w, [&] {
        enabledDuringRun = w->btnCX->isEnabled();
        // A click on the disabled button while the run goes on must not start another run.
        QTest::mouseClick(w->btnCX, Qt::LeftButton);
    });
    run("nowhere.example", "seo");
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_TRUE(w->btnCX->isEnabled());
    EXPECT_EQ(m_server.requests().size(), 3u);
    for (const char* status : {"正在查询第 1 页", "正在查询第 2 页", "正在查询第 3 页"})
        EXPECT_TRUE(painted.texts.contains(QString::fromUtf8(status))) << status << ": " << painted.texts.join('|').toStdString();
    EXPECT_EQ(text(E::Baidu), rankText(0));
}

// The stand-in names 例子.中国 in Unicode on some engines' pages and in A-labels on others.
TEST_F(KeyWordWindow, AnInternationalSiteIsFoundWhicheverFormIsTypedOrShown)
{
    const char* keyword = "网站优化";
    w->seEnd->setValue(5);
    for (const char* typed : {"例子.中国", "xn--fsqu00a.xn--fiqs8s", "www.例子.中国"}) {
        SCOPED_TRACE(typed);
        run(QString::fromUtf8(typed), QString::fromUtf8(keyword));
        int unicodeShown = 0, aLabelsShown = 0;
        for (const E e : kSearchEngines) {
            SCOPED_TRACE(engineLabel(e));
            const auto place = standin::keywordRank(e, "例子.中国", keyword);
            EXPECT_EQ(text(e), rankText(place.value_or(0)));
            if (place)
                ++(e == E::Google || e == E::Yahoo || e == E::Bing ? aLabelsShown : unicodeShown);
        }
        EXPECT_GT(unicodeShown, 0);
        EXPECT_GT(aLabelsShown, 0);
    }
}

TEST_F(KeyWordWindow, AnInvalidSiteIsToldAndNothingIsAsked)
{
    run("example.com", "seo");
    const QString before = text(E::Baidu);
    struct Case {
        const char* name;
        const char* site;
        const char* error;
    };
    const Case cases[] = {
        {"a blank inside", "exa mple.com", "域名无效：含有不允许的字符"},
        {"one label", "例子", "域名无效：至少需要两级，且各级不能为空"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_errors.clear();
        run(QString::fromUtf8(c.site), "seo");
        EXPECT_EQ(m_errors, QStringList({QString::fromUtf8(c.error)}));
        EXPECT_TRUE(m_server.requests().empty());
        EXPECT_EQ(text(E::Baidu), before) << "the last run's results stay";
        EXPECT_TRUE(w->btnCX->isEnabled());
    }
    m_errors.clear();
}

TEST_F(KeyWordWindow, StartUpAttachesItToTheMainWindowsToolButton)
{
    setSystemTrayAvailableOverride(true);
    {
        const AppWindows windows(m_folder);
        TfrmKeyWord* made = windows.frmKeyWord.get();
        ASSERT_NE(made, nullptr);
        EXPECT_FALSE(made->isVisible());
        EXPECT_EQ(made->txtUrl->count(), 2);
        ASSERT_TRUE(windows.frmMain->bsSkinSpeedButton6->isEnabled());
        QTest::mouseClick(windows.frmMain->bsSkinSpeedButton6, Qt::LeftButton);
        EXPECT_TRUE(made->isVisible());
    }
    setSystemTrayAvailableOverride(std::nullopt);
}

TEST_F(KeyWordWindow, PictureAfterARun)
{
    w->txtUrl->setEditText("example.com");
    w->seEnd->setValue(5);
    checkOnly({E::Baidu, E::Google, E::Yahoo, E::Sogou, E::Youdao, E::Bing});
    run("example.com", "网站优化");
    EXPECT_EQ(text(E::Soso), QStringLiteral("未选择"));
    EXPECT_TRUE(w->grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/KeyWord.png")));
}


TEST_F(KeyWordWindow, AListedSitesScanIsKeptInItsKeywordHistory)
{
    checkOnly({E::Baidu, E::Sogou});
    run("example.com", "网站优化");
    run("example.org", "网站优化");
    const auto h = records::readKeywordHistory(m_folder, "example.com");
    ASSERT_EQ(h.records.size(), 1u);
    const auto& r = h.records[0];
    EXPECT_EQ(r.keyword, "网站优化");
    EXPECT_EQ(r.results[engineIndex(E::Google)].state, records::KeywordResult::State::NotSelected);
    const auto sogou = r.results[engineIndex(E::Sogou)];
    EXPECT_EQ(rankText(sogou.position), text(E::Sogou)) << "the record holds what the window showed";
    EXPECT_FALSE(std::filesystem::exists(records::keywordHistoryPath(m_folder, "example.org")))
        << "a site that is not listed keeps no history";
}

TEST_F(KeyWordWindow, TheTrackBoxTracksTheKeywordOfAListedSite)
{
    auto tracked = [this] { return records::loadTrackedKeywords(m_folder); };
    w->txtUrl->setEditText("example.com");
    w->txtKeyword->setText("seo");
    settleTrack();
    ASSERT_TRUE(w->cbTrack->isEnabled());
    EXPECT_FALSE(w->cbTrack->isChecked());
    QTest::mouseClick(w->cbTrack, Qt::LeftButton, {}, QPoint(8, 10));
    settleTrack();
    EXPECT_EQ(tracked(), (std::vector<records::TrackedKeyword>{{"example.com", "seo"}}));

    w->txtKeyword->setText("other");
    settleTrack();
    EXPECT_FALSE(w->cbTrack->isChecked());
    w->txtKeyword->setText("seo");
    settleTrack();
    EXPECT_TRUE(w->cbTrack->isChecked()) << "the box shows what the file holds";

    struct Case {
        const char* name;
        const char* site;
        const char* keyword;
    };
    const Case untrackable[] = {{"site not listed", "example.org", "seo"}, {"no keyword", "example.com", ""}};
    for (const Case& c : untrackable) {
        SCOPED_TRACE(c.name);
        w->txtUrl->setEditText(c.site);
        w->txtKeyword->setText(c.keyword);
        settleTrack();
        EXPECT_FALSE(w->cbTrack->isEnabled());
    }

    w->txtUrl->setEditText("example.com");
    w->txtKeyword->setText("seo");
    settleTrack();
    QTest::mouseClick(w->cbTrack, Qt::LeftButton, {}, QPoint(8, 10));
    settleTrack();
    EXPECT_TRUE(tracked().empty());
    EXPECT_FALSE(w->cbTrack->isChecked());
}

} // namespace
