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
class TfrmTrend : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden).
    explicit TfrmTrend(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // Reads the site's history (a site without one shows empty charts) and shows it.
    void showSite(const QString& site);
    // Shows records as ReadHistory returns them, under the site's name.
    void showRecords(const QString& site, std::vector<std::vector<std::string>> records);
    // Shows a keyword history (readKeywordHistory's) and the keyword chosen in cbKeyword.
    void showKeywordHistory(kaldrani::records::KeywordHistory history);

    const QString& site() const { return m_site; }

    QRadioButton* rbIndexed = nullptr;
    QRadioButton* rbBacklinks = nullptr;
    QPushButton* btnExportCsv = nullptr;
    QChartView* chartCounts = nullptr;
    QChartView* chartRanks = nullptr;
    kaldrani::PerEngine<QLineSeries*> countSeries{};
    QLineSeries* pageRankSeries = nullptr;
    QLineSeries* sogouRatingSeries = nullptr;
    QLineSeries* alexaRankSeries = nullptr;
    QLineSeries* chinaRankSeries = nullptr;

    QComboBox* cbKeyword = nullptr;
    QPushButton* btnExportKeywordCsv = nullptr;
    QChartView* chartKeyword = nullptr;
    QChartView* chartKeywordMisses = nullptr;
    // Each engine's runs of positions of the chosen keyword, one series a run.
    const std::vector<QLineSeries*>& keywordSeries(kaldrani::SearchEngine e) const
    {
        return m_keywordSeries[kaldrani::engineIndex(e)];
    }
    // The scans that did not find the site, and those that failed: x the time, y the
    // engine's place in engine order.
    QScatterSeries* notFoundSeries = nullptr;
    QScatterSeries* failedSeries = nullptr;

private:
    void showCounts();
    void showRanks();
    void btnExportCsvClick();
    void showKeyword();
    void btnExportKeywordCsvClick();
    void createKeywordCharts();

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
