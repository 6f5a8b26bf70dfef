#pragma once

namespace kaldrani::gui {

// The program's windows, as one window asks for another to be shown.
enum class WindowId { Main, Mail, Keyword, SiteList, History, Whois, Ip, About, Update };

} // namespace kaldrani::gui
