#pragma once

#include <cstdint>

namespace kaldrani::text {

// Days since 1970-01-01 of a civil date (proleptic Gregorian), for the dates read from
// cookies and records; month 1 to 12, day 1 to 31, not checked.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

static_assert(daysFromCivil(1970, 1, 1) == 0 && daysFromCivil(2000, 3, 1) == 11017);

} // namespace kaldrani::text
