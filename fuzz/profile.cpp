// The engine profile loader fed a user's file: it must load, or name each fault with the
// file, never crash or stop the program, and every service stays there, default or not.
#include "FuzzSupport.h"

#include "core/profiles/ActiveProfile.h"
#include "core/profiles/ProfileLoader.h"

using namespace kaldrani;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const profiles::Profile& defaults = profiles::defaultProfile();
    const profiles::Profile p = profiles::loadProfile(profiles::defaultProfileText(), fuzz::asText(data, size), "fuzz.toml");
    FUZZ_CHECK(p.services.size() == defaults.services.size());
    for (const profiles::Problem& problem : p.problems) {
        FUZZ_CHECK(problem.file == "fuzz.toml");
        FUZZ_CHECK(!problem.message.empty());
        FUZZ_CHECK(problem.text().starts_with("fuzz.toml"));
    }
    for (size_t i = 0; i < p.services.size(); ++i) {
        const profiles::Service& s = p.services[i];
        FUZZ_CHECK(s.name == defaults.services[i].name);
        // A value that reached a service is one a request can carry.
        FUZZ_CHECK(s.host.find_first_of(std::string_view("\0\r\n /", 5)) == std::string::npos);
        FUZZ_CHECK(s.userAgent.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos);
        for (const auto& [key, origin] : s.origins)
            FUZZ_CHECK(!origin.fromUser() || (origin.file == "fuzz.toml" && origin.line > 0));
    }
    return 0;
}
