#pragma once

#include <string>
#include <string_view>

namespace kaldrani::cli {

// Text that came from the network, made safe to write to a terminal: every C0 control
// byte, DEL and every C1 character (U+0080..U+009F) becomes a visible escape ("\x1B",
// "\u009B"), as does a byte that forms no UTF-8 character, so that no page can retitle
// the window or clear the screen. With keepLayout, TAB, LF and CR stay as they are.
std::string terminalText(std::string_view text, bool keepLayout);

// As terminalText with keepLayout, except that a CR stays only where it ends a line (CRs
// followed by LF); a bare CR, which would let the text after it overprint the line, is
// shown escaped.
std::string terminalLines(std::string_view text);

} // namespace kaldrani::cli
