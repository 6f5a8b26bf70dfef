#include "gui/TrendWindow.h"

#include "core/model/SearchEngine.h"
#include "core/records/History.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"
#include "gui/HistoryCsvExport.h"
#include "gui/SaveFileChooser.h"

#include "core/records/FileIo.h"
#include "core/records/HistoryCsv.h"

#include <QButtonGroup>
#include <QCategoryAxis>
#include <QComboBox>
#include <QLabel>
#include <QLegendMarker>
#include <QScatterSeries>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGuiApplication>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <limits>

namespace kaldrani::gui {

namespace {

// The overview's charts keep their width; the keyword's stand to their right.
constexpr int clientWidth = 780;
constexpr int keywordLeft = clientWidth;
constexpr int keywordWidth = 480;
constexpr int windowWidth = keywordLeft + keywordWidth;
constexpr int clientHeight = 620;
// Markers help a short history and clutter a long one.
constexpr qsizetype maxPointsWithMarkers = 31;
constexpr qint64 dayMsecs = 24 * 3600 * 1000;

using kaldrani::records::TrendPoint;

QList<QPointF> toPoints(const std::vector<TrendPoint>& points)
{
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& p : points)
        out.append(QPointF(static_cast<qreal>(p.msecs), p.value));
    return out;
}

// Seven curves need seven colours; the chart theme repeats its own after five.
constexpr PerEngine<QRgb> engineColours =
    perEngine<QRgb>(0x3366cc, 0xdc3912, 0x990099, 0xff9900, 0x109618, 0x0099c6, 0x8c564b);

QLineSeries* newSeries(QChart* chart, const QString& name, QRgb colour)
{
    auto* series = new QLineSeries(chart);
    series->setName(name);
    series->setPen(QPen(QColor(colour), 2));
    chart->addSeries(series);
    QObject::connect(series, &QLineSeries::hovered, series, [series](const QPointF& point, bool state) {
        if (!state) {
            QToolTip::hideText();
            return;
        }
        const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x())).toString(QStringLiteral("yyyy-M-d H:mm:ss"));
        QToolTip::showText(QCursor::pos(), series->name() + QStringLiteral("\n") + when + QStringLiteral("：")
                                               + QString::number(point.y(), 'f', 0));
    });
    return series;
}

void fill(QLineSeries* series, const std::vector<TrendPoint>& points)
{
    series->replace(toPoints(points));
    series->setPointsVisible(series->count() <= maxPointsWithMarkers);
}

// The span of the series' times, widened by a day when it is one instant.
std::pair<qint64, qint64> timeSpan(std::initializer_list<const QLineSeries*> series)
{
    qint64 low = std::numeric_limits<qint64>::max();
    qint64 high = std::numeric_limits<qint64>::min();
    for (const auto* s : series) {
        if (s->count() == 0)
            continue;
        low = std::min(low, static_cast<qint64>(s->at(0).x()));
        high = std::max(high, static_cast<qint64>(s->at(s->count() - 1).x()));
    }
    if (low > high) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return {now - dayMsecs, now};
    }
    if (low == high)
        return {low - dayMsecs, high + dayMsecs};
    return {low, high};
}

