#include "ByteFiles.h"
#include "CsvReader.h"
#include "Controls.h"
#include "core/records/DataFolder.h"
#include "core/records/KeywordHistory.h"
#include "core/text/Encoding.h"
#include "gui/ErrorBox.h"
#include "gui/HistoryWindow.h"
#include "gui/HistoryTrendAccess.h"
#include "gui/SaveFileChooser.h"
#include "gui/TrendWindow.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QComboBox>
#include <QRadioButton>
#include <QScatterSeries>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace kaldrani::gui;

namespace fs = std::filesystem;
using kaldrani::records::DataFolder;
using kaldrani::testing::readBytes;
using kaldrani::testing::writeBytes;

namespace {

qreal localMsecs(int y, int mo, int d, int h, int mi, int s)
{
    return static_cast<qreal>(QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toMSecsSinceEpoch());
}

QList<QPointF> pointsOf(const QLineSeries* series)
{
    return series->points();
}

// Three runs, oldest first, as the history file holds them (GBK, CR LF): numbers, failure
// texts, a Sogou "约", leftover markup and a ChinaRank note.
const char* const kHistory =
    "800/40,870/11,0/0,96/3,150/0,39/0,300/8,4,20,640,12,2010-1-6 7:36:31\r\n"
    "830/45,12</b>x/13,0/0,约1000/3,156/0,40/0,311/8,4,23,12345,子网站不参与排名,2010-1-7\r\n"
    "0/0,880/12,0/0,97/3,156/0,40/0,311/8,5,30,查询失败,0,2010-1-8 9:00:00\r\n";

class TrendWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        fs::create_directories(m_folder.historyFolder());
        writeBytes(m_folder.siteListPath(), "a.com\r\nnew.com\r\n");
        writeBytes(m_folder.historyPath("a.com"), kaldrani::text::utf8ToGbk(kHistory));
        setApplicationErrorSink([this](const QString& message) { m_errors << message; });
    }
    void TearDown() override
    {
        setApplicationErrorSink({});
        setSaveFileChooser({});
    }

    std::unique_ptr<HistoryWindow> openHistory()
    {
        auto w = std::make_unique<HistoryWindow>(m_folder);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }

    QPoint siteAt(HistoryWindow& w, const QString& site)
    {
        const auto found = control<QListWidget>(w, "siteList")->findItems(site, Qt::MatchExactly);
        EXPECT_FALSE(found.isEmpty());
        return control<QListWidget>(w, "siteList")->visualItemRect(found.front()).center();
    }

    // The site menu that a right-click at pos on widget pops up.
    static QMenu* contextMenuAt(QWidget* widget, const QPoint& pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    static QAction* actionNamed(QMenu* menu, const QString& text)
    {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    QTemporaryDir m_dir;
    DataFolder m_folder{m_dir.path().toStdString()};
    QStringList m_errors;
};

TEST_F(TrendWindowTest, DrawsTheNumbersAndCountsWhatIsNoNumber)
{
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" 趋势图 - a.com"));

    const qreal first = localMsecs(2010, 1, 6, 7, 36, 31);
    const qreal second = localMsecs(2010, 1, 7, 0, 0, 0);
    const qreal third = localMsecs(2010, 1, 8, 9, 0, 0);
    EXPECT_EQ(pointsOf(w.countSeries(kaldrani::SearchEngine::Baidu)), (QList<QPointF>{{first, 800}, {second, 830}, {third, 0}}));
    EXPECT_EQ(pointsOf(w.countSeries(kaldrani::SearchEngine::Google)), (QList<QPointF>{{first, 870}, {third, 880}}));
    EXPECT_EQ(pointsOf(w.countSeries(kaldrani::SearchEngine::Sogou)), (QList<QPointF>{{first, 96}, {third, 97}}));
    EXPECT_EQ(control<QChartView>(w, "countsChart")->chart()->title(), QStringLiteral("收录情况（2 个值不是数字，未画出）"));

    EXPECT_EQ(pointsOf(w.alexaRankSeries()), (QList<QPointF>{{first, 640}, {second, 12345}}));
    EXPECT_EQ(pointsOf(w.chinaRankSeries()), (QList<QPointF>{{first, 12}}));
    EXPECT_EQ(pointsOf(w.pageRankSeries()), (QList<QPointF>{{first, 4}, {second, 4}, {third, 5}}));
    EXPECT_EQ(pointsOf(w.sogouRatingSeries()), (QList<QPointF>{{first, 20}, {second, 23}, {third, 30}}));
    EXPECT_EQ(control<QChartView>(w, "ranksChart")->chart()->title(), QStringLiteral("PageRank、搜狗评级与排名（3 个值不是数字，未画出）"));
    // A better rank is drawn higher.
    const auto rankAxes = control<QChartView>(w, "ranksChart")->chart()->axes(Qt::Vertical, w.alexaRankSeries());
    ASSERT_EQ(rankAxes.size(), 1);
    EXPECT_TRUE(rankAxes.front()->isReverse());
    const auto* rankAxis = static_cast<QValueAxis*>(rankAxes.front());
    EXPECT_LE(rankAxis->min(), 12);
    EXPECT_GE(rankAxis->max(), 12345);

    QTest::mouseClick(control<QRadioButton>(w, "backlinksButton"), Qt::LeftButton);
    EXPECT_TRUE(control<QRadioButton>(w, "backlinksButton")->isChecked());
    EXPECT_EQ(pointsOf(w.countSeries(kaldrani::SearchEngine::Google)), (QList<QPointF>{{first, 11}, {second, 13}, {third, 12}}));
    EXPECT_EQ(control<QChartView>(w, "countsChart")->chart()->title(), QStringLiteral("反向链接"));
    QTest::mouseClick(control<QRadioButton>(w, "indexedButton"), Qt::LeftButton);
    EXPECT_EQ(pointsOf(w.countSeries(kaldrani::SearchEngine::Google)), (QList<QPointF>{{first, 870}, {third, 880}}));

    // A site never queried: empty charts, no failure shown.
    w.showSite(QStringLiteral("new.com"));
    EXPECT_EQ(w.countSeries(kaldrani::SearchEngine::Baidu)->count(), 0);
    EXPECT_EQ(control<QChartView>(w, "countsChart")->chart()->title(), QStringLiteral("暂无记录"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(TrendWindowTest, ReachedFromTheHistoryWindow)
{
    const auto history = openHistory();
    EXPECT_FALSE(control<QListWidget>(history, "siteList")->toolTip().isEmpty());
    EXPECT_FALSE(control<QTableView>(history, "historyGrid")->toolTip().isEmpty());
    EXPECT_EQ(trendWindowOf(history.get()), nullptr);
    EXPECT_EQ(contextMenuAt(control<QTableView>(history, "historyGrid")->viewport(), QPoint(20, 30)), nullptr) << "no site shown yet";

    // The double-click's own first press, which QTest leaves out.
    QTest::mouseClick(control<QListWidget>(history, "siteList")->viewport(), Qt::LeftButton, {}, siteAt(*history, QStringLiteral("a.com")));
    QTest::mouseDClick(control<QListWidget>(history, "siteList")->viewport(), Qt::LeftButton, {}, siteAt(*history, QStringLiteral("a.com")));
    auto* trend = qobject_cast<kaldrani::gui::TrendWindow*>(trendWindowOf(history.get()));
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->isVisible());
    EXPECT_EQ(trend->site(), QStringLiteral("a.com"));
    EXPECT_EQ(trend->countSeries(kaldrani::SearchEngine::Baidu)->count(), 3);
    trend->hide();

    // The list's menu acts on the site under the pointer.
    QMenu* menu = contextMenuAt(control<QListWidget>(history, "siteList")->viewport(), siteAt(*history, QStringLiteral("new.com")));
    ASSERT_NE(menu, nullptr);
    QAction* chart = actionNamed(menu, QStringLiteral("查看趋势图"));
    ASSERT_NE(chart, nullptr);
    ASSERT_NE(actionNamed(menu, QStringLiteral("导出 CSV…")), nullptr);
    chart->trigger();
    menu->close();
    EXPECT_EQ(trendWindowOf(history.get()), trend) << "one chart window, reused";
    EXPECT_TRUE(trend->isVisible());
    EXPECT_EQ(trend->site(), QStringLiteral("new.com"));

    // The grid's menu acts on the site it shows.
    QTest::mouseClick(control<QListWidget>(history, "siteList")->viewport(), Qt::LeftButton, {}, siteAt(*history, QStringLiteral("a.com")));
    menu = contextMenuAt(control<QTableView>(history, "historyGrid")->viewport(), QPoint(20, 30));
    ASSERT_NE(menu, nullptr);
    actionNamed(menu, QStringLiteral("查看趋势图"))->trigger();
    menu->close();
    EXPECT_EQ(trend->site(), QStringLiteral("a.com"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(TrendWindowTest, ExportsCsvWithAByteOrderMark)
{
    const fs::path target = fs::path(m_dir.path().toStdString()) / "导出.csv";
    QString suggested;
    setSaveFileChooser([&](const QString& s) {
        suggested = s;
        return QString::fromStdString(target.string());
    });
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    QTest::mouseClick(control<QPushButton>(w, "exportCsvButton"), Qt::LeftButton);
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("/a.com.csv"))) << suggested.toStdString();

    const std::string bytes = readBytes(target);
    ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF")) << bytes.substr(0, 10);
    const auto rows = kaldrani::testing::readCsv(std::string_view(bytes).substr(3));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ(rows->at(1).front(), "2010-01-08T09:00:00");
    EXPECT_EQ(rows->at(1).at(17), "查询失败");
    EXPECT_EQ(rows->at(2).at(3), "12</b>x");
    EXPECT_EQ(rows->at(2).at(18), "子网站不参与排名");

    // Cancelled: nothing written. A folder that does not exist: the error box, the old file whole.
    setSaveFileChooser([](const QString&) { return QString(); });
    QTest::mouseClick(control<QPushButton>(w, "exportCsvButton"), Qt::LeftButton);
    EXPECT_TRUE(m_errors.isEmpty());
    const fs::path nowhere = target.parent_path() / "missing" / "x.csv";
    setSaveFileChooser([&](const QString&) { return QString::fromStdString(nowhere.string()); });
    QTest::mouseClick(control<QPushButton>(w, "exportCsvButton"), Qt::LeftButton);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().startsWith(QStringLiteral("Cannot create file"))) << m_errors.front().toStdString();
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_EQ(readBytes(target), bytes);
}

TEST_F(TrendWindowTest, ExportedPageTextNeverReachesASpreadsheetAsAFormula)
{
    // What a count page saying 找到相关网页=HYPERLINK(...)篇 leaves in a history.
    const std::string record = "=HYPERLINK(\"evil.test\")/@SUM(A1),-1/0,0/0,0/0,0/0,0/0,0/0,0,0,+cmd|' /C calc'!A0,-,"
                               "2010-1-6\r\n";
    writeBytes(m_folder.historyPath("evil.com"), record);
    const fs::path target = fs::path(m_dir.path().toStdString()) / "evil.csv";
    setSaveFileChooser([&](const QString&) { return QString::fromStdString(target.string()); });
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("evil.com"));
    QTest::mouseClick(control<QPushButton>(w, "exportCsvButton"), Qt::LeftButton);

    const std::string bytes = readBytes(target);
    const auto rows = kaldrani::testing::readCsv(std::string_view(bytes).substr(3));
    ASSERT_TRUE(rows && rows->size() == 2u) << bytes;
    EXPECT_EQ(rows->at(1).at(1), "'=HYPERLINK(\"evil.test\")");
    EXPECT_EQ(rows->at(1).at(2), "'@SUM(A1)");
    EXPECT_EQ(rows->at(1).at(3), "-1");
    EXPECT_EQ(rows->at(1).at(17), "'+cmd|' /C calc'!A0");
    EXPECT_EQ(rows->at(1).at(18), "-");
    EXPECT_EQ(readBytes(m_folder.historyPath("evil.com")), record) << "the record keeps its bytes";
}

