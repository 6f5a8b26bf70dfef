#include "core/profiles/ServiceNames.h"

namespace kaldrani::profiles {

std::string countService(SearchEngine engine, CountKind kind)
{
    return "count." + std::string(kEngineKeys[engineIndex(engine)])
           + (kind == CountKind::Indexed ? ".indexed" : ".backlinks");
}

std::string keywordService(SearchEngine engine)
{
    return "keyword." + std::string(kEngineKeys[engineIndex(engine)]);
}

} // namespace kaldrani::profiles
