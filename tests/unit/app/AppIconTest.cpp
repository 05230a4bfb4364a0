#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/AppIconImages.h"

namespace qv {
namespace {

// The images the build rendered from the SVG: every size the tray and the
// window ask for, each a square PNG of that size with a transparent
// background around an opaque handset.
TEST(AppIconImages, EverySizeDecodesAtItsSizeOnATransparentBackground) {
    const auto images = AppIconImages();
    ASSERT_FALSE(images.empty());
    int previous = 0;
    for (const AppIconImage& image : images) {
        EXPECT_GT(image.size, previous) << "sizes must grow";
        previous = image.size;
        QImage decoded;
        ASSERT_TRUE(
            decoded.loadFromData(image.png.data(), static_cast<int>(image.png.size()), "PNG"))
            << image.size;
        EXPECT_EQ(decoded.width(), image.size);
        EXPECT_EQ(decoded.height(), image.size);
        EXPECT_TRUE(decoded.hasAlphaChannel()) << image.size;
        EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0) << image.size;
        EXPECT_EQ(qAlpha(decoded.pixel(image.size - 1, image.size - 1)), 0) << image.size;
        EXPECT_EQ(qAlpha(decoded.pixel(image.size / 2, image.size / 2)), 255) << image.size;
    }
    for (int traySize : {16, 22, 32, 48, 64}) {
        EXPECT_TRUE(std::any_of(images.begin(), images.end(), [traySize](const AppIconImage& i) {
            return i.size == traySize;
        })) << traySize;
    }
}

}  // namespace
}  // namespace qv