std::pair<qreal, qreal> valueSpan(std::initializer_list<const QLineSeries*> series)
{
    qreal low = std::numeric_limits<qreal>::max();
    qreal high = std::numeric_limits<qreal>::lowest();
    for (const auto* s : series)
        for (const QPointF& p : s->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    if (low > high)
        return {0, 1};
    return {low, high};
}

void setTimeRange(QDateTimeAxis* axis, std::pair<qint64, qint64> span)
{
    axis->setRange(QDateTime::fromMSecsSinceEpoch(span.first), QDateTime::fromMSecsSinceEpoch(span.second));
    // Hours matter only when the history is short.
    axis->setFormat(span.second - span.first <= 3 * dayMsecs ? QStringLiteral("M-d H:mm") : QStringLiteral("yyyy-M-d"));
}

QString withSkipped(const QString& title, int skipped)
{
    if (skipped == 0)
        return title;
    return title + QStringLiteral("（%1 个值不是数字，未画出）").arg(skipped);
}

QChartView* newChartView(QWidget* parent, const QRect& geometry)
{
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setTitleFont(kaldrani::gui::tahoma(9, true));
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* view = new QChartView(chart, parent);
    view->setGeometry(geometry);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

} // namespace

TrendWindow::TrendWindow(const kaldrani::records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Plain, QStringLiteral(" 趋势图"), {windowWidth, clientHeight})
    , m_folder(folder)
{

    m_indexedButton = new QRadioButton(QStringLiteral("收录情况"), this);
    m_indexedButton->setObjectName(QStringLiteral("indexedButton"));
    m_indexedButton->setGeometry(12, 8, 90, 22);
    m_indexedButton->setChecked(true);
    m_backlinksButton = new QRadioButton(QStringLiteral("反向链接"), this);
    m_backlinksButton->setObjectName(QStringLiteral("backlinksButton"));
    m_backlinksButton->setGeometry(108, 8, 90, 22);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_indexedButton);
    kinds->addButton(m_backlinksButton);
    connect(m_indexedButton, &QRadioButton::toggled, this, [this](bool) { runHandler([this] { showCounts(); }, this); });

    m_exportCsvButton = new QPushButton(QStringLiteral("导出 CSV…"), this);
    m_exportCsvButton->setObjectName(QStringLiteral("exportCsvButton"));
    m_exportCsvButton->setGeometry(clientWidth - 108, 6, 100, 25);
    connect(m_exportCsvButton, &QPushButton::clicked, this, [this] { runHandler([this] { onExportCsvClicked(); }, this); });

    m_countsChart = newChartView(this, QRect(8, 36, clientWidth - 16, 300));
    m_countsChart->setObjectName(QStringLiteral("countsChart"));
    QChart* counts = m_countsChart->chart();
    m_countsTime = new QDateTimeAxis(counts);
    m_countsValue = new QValueAxis(counts);
    m_countsValue->setLabelFormat(QStringLiteral("%.0f"));
    counts->addAxis(m_countsTime, Qt::AlignBottom);
    counts->addAxis(m_countsValue, Qt::AlignLeft);
    for (size_t i = 0; i < m_countSeries.size(); ++i) {
        const auto engine = kaldrani::kSearchEngines[i];
        m_countSeries[i] = newSeries(counts,
                                   QString::fromUtf8(kaldrani::engineLabel(engine).data(),
                                                     static_cast<qsizetype>(kaldrani::engineLabel(engine).size())),
                                   engineColours[i]);
        m_countSeries[i]->attachAxis(m_countsTime);
        m_countSeries[i]->attachAxis(m_countsValue);
    }

    m_ranksChart = newChartView(this, QRect(8, 342, clientWidth - 16, clientHeight - 350));
    m_ranksChart->setObjectName(QStringLiteral("ranksChart"));
    QChart* ranks = m_ranksChart->chart();
    m_ranksTime = new QDateTimeAxis(ranks);
    m_pageRankValue = new QValueAxis(ranks);
    m_pageRankValue->setLabelFormat(QStringLiteral("%.0f"));
    m_pageRankValue->setTickCount(6);
    m_pageRankValue->setTitleText(QStringLiteral("PageRank"));
    m_ratingValue = new QValueAxis(ranks);
    m_ratingValue->setRange(0, 100);
    m_ratingValue->setLabelFormat(QStringLiteral("%.0f"));
    m_ratingValue->setTickCount(6);
    m_ratingValue->setTitleText(QStringLiteral("搜狗评级"));
    m_rankValue = new QValueAxis(ranks);
    m_rankValue->setLabelFormat(QStringLiteral("%.0f"));
    // A better rank is a smaller number; drawn higher, like every other figure.
    m_rankValue->setReverse(true);
    m_rankValue->setTitleText(QStringLiteral("排名（越靠上越好）"));
    ranks->addAxis(m_ranksTime, Qt::AlignBottom);
    ranks->addAxis(m_pageRankValue, Qt::AlignLeft);
    ranks->addAxis(m_ratingValue, Qt::AlignLeft);
    ranks->addAxis(m_rankValue, Qt::AlignRight);
    m_pageRankSeries = newSeries(ranks, QStringLiteral("PageRank"), engineColours[4]);
    m_sogouRatingSeries = newSeries(ranks, QStringLiteral("搜狗评级"), engineColours[3]);
    m_alexaRankSeries = newSeries(ranks, QStringLiteral("Alexa 排名"), engineColours[0]);
    m_chinaRankSeries = newSeries(ranks, QStringLiteral("ChinaRank"), engineColours[1]);
    m_pageRankSeries->attachAxis(m_ranksTime);
    m_pageRankSeries->attachAxis(m_pageRankValue);
    m_sogouRatingSeries->attachAxis(m_ranksTime);
    m_sogouRatingSeries->attachAxis(m_ratingValue);
    for (QLineSeries* s : {m_alexaRankSeries, m_chinaRankSeries}) {
        s->attachAxis(m_ranksTime);
        s->attachAxis(m_rankValue);
    }
    createKeywordCharts();
}

