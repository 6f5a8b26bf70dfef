#pragma once

#include <ctime>
#include <string>

// [rfc5322] 3.3 Date and time, in the form "Tue, 5 Jan 2010 14:03:07 +0800".
namespace kaldrani::mail {

// The local time given as broken-down fields and its offset east of UTC in seconds.
std::string formatMailDate(const std::tm& local, long utcOffsetSeconds);

// The moment in the machine's time zone.
std::string formatMailDate(std::time_t moment);

} // namespace kaldrani::mail
