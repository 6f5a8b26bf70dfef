#pragma once

#include <QIcon>

// The program's icons, drawn at start so that no picture file has to be shipped.
namespace kaldrani::gui {

// The toolbar's icon list, 16 by 16: 0 sites, 1 history, 2 whois, 3 IP, 4 home page,
// 5 about, 6 keyword ranking, 7 bulk mail. Another n gives an empty icon.
QIcon toolIcon(int n);

// The application's icon, also the tray icon.
QIcon appIcon();

// The tray menu's items.
enum class MenuIcon { Open, Visit, About, Upgrade, Quit, Schedule, Parallel };
QIcon menuIcon(MenuIcon which);

} // namespace kaldrani::gui
