#include "cli/FailureLines.h"

#include "cli/TerminalText.h"
#include "core/queries/SearchEngine.h"

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

void addLine(std::string& out, std::string_view label, std::string_view figure, const std::string& why)
{
    if (why.empty())
        return;
    out.append(label).append("\t").append(figure).append("\t").append(oneLine(why)).append("\n");
}

} // namespace

std::string failureLines(const queries::OverviewDisplay& display)
{
    std::string out;
    for (const SearchEngine e : kSearchEngines) {
        addLine(out, engineLabel(e), "收录情况", display.cellFailure(1, engineRow(e)));
        addLine(out, engineLabel(e), "反向链接", display.cellFailure(2, engineRow(e)));
    }
    addLine(out, "PageRank", "", display.pageRankFailure);
    addLine(out, "SogouRank", "", display.sogouRatingFailure);
    addLine(out, "AlexaRank", "", display.alexaRankFailure);
    addLine(out, "ChinaRank", "", display.chinaRankFailure);
    return out;
}

} // namespace kaldrani::cli
