// What a file's entry in its folder tells without opening the file: one
// query of the file system (under Wine no round trip to the server).
#pragma once
#include <cstdint>
#include <string>

struct TFileStamp {
    bool exists = false;   // a file (not a folder) is there
    uint64_t size = 0;
    uint64_t written = 0;  // last write time, in 100 ns steps
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp FileStampOf(const std::string& path);
