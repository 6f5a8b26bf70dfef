#include "core/text/TextRemoval.h"

namespace kaldrani::text {

void removeAll(std::string& text, std::string_view what)
{
    replaceAll(text, what, {});
}

void replaceAll(std::string& text, std::string_view what, std::string_view with)
{
    if (what.empty())
        return;
    std::string out;
    std::size_t from = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        out.append(with);
        from = at + what.size();
    }
    if (from == 0)
        return;
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

} // namespace kaldrani::text
