// JPEG decoding through the IJG libjpeg decompression interface.
#pragma once
#include <string>
#include <string_view>

struct TJpegImage {
    int width = 0;
    int height = 0;
    // Rows top to bottom, 3 bytes per pixel in R, G, B order.
    std::string rgb;
};

// Decodes a whole JPEG file held in memory; throws Exception on damaged data.
TJpegImage DecodeJpeg(std::string_view data);
