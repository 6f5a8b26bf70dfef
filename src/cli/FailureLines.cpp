#include "cli/FailureLines.h"

#include "cli/TerminalText.h"
#include "core/model/SearchEngine.h"
#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ServiceNames.h"

namespace kaldrani::cli {

namespace {

// A reason such as "Socket Error # 111\r\nConnection refused." on one line; a status line
// the server sent may hold terminal controls, shown escaped.
std::string oneLine(const std::string& why)
{
    std::string out;
    for (size_t i = 0; i < why.size(); ++i) {
        const char c = why[i];
        if (c == '\r' && i + 1 < why.size() && why[i + 1] == '\n')
            continue;
        out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    return terminalText(out, false);
}

} // namespace

std::string failureLine(std::string_view label, std::string_view figure, const std::string& why)
{
    if (why.empty())
        return {};
    std::string out;
    out.append(label).append("\t").append(figure).append("\t").append(oneLine(why)).append("\n");
    return out;
}

std::string trafficRankLabel()
{
    const std::string& label = profiles::activeService(profiles::kAlexaRank)->label;
    return label.empty() ? std::string("AlexaRank") : label + "Rank";
}

std::string reasonLine(const std::string& why)
{
    return why.empty() ? std::string() : oneLine(why) + "\n";
}

bool countsAsFailed(fetch::FailureKind failure, const std::string& why)
{
    return !why.empty() && (failure == fetch::FailureKind::Plain || failure == fetch::FailureKind::Blocked);
}

bool anyFailed(const queries::OverviewDisplay& display)
{
    bool failed = countsAsFailed(display.pageRankFailureKind, display.pageRankFailure)
                  || countsAsFailed(display.sogouRatingFailureKind, display.sogouRatingFailure)
                  || countsAsFailed(display.alexaRankFailureKind, display.alexaRankFailure)
                  || countsAsFailed(display.chinaRankFailureKind, display.chinaRankFailure);
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds)
            failed = failed || countsAsFailed(display.figure({e, k}).failure, display.figure({e, k}).why);
    return failed;
}

std::string failureLines(const queries::OverviewDisplay& display)
{
    std::string out;
    for (const SearchEngine e : kSearchEngines)
        for (const CountKind k : kCountKinds)
            out += failureLine(engineLabel(e), kCountKindLabels[kindIndex(k)], display.figure({e, k}).why);
    out += failureLine("PageRank", "", display.pageRankFailure);
    out += failureLine("SogouRank", "", display.sogouRatingFailure);
    out += failureLine(trafficRankLabel(), "", display.alexaRankFailure);
    out += failureLine("ChinaRank", "", display.chinaRankFailure);
    return out;
}

} // namespace kaldrani::cli
