#include "core/profiles/Profile.h"

#include "core/text/TextRemoval.h"

namespace kaldrani::profiles {

std::string Service::url(std::initializer_list<std::pair<std::string_view, std::string_view>> inputs) const
{
    std::string out = scheme + "://" + host + path;
    if (query.empty())
        return out;
    out += '?';
    // One pass, so that an input holding "{page}" is never filled in itself.
    for (std::size_t i = 0; i < query.size();) {
        bool filled = false;
        if (query[i] == '{') {
            for (const auto& [name, value] : inputs) {
                if (query.compare(i + 1, name.size(), name) == 0 && i + 1 + name.size() < query.size()
                    && query[i + 1 + name.size()] == '}') {
                    out.append(value);
                    i += name.size() + 2;
                    filled = true;
                    break;
                }
            }
        }
        if (!filled)
            out += query[i++];
    }
    return out;
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
