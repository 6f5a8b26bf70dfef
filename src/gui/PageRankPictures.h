#pragma once

#include <QColor>
#include <QImage>
#include <QList>

namespace kaldrani::gui {

// The green of the PageRank pictures.
inline const QColor kPageRankGreen(102, 153, 102);

// Geometry of one picture, for drawing and for checking it: 70 by 16 pixels, the number
// box at the left, the bar's 40-pixel inside starting at kPageRankBarLeft.
inline constexpr int kPageRankWidth = 70;
inline constexpr int kPageRankHeight = 16;
inline constexpr int kPageRankBoxWidth = 22;
inline constexpr int kPageRankBarLeft = 26;
inline constexpr int kPageRankBarTop = 4;
inline constexpr int kPageRankBarHeight = 8;

// Picture n (0..10): n in white on a green box, then a grey-framed bar whose 40-pixel
// inside is green over 4*n pixels and white after. Other n: a fully transparent picture.
QImage drawPageRankPicture(int n);

// The eleven pictures, numbers 0 to 10.
QList<QImage> makePageRankPictures();

} // namespace kaldrani::gui
