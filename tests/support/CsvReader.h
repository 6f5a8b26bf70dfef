#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An RFC 4180 reader written apart from the writer under test, so the two cannot share a
// mistake: quoted fields with doubled quotes and line breaks, CR LF between records.
namespace kaldrani::testing {

// The rows of text, or nothing when it breaks the format (a stray quote, a quote left
// open, a bare LF or CR outside quotes, a row not ended by CR LF).
inline std::optional<std::vector<std::vector<std::string>>> readCsv(std::string_view text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                if (text[i] == '"')
                    return std::nullopt;
                field += text[i++];
            }
        }
        if (i < text.size() && text[i] == ',') {
            row.push_back(std::move(field));
            field.clear();
            ++i;
            continue;
        }
        if (text.substr(i, 2) != "\r\n")
            return std::nullopt;
        row.push_back(std::move(field));
        field.clear();
        rows.push_back(std::move(row));
        row.clear();
        i += 2;
    }
    return rows;
}

} // namespace kaldrani::testing