TEST_F(TrendWindowTest, ExportsFromTheHistoryWindowsMenu)
{
    const fs::path target = fs::path(m_dir.path().toStdString()) / "new.csv";
    setSaveFileChooser([&](const QString&) { return QString::fromStdString(target.string()); });
    const auto history = openHistory();
    QMenu* menu = contextMenuAt(control<QListWidget>(history, "siteList")->viewport(), siteAt(*history, QStringLiteral("new.com")));
    ASSERT_NE(menu, nullptr);
    actionNamed(menu, QStringLiteral("导出 CSV…"))->trigger();
    menu->close();
    const std::string bytes = readBytes(target);
    ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));
    const auto rows = kaldrani::testing::readCsv(std::string_view(bytes).substr(3));
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 1u) << "a site never queried gives the header alone";
    EXPECT_EQ(trendWindowOf(history.get()), nullptr);
}

TEST_F(TrendWindowTest, Picture)
{
    // Two months of daily runs with the odd failure, as a user's history looks.
    std::string history;
    QDateTime when(QDate(2010, 1, 1), QTime(9, 30, 0));
    for (int n = 0; n < 60; ++n, when = when.addDays(1)) {
        std::string line;
        for (int engine = 0; engine < 7; ++engine) {
            const int indexed = (n % 17 == 5 && engine == 0) ? 0 : 800 + engine * 150 + n * (engine + 2) + (n * 37 % 23);
            line += std::to_string(indexed) + "/" + std::to_string(40 + engine * 9 + n / 3) + ",";
        }
        line += std::to_string(3 + n / 20) + "," + std::to_string(20 + n / 4) + ",";
        line += (n % 13 == 7 ? std::string("查询失败") : std::to_string(90000 - n * 700)) + ",";
        line += std::to_string(5200 - n * 30) + ",";
        line += when.toString(QStringLiteral("yyyy-M-d H:mm:ss")).toStdString() + "\r\n";
        history += line;
    }
    writeBytes(m_folder.historyPath("a.com"), kaldrani::text::utf8ToGbk(history));
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(w.grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/Trend.png")));
    QTest::mouseClick(control<QRadioButton>(w, "backlinksButton"), Qt::LeftButton);
    EXPECT_TRUE(w.grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/Trend-backlinks.png")));
}


// A keyword scan record of a.com at day `day` of January 2010: Baidu and Google as given
// (a position, or 0 for not found, or -1 for a failure), the other engines not asked.
kaldrani::records::KeywordRecord keywordScan(const std::string& keyword, int day, int baidu, int google)
{
    using R = kaldrani::records::KeywordResult;
    const auto result = [](int v) {
        return v > 0 ? R{R::State::Position, v, {}} : v == 0 ? R{R::State::NotFound, 0, {}} : R{R::State::Failed, 0, "Read timed out."};
    };
    kaldrani::records::KeywordRecord r;
    r.time = "2010-01-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "T09:30:00+08:00";
    r.keyword = keyword;
    r.lastPage = 5;
    r.results.fill(R{R::State::NotSelected, 0, {}});
    r.results[0] = result(baidu);
    r.results[1] = result(google);
    return r;
}

TEST_F(TrendWindowTest, KeywordPositionsRunApartFromMissesAndFailures)
{
    kaldrani::records::appendKeywordRecords(m_folder, "a.com",
                                            {keywordScan("seo", 1, 5, 12), keywordScan("seo", 2, 0, -1),
                                             keywordScan("其他", 2, 40, 0), keywordScan("seo", 3, 3, 9)});
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    ASSERT_EQ(control<QComboBox>(w, "keywordBox")->count(), 2);
    EXPECT_EQ(control<QComboBox>(w, "keywordBox")->currentText(), QStringLiteral("seo"));
    EXPECT_EQ(control<QComboBox>(w, "keywordBox")->itemText(1), QStringLiteral("其他"));

    const auto runs = [&](kaldrani::SearchEngine e) {
        std::vector<std::vector<qreal>> out;
        for (const QLineSeries* s : w.keywordSeries(e)) {
            out.emplace_back();
            for (const QPointF& p : s->points())
                out.back().push_back(p.y());
        }
        return out;
    };
    using E = kaldrani::SearchEngine;
    // A miss breaks the curve: no line joins 5 and 3 across the day nothing was found.
    EXPECT_EQ(runs(E::Baidu), (std::vector<std::vector<qreal>>{{5}, {3}}));
    EXPECT_EQ(runs(E::Google), (std::vector<std::vector<qreal>>{{12}, {9}}));
    EXPECT_TRUE(runs(E::Bing).empty());
    const QPointF day2(static_cast<qreal>(QDateTime(QDate(2010, 1, 2), QTime(9, 30), QTimeZone(8 * 3600)).toMSecsSinceEpoch()), 0);
    ASSERT_EQ(w.notFoundSeries()->count(), 1);
    EXPECT_EQ(w.notFoundSeries()->at(0), day2) << "Baidu found nothing on day 2";
    ASSERT_EQ(w.failedSeries()->count(), 1);
    EXPECT_EQ(w.failedSeries()->at(0).y(), 1) << "Google failed on day 2";

    control<QComboBox>(w, "keywordBox")->setCurrentIndex(1);
    EXPECT_EQ(runs(E::Baidu), (std::vector<std::vector<qreal>>{{40}}));
    EXPECT_EQ(w.notFoundSeries()->count(), 1);
    EXPECT_EQ(w.failedSeries()->count(), 0);
    EXPECT_TRUE(control<QChartView>(w, "keywordChart")->chart()->title().contains(QStringLiteral("其他")));
}

TEST_F(TrendWindowTest, ExportsTheChosenKeywordAsCsv)
{
    kaldrani::records::appendKeywordRecords(m_folder, "a.com",
                                            {keywordScan("seo", 1, 5, -1), keywordScan("-x", 2, 0, 7)});
    const fs::path target = fs::path(m_dir.path().toStdString()) / "kw.csv";
    QString suggested;
    setSaveFileChooser([&](const QString& s) {
        suggested = s;
        return QString::fromStdString(target.string());
    });
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    QTest::mouseClick(control<QPushButton>(w, "exportKeywordCsvButton"), Qt::LeftButton);
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("a.com-seo.csv"))) << suggested.toStdString();
    std::string bytes = readBytes(target);
    ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));
    auto rows = kaldrani::testing::readCsv(std::string_view(bytes).substr(3));
    ASSERT_TRUE(rows && rows->size() == 2u) << bytes;
    EXPECT_EQ(rows->at(0).at(3), "百度");
    EXPECT_EQ(rows->at(1), (std::vector<std::string>{"2010-01-01T09:30:00+08:00", "seo", "1-5", "5",
                                                     "查询失败：Read timed out.", "未选择", "未选择", "未选择",
                                                     "未选择", "未选择"}));

    control<QComboBox>(w, "keywordBox")->setCurrentIndex(1);
    QTest::mouseClick(control<QPushButton>(w, "exportKeywordCsvButton"), Qt::LeftButton);
    bytes = readBytes(target);
    rows = kaldrani::testing::readCsv(std::string_view(bytes).substr(3));
    ASSERT_TRUE(rows && rows->size() == 2u) << bytes;
    EXPECT_EQ(rows->at(1).at(1), "'-x") << "a keyword is page text to a spreadsheet too";
    EXPECT_EQ(rows->at(1).at(3), "未找到");
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(TrendWindowTest, KeywordPicture)
{
    // A month of daily scans of two keywords, as `track` leaves them.
    std::vector<kaldrani::records::KeywordRecord> scans;
    for (int day = 1; day <= 28; ++day) {
        auto r = keywordScan("网站优化", day, day % 9 == 4 ? 0 : 20 - day / 2, day == 17 ? -1 : 8 + day % 5);
        using R = kaldrani::records::KeywordResult;
        r.results[6] = R{R::State::Position, 30 - day, {}};
        scans.push_back(r);
        scans.push_back(keywordScan("A++ 教程", day, 3, 4));
    }
    kaldrani::records::appendKeywordRecords(m_folder, "a.com", scans);
    kaldrani::gui::TrendWindow w(m_folder);
    w.showSite(QStringLiteral("a.com"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(w.grab().save(QStringLiteral(KALDRANI_PICTURE_DIR "/KeywordTrend.png")));
}

} // namespace
