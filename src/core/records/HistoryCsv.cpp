#include "core/records/HistoryCsv.h"

#include "core/records/HistoryEntry.h"

namespace kaldrani::records {

namespace {

// An optional sign, digits, and a decimal point with digits: what a spreadsheet reads as a
// number and never as a formula.
bool isPlainNumber(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view("0") : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return digits(whole) && digits(fraction);
}

std::vector<std::string> headerRow(const PerEngine<std::string_view>& engineLabels)
{
    std::vector<std::string> row{"查询时间"};
    for (const std::string_view label : engineLabels) {
        row.push_back(std::string(label) + "收录");
        row.push_back(std::string(label) + "反链");
    }
    for (const char* name : {"PageRank", "SogouRank", "AlexaRank", "ChinaRank"})
        row.emplace_back(name);
    return row;
}

} // namespace

std::string csvField(std::string_view text)
{
    // [rfc4180] 2.6, 2.7: such a field is enclosed in quotes and a quote inside is doubled.
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string spreadsheetSafe(std::string_view text)
{
    if (text.empty() || std::string_view("=+-@\t\r").find(text.front()) == std::string_view::npos)
        return std::string(text);
    if (text == "-" || isPlainNumber(text))
        return std::string(text);
    // OWASP's advice for CSV meant for spreadsheets: the quote makes the cell plain text.
    return std::string(1, '\'').append(text);
}

std::string historyCsv(const std::vector<std::vector<std::string>>& records,
                       const PerEngine<std::string_view>& engineLabels)
{
    std::string out;
    appendCsvRow(out, headerRow(engineLabels));
    std::vector<std::string> row;
    for (const auto& record : records) {
        const auto entry = readHistoryEntry(record);
        if (!entry)
            continue;
        row.clear();
        row.push_back(isoQueryTime(entry->queryTime));
        for (size_t i = 0; i < entry->fields.indexed.size(); ++i) {
            row.push_back(entry->fields.indexed[i]);
            row.push_back(entry->fields.backlinks[i]);
        }
        row.push_back(entry->fields.pageRank);
        row.push_back(entry->fields.sogouRating);
        row.push_back(entry->fields.alexaRank);
        row.push_back(entry->fields.chinaRank);
        appendCsvRow(out, row);
    }
    return out;
}

void appendCsvRow(std::string& out, const std::vector<std::string>& fields)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        out += csvField(spreadsheetSafe(fields[i]));
    }
    out += "\r\n";
}

} // namespace kaldrani::records
