// Splitting of URLs, proxy names and relocation targets into their parts.
#pragma once
#include <string>
#include <string_view>

// Position (1-based) of the n-th occurrence of sub in s, counted from the left
// for a positive n and from the right for a negative n; 0 when there is none
// (always 0 for n == 0).
int Posn(std::string_view sub, std::string_view s, int n);

// Splits url into protocol, user, password, host, port and path. Every output
// is cleared first except path, whose incoming value is the base that
// relative references ("./x", "../x") are resolved against.
void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path);
