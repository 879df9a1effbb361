// Base64 (standard alphabet, "=" padding) and the two line-oriented
// encodings that share its code (uuencode and xxencode alphabets, each line
// led by a length character).
#pragma once
#include <string>
#include <string_view>

std::string Base64Encode(std::string_view bytes);
// Characters outside the alphabet (line breaks, blanks) are skipped; decoding
// stops at the first "=".
std::string Base64Decode(std::string_view text);

enum TEncType { encTypeBase64, encTypeUU, encTypeXX };
// Base64: as Base64Encode. UU and XX: one line per 45 input bytes, each led by
// the alphabet's character for its byte count and ended by CR LF.
std::string EncodeStr(TEncType encType, std::string_view bytes);
std::string DecodeStr(TEncType encType, std::string_view text);
