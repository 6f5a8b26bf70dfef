#include "core/mail/MailDate.h"

#include <cstdio>
#include <cstdlib>

namespace kaldrani::mail {

std::string formatMailDate(const std::tm& local, long utcOffsetSeconds)
{
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long minutes = std::labs(utcOffsetSeconds) / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld",
                  days[((local.tm_wday % 7) + 7) % 7], local.tm_mday, months[((local.tm_mon % 12) + 12) % 12],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, utcOffsetSeconds < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return buffer;
}

std::string formatMailDate(std::time_t moment)
{
    std::tm local{};
    localtime_r(&moment, &local);
    return formatMailDate(local, local.tm_gmtoff);
}

} // namespace kaldrani::mail
