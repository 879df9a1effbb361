#include "platform/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <new>

extern "C" {
#include <jpeglib.h>
}

#include "platform/Exceptions.h"
#include "platform/PictureSize.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

// Warnings are not printed anywhere.
void EmitMessage(j_common_ptr, int) {}

// No C++ object with a destructor lives in this frame: longjmp may leave it.
bool DecodeRaw(const unsigned char* data, unsigned long size, TJpegImage* out, bool* tooLarge, char* message,
               size_t messageSize)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        snprintf(message, messageSize, "%s", err.message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    // The header's size is checked before the decoder or we allocate for it.
    if (!PictureSizeAllowed(cinfo.image_width, cinfo.image_height)) {
        out->width = static_cast<int>(cinfo.image_width);
        out->height = static_cast<int>(cinfo.image_height);
        *tooLarge = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out->width = static_cast<int>(cinfo.output_width);
    out->height = static_cast<int>(cinfo.output_height);
    // Within the picture limit, so no product below wraps.
    size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    try {
        out->rgb.resize(stride * cinfo.output_height);
    } catch (const std::bad_alloc&) {
        snprintf(message, messageSize, "not enough memory for the picture");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&out->rgb[stride * cinfo.output_scanline]);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

TJpegImage DecodeJpeg(std::string_view data)
{
    if (data.size() < 4)
        throw Exception("Not a JPEG image");
    TJpegImage image;
    char message[JMSG_LENGTH_MAX] = {};
    bool tooLarge = false;
    // The output buffer is allocated before the jump point can be taken.
    image.rgb.reserve(0);
    if (!DecodeRaw(reinterpret_cast<const unsigned char*>(data.data()),
                   static_cast<unsigned long>(data.size()), &image, &tooLarge, message, sizeof message))
        throw Exception("JPEG error: " + (tooLarge ? PictureSizeRefusal(image.width, image.height) : message));
    return image;
}
