#pragma once

#include "core/model/SearchEngine.h"
#include "core/queries/Figure.h"
#include "core/records/KeywordHistory.h"

#include <optional>
#include <string>
#include <vector>

namespace kaldrani::tracking {

// When a figure counts as changed.
struct Thresholds {
    double countPercent = 10; // indexed pages and backlinks, either way
    int positionMove = 3;     // a keyword position, either way
};

// One line of a run's summary: a figure that moved since the previous record, or a query
// of this run that failed (or both).
struct ChangeLine {
    enum class What {
        Indexed, Backlinks, Position, PageRank, SogouRank, AlexaRank, ChinaRank, Overview, History,
        // A site's health (track --health); keyword holds the days left of an expiry.
        DomainExpiry, CertificateExpiry, Certificate, Resolves
    };
    std::string site;
    What what = What::Indexed;
    std::string keyword; // for Position
    std::string engine;  // the engine's typed name; empty for a rank service
    std::string before;  // a number, "none", "off" or "fail"; empty when there is no earlier record
    std::string after;   // likewise
    std::string reason;  // why this run's query failed; empty when it did not
    bool moved = false;  // the figure changed since the previous record

    bool operator==(const ChangeLine&) const = default;
};

// "example.com: 百度 收录情况 1200 -> 1500 (+25%)" and the like, for a person.
std::string changeText(const ChangeLine& line);
// SITE TAB WHAT TAB KEYWORD TAB ENGINE TAB BEFORE TAB AFTER TAB REASON; WHAT one of indexed,
// backlinks, position, pagerank, sogourank, alexarank, chinarank, overview, history,
// domain-expiry, certificate-expiry, certificate, resolves; TABs and line breaks in a
// field become blanks.
std::string changeTsv(const ChangeLine& line);

// The line of one count between the site's previous record (its stored text; nothing when
// there is none) and this run's figure, or nothing. Moved: a change by more than the
// threshold, a positive count that now failed, a count that was no number and now is. A
// failed figure always gives a line. A stored failure is "0", so only a positive stored
// count is known to have been read.
std::optional<ChangeLine> countChange(const std::string& site, queries::FigureId id, const std::optional<std::string>& before,
                                      const queries::Figure& now, const Thresholds& thresholds);

// The lines of one keyword between its previous record and this one, in engine order.
// Moved: a position changed by the threshold or more, the site entered or left the pages
// scanned, an engine began or stopped failing. A failed engine always gives a line; an
// engine not asked in either record gives none.
std::vector<ChangeLine> keywordChanges(const std::string& site, const std::optional<records::KeywordRecord>& before,
                                       const records::KeywordRecord& now, const Thresholds& thresholds);

} // namespace kaldrani::tracking
