#pragma once

#include <QFont>
#include <QStringList>

namespace kaldrani::gui {

// Tahoma at the given size, falling back to a CJK font for the Chinese captions.
inline QFont tahoma(int pointSize, bool bold = false)
{
    QFont font({QStringLiteral("Tahoma"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace kaldrani::gui
