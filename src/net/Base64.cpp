#include "net/Base64.h"

#include <cstdint>

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kUU[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
const char kXX[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Groups of 3 bytes into 4 characters; a short last group is padded with
// `pad` (Base64) or filled with the character for 0 (line encodings).
std::string EncodeGroups(std::string_view bytes, const char* alphabet, bool padWithEquals)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                     uint32_t(uint8_t(bytes[i + 2]));
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (rest == 2)
            v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        if (rest == 2)
            out += alphabet[(v >> 6) & 63];
        else
            out += padWithEquals ? '=' : alphabet[0];
        out += padWithEquals ? '=' : alphabet[0];
    }
    return out;
}

int IndexIn(const char* alphabet, char c)
{
    for (int i = 0; i < 64; ++i)
        if (alphabet[i] == c)
            return i;
    return -1;
}

// Characters outside the alphabet are skipped; stops at `stop` (when not 0).
std::string DecodeGroups(std::string_view text, const char* alphabet, char stop, size_t maxBytes)
{
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (stop && c == stop)
            break;
        int v = IndexIn(alphabet, c);
        if (v < 0)
            continue;
        acc = (acc << 6) | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            if (out.size() < maxBytes)
                out += char((acc >> bits) & 0xFF);
        }
    }
    return out;
}

std::string EncodeLines(std::string_view bytes, const char* alphabet)
{
    std::string out;
    for (size_t pos = 0; pos < bytes.size(); pos += 45) {
        std::string_view line = bytes.substr(pos, 45);
        out += alphabet[line.size()];
        out += EncodeGroups(line, alphabet, false);
        out += "\r\n";
    }
    return out;
}

std::string DecodeLines(std::string_view text, const char* alphabet)
{
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        int count = IndexIn(alphabet, line[0]);
        if (count <= 0)
            continue;
        out += DecodeGroups(line.substr(1), alphabet, 0, static_cast<size_t>(count));
    }
    return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) { return EncodeGroups(bytes, kBase64, true); }

std::string Base64Decode(std::string_view text) { return DecodeGroups(text, kBase64, '=', std::string::npos); }

std::string EncodeStr(TEncType encType, std::string_view bytes)
{
    switch (encType) {
    case encTypeUU: return EncodeLines(bytes, kUU);
    case encTypeXX: return EncodeLines(bytes, kXX);
    default: return Base64Encode(bytes);
    }
}

std::string DecodeStr(TEncType encType, std::string_view text)
{
    switch (encType) {
    case encTypeUU: return DecodeLines(text, kUU);
    case encTypeXX: return DecodeLines(text, kXX);
    default: return Base64Decode(text);
    }
}
