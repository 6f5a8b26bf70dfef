# Writes OUTPUT, a C++ source defining kaldrani::profiles::SYMBOL() as the bytes of INPUT.
# Run with cmake -P at build time, so an edit of INPUT rebuilds it.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
get_filename_component(input_name ${INPUT} NAME)
file(WRITE ${OUTPUT}.tmp
"// Made from ${input_name} by EmbedProfile.cmake; edit that file, not this one.
#include \"core/profiles/ProfileLoader.h\"

namespace kaldrani::profiles {

namespace {
const char kText[] = {
${bytes}
'\\0'};
} // namespace

std::string_view ${SYMBOL}()
{
    return {kText, sizeof kText - 1};
}

} // namespace kaldrani::profiles
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
