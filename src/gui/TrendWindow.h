#pragma once

#include "core/records/DataFolder.h"
#include "core/records/HistoryTrend.h"
#include "core/records/KeywordHistory.h"
#include "core/records/KeywordTrend.h"

#include "gui/ToolWindow.h"

#include <array>
#include <string>
#include <vector>

class QCategoryAxis;
class QChart;
class QComboBox;
class QScatterSeries;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QValueAxis;

namespace kaldrani::gui {

// One site's history as curves: the seven engines' counts (indexed pages or backlinks, as
// switched) above, PageRank, Sogou rating, Alexa and ChinaRank below; and its CSV export.
// On the right, the positions of one of its keywords over time per engine, with the scans
// that found nothing or failed in a strip of their own; and that keyword's CSV export.
class TrendWindow : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden).
    explicit TrendWindow(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // Reads the site's history (a site without one shows empty charts) and shows it.
    void showSite(const QString& site);
    // Shows records as ReadHistory returns them, under the site's name.
    void showRecords(const QString& site, std::vector<std::vector<std::string>> records);
    // Shows a keyword history (readKeywordHistory's) and the keyword chosen in the keyword box.
    void showKeywordHistory(kaldrani::records::KeywordHistory history);

    const QString& site() const { return m_site; }

    // The curves as drawn; the charts own them.
    QLineSeries* countSeries(kaldrani::SearchEngine e) const { return m_countSeries[kaldrani::engineIndex(e)]; }
    QLineSeries* pageRankSeries() const { return m_pageRankSeries; }
    QLineSeries* sogouRatingSeries() const { return m_sogouRatingSeries; }
    QLineSeries* alexaRankSeries() const { return m_alexaRankSeries; }
    QLineSeries* chinaRankSeries() const { return m_chinaRankSeries; }
    // Each engine's runs of positions of the chosen keyword, one series a run.
    const std::vector<QLineSeries*>& keywordSeries(kaldrani::SearchEngine e) const
    {
        return m_keywordSeries[kaldrani::engineIndex(e)];
    }
    // The scans that did not find the site, and those that failed: x the time, y the
    // engine's place in engine order.
    QScatterSeries* notFoundSeries() const { return m_notFoundSeries; }
    QScatterSeries* failedSeries() const { return m_failedSeries; }

private:
    void showCounts();
    void showRanks();
    void onExportCsvClicked();
    void showKeyword();
    void onExportKeywordCsvClicked();
    void createKeywordCharts();

    QRadioButton* m_indexedButton = nullptr;
    QRadioButton* m_backlinksButton = nullptr;
    QPushButton* m_exportCsvButton = nullptr;
    QChartView* m_countsChart = nullptr;
    QChartView* m_ranksChart = nullptr;
    kaldrani::PerEngine<QLineSeries*> m_countSeries{};
    QLineSeries* m_pageRankSeries = nullptr;
    QLineSeries* m_sogouRatingSeries = nullptr;
    QLineSeries* m_alexaRankSeries = nullptr;
    QLineSeries* m_chinaRankSeries = nullptr;
    QComboBox* m_keywordBox = nullptr;
    QPushButton* m_exportKeywordCsvButton = nullptr;
    QChartView* m_keywordChart = nullptr;
    QChartView* m_keywordMissesChart = nullptr;
    QScatterSeries* m_notFoundSeries = nullptr;
    QScatterSeries* m_failedSeries = nullptr;

    kaldrani::records::DataFolder m_folder;
    QString m_site;
    std::vector<std::vector<std::string>> m_records;
    kaldrani::records::HistoryTrend m_trend;
    QDateTimeAxis* m_countsTime = nullptr;
    QValueAxis* m_countsValue = nullptr;
    QDateTimeAxis* m_ranksTime = nullptr;
    QValueAxis* m_pageRankValue = nullptr;
    QValueAxis* m_ratingValue = nullptr;
    QValueAxis* m_rankValue = nullptr;

    kaldrani::records::KeywordHistory m_keywordHistory;
    kaldrani::PerEngine<std::vector<QLineSeries*>> m_keywordSeries;
    QDateTimeAxis* m_keywordTime = nullptr;
    QValueAxis* m_positionValue = nullptr;
    QDateTimeAxis* m_missesTime = nullptr;
    QCategoryAxis* m_missesEngine = nullptr;
};

} // namespace kaldrani::gui
