#include "core/lookups/MatchOrWhole.h"

#include "core/net/TRegExp.h"

namespace kaldrani::lookups {

std::string matchOrWhole(std::string_view pattern, const std::string& page)
{
    net::TRegExp re;
    re.setPattern(std::string(pattern));
    const net::TMatchCollection matches = re.Execute(page);
    return matches.Count() > 0 ? matches.Item(0).Value : page;
}

} // namespace kaldrani::lookups
