#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Jpeg.h"
#include "platform/Resources.h"

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