void TrendWindow::createKeywordCharts()
{
    auto* label = new QLabel(QStringLiteral("关键词："), this);
    label->move(keywordLeft + 8, 12);
    m_keywordBox = new QComboBox(this);
    m_keywordBox->setObjectName(QStringLiteral("keywordBox"));
    m_keywordBox->setGeometry(keywordLeft + 62, 7, 240, 24);
    connect(m_keywordBox, &QComboBox::currentIndexChanged, this, [this] { runHandler([this] { showKeyword(); }, this); });
    m_exportKeywordCsvButton = new QPushButton(QStringLiteral("导出关键词 CSV…"), this);
    m_exportKeywordCsvButton->setObjectName(QStringLiteral("exportKeywordCsvButton"));
    m_exportKeywordCsvButton->setGeometry(windowWidth - 138, 6, 130, 25);
    connect(m_exportKeywordCsvButton, &QPushButton::clicked, this,
            [this] { runHandler([this] { onExportKeywordCsvClicked(); }, this); });

    m_keywordChart = newChartView(this, QRect(keywordLeft, 36, keywordWidth - 8, 340));
    m_keywordChart->setObjectName(QStringLiteral("keywordChart"));
    QChart* positions = m_keywordChart->chart();
    positions->legend()->setAlignment(Qt::AlignBottom);
    m_keywordTime = new QDateTimeAxis(positions);
    m_positionValue = new QValueAxis(positions);
    m_positionValue->setLabelFormat(QStringLiteral("%.0f"));
    // Position 1 is the best place: at the top.
    m_positionValue->setReverse(true);
    m_positionValue->setTitleText(QStringLiteral("名次"));
    positions->addAxis(m_keywordTime, Qt::AlignBottom);
    positions->addAxis(m_positionValue, Qt::AlignLeft);

    m_keywordMissesChart = newChartView(this, QRect(keywordLeft, 382, keywordWidth - 8, clientHeight - 390));
    m_keywordMissesChart->setObjectName(QStringLiteral("keywordMissesChart"));
    QChart* misses = m_keywordMissesChart->chart();
    misses->setTitle(QStringLiteral("未找到与查询失败（不是名次）"));
    misses->legend()->setAlignment(Qt::AlignBottom);
    m_missesTime = new QDateTimeAxis(misses);
    m_missesEngine = new QCategoryAxis(misses);
    m_missesEngine->setStartValue(-0.5);
    m_missesEngine->setLabelsFont(kaldrani::gui::tahoma(8, false));
    // Seven rows are short: the labels would be cut to dots.
    m_missesEngine->setTruncateLabels(false);
    for (std::size_t i = 0; i < kaldrani::kEngineCount; ++i) {
        const auto label = kaldrani::engineLabel(kaldrani::kSearchEngines[i]);
        m_missesEngine->append(QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())),
                               static_cast<qreal>(i) + 0.5);
    }
    m_missesEngine->setRange(-0.5, static_cast<qreal>(kaldrani::kEngineCount) - 0.5);
    m_missesEngine->setReverse(true);
    misses->addAxis(m_missesTime, Qt::AlignBottom);
    misses->addAxis(m_missesEngine, Qt::AlignLeft);
    m_notFoundSeries = new QScatterSeries(misses);
    m_notFoundSeries->setName(QStringLiteral("页码范围内未找到"));
    m_notFoundSeries->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    m_notFoundSeries->setMarkerSize(8);
    m_notFoundSeries->setColor(QColor(0x888888));
    m_failedSeries = new QScatterSeries(misses);
    m_failedSeries->setName(QStringLiteral("查询失败"));
    m_failedSeries->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_failedSeries->setMarkerSize(8);
    m_failedSeries->setColor(QColor(0xcc0000));
    for (QScatterSeries* s : {m_notFoundSeries, m_failedSeries}) {
        misses->addSeries(s);
        s->attachAxis(m_missesTime);
        s->attachAxis(m_missesEngine);
    }
}

