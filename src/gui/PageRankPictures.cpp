#include "gui/PageRankPictures.h"

#include <QFont>
#include <QPainter>

namespace kaldrani::gui {

QImage drawPageRankPicture(int n)
{
    QImage image(kPageRankWidth, kPageRankHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (n < 0 || n > 10)
        return image;

    QPainter p(&image);
    p.fillRect(0, 0, kPageRankBoxWidth, kPageRankHeight, kPageRankGreen);
    QFont font({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, kPageRankBoxWidth, kPageRankHeight), Qt::AlignCenter, QString::number(n));

    // The frame is one pixel around the 40-pixel inside.
    const QRect inside(kPageRankBarLeft, kPageRankBarTop, 40, kPageRankBarHeight);
    p.fillRect(inside.adjusted(-1, -1, 1, 1), QColor(128, 128, 128));
    p.fillRect(inside, Qt::white);
    p.fillRect(QRect(inside.left(), inside.top(), 4 * n, inside.height()), kPageRankGreen);
    return image;
}

QList<QImage> makePageRankPictures()
{
    QList<QImage> pictures;
    for (int n = 0; n <= 10; ++n)
        pictures.append(drawPageRankPicture(n));
    return pictures;
}

} // namespace kaldrani::gui
