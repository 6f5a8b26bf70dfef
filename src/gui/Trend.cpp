#include "gui/Trend.h"

#include "core/model/SearchEngine.h"
#include "core/records/History.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Placement.h"
#include "gui/HistoryCsvExport.h"

#include <QButtonGroup>
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

constexpr int clientWidth = 780;
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
constexpr QRgb engineColours[] = {0x3366cc, 0xdc3912, 0x990099, 0xff9900, 0x109618, 0x0099c6, 0x8c564b};

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

TfrmTrend::TfrmTrend(const kaldrani::records::DataFolder& folder, QWidget* parent)
    : ToolWindow(parent, kaldrani::gui::TitleBar::Plain, QStringLiteral(" 趋势图"), {clientWidth, clientHeight})
    , m_folder(folder)
{

    rbIndexed = new QRadioButton(QStringLiteral("收录情况"), this);
    rbIndexed->setObjectName(QStringLiteral("rbIndexed"));
    rbIndexed->setGeometry(12, 8, 90, 22);
    rbIndexed->setChecked(true);
    rbBacklinks = new QRadioButton(QStringLiteral("反向链接"), this);
    rbBacklinks->setObjectName(QStringLiteral("rbBacklinks"));
    rbBacklinks->setGeometry(108, 8, 90, 22);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(rbIndexed);
    kinds->addButton(rbBacklinks);
    connect(rbIndexed, &QRadioButton::toggled, this, [this](bool) { runHandler([this] { showCounts(); }, this); });

    btnExportCsv = new QPushButton(QStringLiteral("导出 CSV…"), this);
    btnExportCsv->setObjectName(QStringLiteral("btnExportCsv"));
    btnExportCsv->setGeometry(clientWidth - 108, 6, 100, 25);
    connect(btnExportCsv, &QPushButton::clicked, this, [this] { runHandler([this] { btnExportCsvClick(); }, this); });

    chartCounts = newChartView(this, QRect(8, 36, clientWidth - 16, 300));
    chartCounts->setObjectName(QStringLiteral("chartCounts"));
    QChart* counts = chartCounts->chart();
    m_countsTime = new QDateTimeAxis(counts);
    m_countsValue = new QValueAxis(counts);
    m_countsValue->setLabelFormat(QStringLiteral("%.0f"));
    counts->addAxis(m_countsTime, Qt::AlignBottom);
    counts->addAxis(m_countsValue, Qt::AlignLeft);
    for (size_t i = 0; i < countSeries.size(); ++i) {
        const auto engine = kaldrani::kSearchEngines[i];
        countSeries[i] = newSeries(counts,
                                   QString::fromUtf8(kaldrani::engineLabel(engine).data(),
                                                     static_cast<qsizetype>(kaldrani::engineLabel(engine).size())),
                                   engineColours[i]);
        countSeries[i]->attachAxis(m_countsTime);
        countSeries[i]->attachAxis(m_countsValue);
    }

    chartRanks = newChartView(this, QRect(8, 342, clientWidth - 16, clientHeight - 350));
    chartRanks->setObjectName(QStringLiteral("chartRanks"));
    QChart* ranks = chartRanks->chart();
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
    pageRankSeries = newSeries(ranks, QStringLiteral("PageRank"), engineColours[4]);
    sogouRatingSeries = newSeries(ranks, QStringLiteral("搜狗评级"), engineColours[3]);
    alexaRankSeries = newSeries(ranks, QStringLiteral("Alexa 排名"), engineColours[0]);
    chinaRankSeries = newSeries(ranks, QStringLiteral("ChinaRank"), engineColours[1]);
    pageRankSeries->attachAxis(m_ranksTime);
    pageRankSeries->attachAxis(m_pageRankValue);
    sogouRatingSeries->attachAxis(m_ranksTime);
    sogouRatingSeries->attachAxis(m_ratingValue);
    for (QLineSeries* s : {alexaRankSeries, chinaRankSeries}) {
        s->attachAxis(m_ranksTime);
        s->attachAxis(m_rankValue);
    }
}

void TfrmTrend::showSite(const QString& site)
{
    std::vector<std::vector<std::string>> records;
    try {
        records = kaldrani::records::ReadHistory(m_folder, site.toStdString());
    } catch (const kaldrani::records::FileError&) {
        // A site never queried has no file yet: its chart is simply empty.
    }
    showRecords(site, std::move(records));
}

void TfrmTrend::showRecords(const QString& site, std::vector<std::vector<std::string>> records)
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

void TfrmTrend::showCounts()
{
    const bool indexed = rbIndexed->isChecked();
    const auto& series = indexed ? m_trend.indexed : m_trend.backlinks;
    for (size_t i = 0; i < countSeries.size(); ++i)
        fill(countSeries[i], series[i]);
    const QString title = m_records.empty() ? QStringLiteral("暂无记录")
                                            : withSkipped(indexed ? QStringLiteral("收录情况") : QStringLiteral("反向链接"),
                                                          indexed ? m_trend.skippedIndexed : m_trend.skippedBacklinks);
    chartCounts->chart()->setTitle(title);

    const auto& s = countSeries;
    setTimeRange(m_countsTime, timeSpan({s[0], s[1], s[2], s[3], s[4], s[5], s[6]}));
    const auto values = valueSpan({s[0], s[1], s[2], s[3], s[4], s[5], s[6]});
    m_countsValue->setRange(0, std::max<qreal>(values.second, 1));
    m_countsValue->applyNiceNumbers();
}

void TfrmTrend::showRanks()
{
    fill(pageRankSeries, m_trend.pageRank);
    fill(sogouRatingSeries, m_trend.sogouRating);
    fill(alexaRankSeries, m_trend.alexaRank);
    fill(chinaRankSeries, m_trend.chinaRank);
    chartRanks->chart()->setTitle(withSkipped(QStringLiteral("PageRank、搜狗评级与排名"), m_trend.skippedRanks));

    setTimeRange(m_ranksTime, timeSpan({pageRankSeries, sogouRatingSeries, alexaRankSeries, chinaRankSeries}));
    // PageRank runs 0..10 but is not limited above.
    m_pageRankValue->setRange(0, std::max<qreal>(valueSpan({pageRankSeries}).second, 10));
    const auto ranks = valueSpan({alexaRankSeries, chinaRankSeries});
    const qreal best = std::max<qreal>(ranks.first, 1);
    m_rankValue->setRange(best, std::max<qreal>(ranks.second, best + 9));
    m_rankValue->applyNiceNumbers();
}

void TfrmTrend::btnExportCsvClick()
{
    exportHistoryCsv(this, m_site, m_records);
}

} // namespace kaldrani::gui