void TrendWindow::showSite(const QString& site)
{
    std::vector<std::vector<std::string>> records;
    try {
        records = kaldrani::records::ReadHistory(m_folder, site.toStdString());
    } catch (const kaldrani::records::FileError&) {
        // A site never queried has no file yet: its chart is simply empty.
    }
    showRecords(site, std::move(records));
    kaldrani::records::KeywordHistory keywords;
    try {
        keywords = kaldrani::records::readKeywordHistory(m_folder, site.toStdString());
    } catch (const kaldrani::records::FileError&) {
        // An unreadable keyword history shows as none; the overview's charts still stand.
    }
    showKeywordHistory(std::move(keywords));
}

void TrendWindow::showKeywordHistory(kaldrani::records::KeywordHistory history)
{
    m_keywordHistory = std::move(history);
    const QString chosen = m_keywordBox->currentText();
    const QSignalBlocker quiet(m_keywordBox);
    m_keywordBox->clear();
    for (const auto& k : kaldrani::records::keywordsOf(m_keywordHistory.records))
        m_keywordBox->addItem(QString::fromStdString(k));
    const int again = m_keywordBox->findText(chosen);
    m_keywordBox->setCurrentIndex(again >= 0 ? again : (m_keywordBox->count() > 0 ? 0 : -1));
    showKeyword();
}

void TrendWindow::showKeyword()
{
    QChart* chart = m_keywordChart->chart();
    for (auto& runs : m_keywordSeries) {
        for (QLineSeries* s : runs) {
            chart->removeSeries(s);
            delete s;
        }
        runs.clear();
    }
    const bool any = m_keywordBox->currentIndex() >= 0;
    const std::string keyword = m_keywordBox->currentText().toStdString();
    const auto trend = kaldrani::records::buildKeywordTrend(m_keywordHistory.records, keyword);

    QList<QPointF> notFound, failed;
    std::vector<const QLineSeries*> all;
    qreal worst = 10;
    for (std::size_t i = 0; i < kaldrani::kEngineCount; ++i) {
        const auto label = kaldrani::engineLabel(kaldrani::kSearchEngines[i]);
        const QString name = QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
        for (const auto& run : trend.positions[i]) {
            QLineSeries* s = newSeries(chart, name, engineColours[i]);
            s->attachAxis(m_keywordTime);
            s->attachAxis(m_positionValue);
            fill(s, run);
            s->setPointsVisible(true);
            // One legend entry per engine, however many runs it has.
            if (!m_keywordSeries[i].empty())
                for (QLegendMarker* marker : chart->legend()->markers(s))
                    marker->setVisible(false);
            m_keywordSeries[i].push_back(s);
            all.push_back(s);
            for (const auto& p : run)
                worst = std::max<qreal>(worst, p.value);
        }
        for (const auto msecs : trend.notFound[i])
            notFound.append(QPointF(static_cast<qreal>(msecs), static_cast<qreal>(i)));
        for (const auto msecs : trend.failed[i])
            failed.append(QPointF(static_cast<qreal>(msecs), static_cast<qreal>(i)));
    }
    m_notFoundSeries->replace(notFound);
    m_failedSeries->replace(failed);

    QString title = any ? QStringLiteral("“%1”的名次（第 1 名在最上）").arg(m_keywordBox->currentText())
                        : QStringLiteral("暂无关键词记录");
    if (m_keywordHistory.damagedLines > 0)
        title += QStringLiteral("（%1 行记录已损坏，已跳过）").arg(m_keywordHistory.damagedLines);
    chart->setTitle(title);
    m_positionValue->setRange(1, worst);

    // Both charts share one time span, so a miss stands under the curve it interrupts.
    qint64 low = std::numeric_limits<qint64>::max(), high = std::numeric_limits<qint64>::min();
    for (const QList<QPointF>* points : {&notFound, &failed})
        for (const QPointF& p : *points) {
            low = std::min(low, static_cast<qint64>(p.x()));
            high = std::max(high, static_cast<qint64>(p.x()));
        }
    for (const QLineSeries* s : all) {
        low = std::min(low, static_cast<qint64>(s->at(0).x()));
        high = std::max(high, static_cast<qint64>(s->at(s->count() - 1).x()));
    }
    std::pair<qint64, qint64> span;
    if (low > high) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        span = {now - dayMsecs, now};
    } else if (low == high) {
        span = {low - dayMsecs, high + dayMsecs};
    } else {
        span = {low, high};
    }
    setTimeRange(m_keywordTime, span);
    setTimeRange(m_missesTime, span);
    m_exportKeywordCsvButton->setEnabled(any);
}

