#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/Image.h"
#include "platform/Jpeg.h"
#include "platform/Resources.h"
#include "support/TestSupport.h"

using testing_support::JpegClaiming;

TEST(Jpeg, DecodesTheBuiltInPicture)
{
    std::string data = LoadRCData("ABOUT_JPEG");
    TJpegImage img = DecodeJpeg(data);
    EXPECT_EQ(img.width, 96);
    EXPECT_EQ(img.height, 64);
    ASSERT_EQ(img.rgb.size(), 96u * 64u * 3u);
    // A vertical gradient from blue-ish at the top to white at the bottom.
    auto px = [&](int x, int y, int c) {
        return static_cast<unsigned char>(img.rgb[(static_cast<size_t>(y) * 96 + x) * 3 + c]);
    };
    EXPECT_LT(px(10, 0, 0), 60);
    EXPECT_GT(px(10, 0, 2), 170);
    EXPECT_GT(px(10, 63, 0), 240);
}

TEST(Jpeg, DamagedDataIsAnErrorNotACrash)
{
    std::string data = LoadRCData("ABOUT_JPEG");
    EXPECT_THROW(DecodeJpeg(data.substr(0, 2)), Exception);
    EXPECT_THROW(DecodeJpeg(std::string(1000, 'x')), Exception);
    EXPECT_THROW(LoadRCData("NO_SUCH_RESOURCE"), Exception);
}

TEST(Jpeg, AHeaderClaimingMorePixelsThanAScreenNeedsIsRefusedBeforeAnythingIsAllocated)
{
    // 65500 x 21858 x 3 (and x 4) passes 2^32: a size worked out in 32 bits wraps.
    for (auto [w, h] : std::initializer_list<std::pair<int, int>>{{65500, 21858}, {16384, 16384}, {16385, 16}}) {
        TBitmap bitmap;   // the About box's decoding
        EXPECT_THROW(LoadJpegBitmap(JpegClaiming(w, h), bitmap), Exception) << w << " x " << h;
        EXPECT_TRUE(bitmap.Empty());
    }
    EXPECT_EQ(DecodeJpeg(JpegClaiming(96, 64)).width, 96);
}
