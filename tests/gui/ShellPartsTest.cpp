#include "gui/PageRankPictures.h"
#include "gui/Placement.h"
#include "gui/TGauge.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace kaldrani::gui;

namespace {

bool isGreen(QRgb pixel)
{
    return qAlpha(pixel) == 255 && QColor(pixel) == kPageRankGreen;
}

} // namespace

TEST(Placement, KeepsTheGivenDistanceToTheScreensBottomRightCorner)
{
    struct Case {
        const char* name;
        QSize screen, outer;
        int right, bottom;
        QPoint expected;
    };
    const Case cases[] = {
        {"main window", {1024, 768}, {185, 380}, 50, 50, {789, 338}},
        {"update notice", {1024, 768}, {201, 153}, 30, 40, {793, 575}},
        {"larger screen", {1920, 1080}, {185, 380}, 50, 50, {1685, 650}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(placeNearCorner(c.screen, c.outer, c.right, c.bottom), c.expected);
    }
}

TEST(PageRankPictures, ShowTheNumberBoxAndABarOfFourPixelsPerPoint)
{
    struct Case {
        const char* name;
        int n;
    };
    const Case cases[] = {{"zero", 0}, {"four", 4}, {"ten", 10}};
    const QList<QImage> pictures = makePageRankPictures();
    ASSERT_EQ(pictures.size(), 11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage& image = pictures[c.n];
        ASSERT_EQ(image.size(), QSize(70, 16));

        // The number box: green corners, some white text inside.
        EXPECT_TRUE(isGreen(image.pixel(0, 0)));
        EXPECT_TRUE(isGreen(image.pixel(kPageRankBoxWidth - 1, kPageRankHeight - 1)));
        int white = 0;
        for (int y = 0; y < kPageRankHeight; ++y)
            for (int x = 0; x < kPageRankBoxWidth; ++x)
                white += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) > 200 ? 1 : 0;
        EXPECT_GT(white, 4);

        // The bar's inside: exactly 4*n green pixels on its middle line, then white.
        const int y = kPageRankBarTop + kPageRankBarHeight / 2;
        int green = 0;
        for (int x = kPageRankBarLeft; x < kPageRankBarLeft + 40; ++x) {
            const bool expectGreen = x < kPageRankBarLeft + 4 * c.n;
            EXPECT_EQ(isGreen(image.pixel(x, y)), expectGreen) << "x=" << x;
            if (!expectGreen) {
                EXPECT_EQ(QColor(image.pixel(x, y)), QColor(Qt::white)) << "x=" << x;
            }
            green += isGreen(image.pixel(x, y)) ? 1 : 0;
        }
        EXPECT_EQ(green, 4 * c.n);
        // The grey frame around it.
        EXPECT_EQ(QColor(image.pixel(kPageRankBarLeft - 1, y)), QColor(128, 128, 128));
        EXPECT_EQ(QColor(image.pixel(kPageRankBarLeft + 40, y)), QColor(128, 128, 128));
    }
}

TEST(PageRankPictures, OutsideZeroToTenIsFullyTransparent)
{
    for (int n : {-1, 11, 12}) {
        SCOPED_TRACE(n);
        const QImage image = drawPageRankPicture(n);
        ASSERT_EQ(image.size(), QSize(70, 16));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(qAlpha(image.pixel(x, y)), 0);
    }
}

TEST(Gauge, HoldsTheValueWithinItsRangeAndPaintsGreenOnWhite)
{
    struct Case {
        const char* name;
        int given;
        int held;
    };
    const Case cases[] = {{"inside", 50, 50}, {"above", 150, 100}, {"below", -7, 0}, {"limit", 100, 100}};
    TGauge gauge;
    gauge.resize(66, 12);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gauge.setProgress(c.given);
        EXPECT_EQ(gauge.progress(), c.held);
        const QImage image = gauge.grab().toImage();
        // Sample near both ends of the middle line, clear of the centred text.
        const int y = image.height() / 2;
        const QColor left = image.pixel(2, y);
        const QColor right = image.pixel(image.width() - 3, y);
        EXPECT_EQ(left, c.held > 5 ? TGauge::kBarColor : QColor(Qt::white));
        EXPECT_EQ(right, c.held == 100 ? TGauge::kBarColor : QColor(Qt::white));
        int dark = 0;
        for (int x = image.width() / 3; x < 2 * image.width() / 3; ++x)
            for (int yy = 1; yy < image.height() - 1; ++yy)
                dark += QColor(image.pixel(x, yy)).lightness() < 80 ? 1 : 0;
        EXPECT_GT(dark, 3) << "the percentage text";
    }
}
