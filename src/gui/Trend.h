#pragma once

#include "core/records/DataFolder.h"
#include "core/records/HistoryTrend.h"

#include "gui/ToolWindow.h"

#include <array>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QValueAxis;

namespace kaldrani::gui {

// One site's history as curves: the seven engines' counts (indexed pages or backlinks, as
// switched) above, PageRank, Sogou rating, Alexa and ChinaRank below; and its CSV export.
class TfrmTrend : public ToolWindow {
    Q_OBJECT
public:
    // Creates the window (hidden).
    explicit TfrmTrend(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    // Reads the site's history (a site without one shows empty charts) and shows it.
    void showSite(const QString& site);
    // Shows records as ReadHistory returns them, under the site's name.
    void showRecords(const QString& site, std::vector<std::vector<std::string>> records);

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

private:
    void showCounts();
    void showRanks();
    void btnExportCsvClick();

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
};

} // namespace kaldrani::gui