void TrendWindow::onExportKeywordCsvClicked()
{
    if (m_keywordBox->currentIndex() < 0)
        return;
    const QString suggested = m_site + QStringLiteral("-") + m_keywordBox->currentText() + QStringLiteral(".csv");
    const QString file = chooseSaveFile(this, QStringLiteral("导出关键词 CSV"), suggested, QStringLiteral("CSV (*.csv)"));
    if (file.isEmpty())
        return;
    const std::string csv = kaldrani::records::keywordHistoryCsv(
        m_keywordHistory.records, m_keywordBox->currentText().toStdString(), kaldrani::kEngineLabels);
    try {
        kaldrani::records::fileio::replaceFile(file.toStdString(),
                                               std::string(kaldrani::records::kUtf8ByteOrderMark) + csv);
    } catch (const std::exception& e) {
        showApplicationError(QString::fromUtf8(e.what()), this);
    }
}

void TrendWindow::showRecords(const QString& site, std::vector<std::vector<std::string>> records)
{
    m_site = site;
    m_records = std::move(records);
    m_trend = kaldrani::records::buildHistoryTrend(m_records);
    setWindowTitle(QStringLiteral(" 趋势图 - ") + site);
    showCounts();
    showRanks();
    if (isHidden())
        kaldrani::gui::centreOver(this, nullptr);
    show();
    raise();
    activateWindow();
}

void TrendWindow::showCounts()
{
    const bool indexed = m_indexedButton->isChecked();
    const auto& series = indexed ? m_trend.indexed : m_trend.backlinks;
    for (size_t i = 0; i < m_countSeries.size(); ++i)
        fill(m_countSeries[i], series[i]);
    const QString title = m_records.empty() ? QStringLiteral("暂无记录")
                                            : withSkipped(indexed ? QStringLiteral("收录情况") : QStringLiteral("反向链接"),
                                                          indexed ? m_trend.skippedIndexed : m_trend.skippedBacklinks);
    m_countsChart->chart()->setTitle(title);

    const auto& s = m_countSeries;
    setTimeRange(m_countsTime, timeSpan({s[0], s[1], s[2], s[3], s[4], s[5], s[6]}));
    const auto values = valueSpan({s[0], s[1], s[2], s[3], s[4], s[5], s[6]});
    m_countsValue->setRange(0, std::max<qreal>(values.second, 1));
    m_countsValue->applyNiceNumbers();
}

void TrendWindow::showRanks()
{
    fill(m_pageRankSeries, m_trend.pageRank);
    fill(m_sogouRatingSeries, m_trend.sogouRating);
    fill(m_alexaRankSeries, m_trend.alexaRank);
    fill(m_chinaRankSeries, m_trend.chinaRank);
    m_ranksChart->chart()->setTitle(withSkipped(QStringLiteral("PageRank、搜狗评级与排名"), m_trend.skippedRanks));

    setTimeRange(m_ranksTime, timeSpan({m_pageRankSeries, m_sogouRatingSeries, m_alexaRankSeries, m_chinaRankSeries}));
    // PageRank runs 0..10 but is not limited above.
    m_pageRankValue->setRange(0, std::max<qreal>(valueSpan({m_pageRankSeries}).second, 10));
    const auto ranks = valueSpan({m_alexaRankSeries, m_chinaRankSeries});
    const qreal best = std::max<qreal>(ranks.first, 1);
    m_rankValue->setRange(best, std::max<qreal>(ranks.second, best + 9));
    m_rankValue->applyNiceNumbers();
}

void TrendWindow::onExportCsvClicked()
{
    exportHistoryCsv(this, m_site, m_records);
}

} // namespace kaldrani::gui
