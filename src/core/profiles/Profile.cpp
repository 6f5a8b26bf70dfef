#include "core/profiles/Profile.h"

#include "core/net/TRegExp.h"
#include "core/text/TextRemoval.h"

namespace kaldrani::profiles {

namespace {

// text with each {name} of inputs replaced, in one pass, so that an input holding
// "{page}" is never filled in itself. A {name} not given stays as it is.
void fillInto(std::string& out, std::string_view text,
              std::initializer_list<std::pair<std::string_view, std::string_view>> inputs)
{
    for (std::size_t i = 0; i < text.size();) {
        bool filled = false;
        if (text[i] == '{') {
            for (const auto& [name, value] : inputs) {
                if (text.compare(i + 1, name.size(), name) == 0 && i + 1 + name.size() < text.size()
                    && text[i + 1 + name.size()] == '}') {
                    out.append(value);
                    i += name.size() + 2;
                    filled = true;
                    break;
                }
            }
        }
        if (!filled)
            out += text[i++];
    }
}

} // namespace

std::string Service::url(std::initializer_list<std::pair<std::string_view, std::string_view>> inputs) const
{
    std::string out = scheme + "://" + host;
    fillInto(out, path, inputs);
    if (query.empty())
        return out;
    out += '?';
    fillInto(out, query, inputs);
    return out;
}

std::string Service::matched(std::string_view page) const
{
    if (group > 0)
        return net::firstGroup(pattern, page, group).value_or(std::string());
    return net::firstMatch(pattern, page);
}

std::string Service::edited(std::string text) const
{
    for (const Edit& edit : removals)
        text::replaceAll(text, edit.from, edit.to);
    return text;
}

std::string Problem::text() const
{
    // Appended piece by piece: a literal joined to a temporary string trips GCC 12's
    // -Wrestrict at -O3.
    std::string out = file;
    if (line > 0)
        out.append(":").append(std::to_string(line));
    if (!key.empty()) {
        if (!out.empty())
            out += ": ";
        out += key;
    }
    if (!out.empty())
        out += ": ";
    out += message;
    return out;
}

const Service* Profile::find(std::string_view name) const
{
    for (const Service& s : services)
        if (s.name == name)
            return &s;
    return nullptr;
}

} // namespace kaldrani::profiles
