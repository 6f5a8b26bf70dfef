#include "core/records/HistoryCsv.h"

#include "core/records/HistoryEntry.h"

namespace kaldrani::records {

namespace {

// [rfc4180] 2. Definition of the CSV Format: fields separated by commas, records by CR LF.
void appendRow(std::string& out, const std::vector<std::string>& fields)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        out += csvField(fields[i]);
    }
    out += "\r\n";
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

std::string historyCsv(const std::vector<std::vector<std::string>>& records,
                       const PerEngine<std::string_view>& engineLabels)
{
    std::string out;
    appendRow(out, headerRow(engineLabels));
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
        appendRow(out, row);
    }
    return out;
}

} // namespace kaldrani::records
