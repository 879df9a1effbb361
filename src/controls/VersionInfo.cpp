#include "controls/VersionInfo.h"

#include "platform/Text.h"

TVersionInfo::TVersionInfo(const std::string& fileName) : fileName_(fileName)
{
    std::wstring wide = Utf8ToWide(fileName_);
    dataSize_ = GetFileVersionInfoSizeW(wide.c_str(), &handle_);
    // A version block's own length is a 16-bit count, so a resource that
    // claims more than this is damaged: it has no version information.
    const DWORD kLargestBlock = 1u << 20;
    if (dataSize_ == 0 || dataSize_ > kLargestBlock) {
        dataSize_ = 0;
        return;
    }
    // A few bytes of slack: the reader may look one character past a value.
    data_.assign(static_cast<size_t>(dataSize_) + 4, '\0');
    valid_ = GetFileVersionInfoW(wide.c_str(), 0, dataSize_, data_.data()) != 0;
}

const void* TVersionInfo::Query(const std::wstring& path, UINT& length) const
{
    length = 0;
    if (!valid_)
        return nullptr;
    void* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data_.data(), path.c_str(), &value, &len) || !value)
        return nullptr;
    const char* begin = data_.data();
    const char* end = begin + dataSize_;
    const char* at = static_cast<const char*>(value);
    if (at < begin || at > end)
        return nullptr;
    length = len;
    return value;
}

const uint16_t* TVersionInfo::GetTranslation() const
{
    UINT len = 0;
    const void* value = Query(L"\\VarFileInfo\\Translation", len);
    if (!value || len < 4 || static_cast<const char*>(value) + 4 > data_.data() + dataSize_)
        return nullptr;
    return static_cast<const uint16_t*>(value);
}

std::string TVersionInfo::GetTranslationText() const
{
    const uint16_t* translation = GetTranslation();
    if (!translation)
        return {};
    return IntToHex(translation[0], 4) + IntToHex(translation[1], 4);
}

std::string TVersionInfo::GetVerValue(const std::string& name) const
{
    if (!valid_)
        return {};
    std::wstring path = L"\\StringFileInfo\\" + Utf8ToWide(GetTranslationText()) + L"\\" + Utf8ToWide(name);
    UINT len = 0;
    const void* value = Query(path, len);
    if (!value)
        return {};
    // len counts characters; never read past the block.
    const wchar_t* text = static_cast<const wchar_t*>(value);
    const size_t room = static_cast<size_t>(data_.data() + dataSize_ - static_cast<const char*>(value)) / sizeof(wchar_t);
    size_t n = 0;
    while (n < len && n < room && text[n] != 0)
        ++n;
    return WideToUtf8(std::wstring_view(text, n));
}
