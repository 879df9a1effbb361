// Reads the version resource of a file (normally the program's own) and
// hands out its named string values ("PRODUCTNAME", "LEGALCOPYRIGHT",
// "FILEVERSION" ...) from the first translation.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class TVersionInfo {
public:
    explicit TVersionInfo(const std::string& fileName);

    const std::string& FileName() const { return fileName_; }
    // True when the file has a version resource and it was read (a resource
    // claiming more than 1 MB is damaged and counts as none).
    bool Valid() const { return valid_; }
    DWORD DataSize() const { return dataSize_; }
    DWORD Handle() const { return handle_; }

    // The first translation entry: language, then code page. nullptr when
    // there is none.
    const uint16_t* GetTranslation() const;
    // The first translation as eight upper-case hex digits, language first
    // ("040904E4"); empty when there is none.
    std::string GetTranslationText() const;
    // The named string value of the first translation; empty when the file
    // has no version resource or no such value.
    std::string GetVerValue(const std::string& name) const;

private:
    // A value inside the block, checked to lie inside it; nullptr when absent.
    const void* Query(const std::wstring& path, UINT& length) const;

    std::string fileName_;
    bool valid_ = false;
    DWORD dataSize_ = 0;
    std::vector<char> data_;
    DWORD handle_ = 0;
};
