#include "net/HttpStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace {
constexpr size_t kFileBlock = 1024 * 1024;
}

THttpFileStream::THttpFileStream(const std::string& fileName, TMode mode) : fileName_(fileName)
{
    DWORD access = mode == fmOpenRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = mode == fmCreate ? CREATE_ALWAYS : OPEN_EXISTING;
    handle_ = CreateFileW(Utf8ToWide(fileName).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        Fail(mode == fmCreate ? "Cannot create file" : "Cannot open file");
}

THttpFileStream::~THttpFileStream()
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    try {
        Flush();
    } catch (...) {
        // A destructor cannot report; the caller that cares calls Flush first.
    }
    CloseHandle(handle_);
}

void THttpFileStream::Fail(const char* what)
{
    DWORD err = GetLastError();
    if (!firstError_)
        firstError_ = err;
    throw EHttpStreamError(std::string(what) + " \"" + fileName_ + "\" (error " + std::to_string(err) + ")", err);
}

void THttpFileStream::Flush()
{
    if (pending_.empty())
        return;
    std::string out;
    out.swap(pending_);   // on failure the bytes are dropped, never written twice
    WriteDirect(out.data(), out.size());
    out.clear();
    out.swap(pending_);   // keep the buffer's room for the next pieces
}

void THttpFileStream::Write(const void* data, size_t len)
{
    if (len == 0)
        return;
    if (len >= kFileBlock / 2) {
        // Large pieces go to the file as they are, without a copy.
        Flush();
        WriteDirect(static_cast<const char*>(data), len);
        return;
    }
    if (pending_.size() + len > kFileBlock)
        Flush();
    pending_.append(static_cast<const char*>(data), len);
}

void THttpFileStream::WriteDirect(const char* data, size_t len)
{
    size_t done = 0;
    while (done < len) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(len - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle_, data + done, chunk, &written, nullptr) || written == 0) {
            filePos_ += static_cast<int64_t>(done);
            Fail("Cannot write file");
        }
        done += written;
    }
    filePos_ += static_cast<int64_t>(len);
}

size_t THttpFileStream::Read(void* data, size_t len)
{
    Flush();
    DWORD got = 0;
    if (!ReadFile(handle_, data, static_cast<DWORD>(std::min<size_t>(len, 1u << 30)), &got, nullptr))
        Fail("Cannot read file");
    filePos_ += got;
    return got;
}

int64_t THttpFileStream::Position() { return filePos_ + static_cast<int64_t>(pending_.size()); }

void THttpFileStream::Seek(int64_t position)
{
    Flush();
    LARGE_INTEGER to;
    to.QuadPart = position < 0 ? 0 : position;
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN))
        Fail("Cannot seek in file");
    filePos_ = to.QuadPart;
}

int64_t THttpFileStream::Size()
{
    Flush();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size))
        Fail("Cannot read the size of file");
    return size.QuadPart;
}

void THttpFileStream::SetSize(int64_t size)
{
    Flush();
    int64_t keep = std::min(filePos_, size < 0 ? 0 : size);
    Seek(size < 0 ? 0 : size);
    if (!SetEndOfFile(handle_))
        Fail("Cannot change the size of file");
    Seek(keep);
}

void THttpMemoryStream::Write(const void* data, size_t len)
{
    if (len == 0)
        return;
    size_t at = static_cast<size_t>(pos_);
    if (at + len > data_.size())
        data_.resize(at + len);
    std::memcpy(&data_[at], data, len);
    pos_ += static_cast<int64_t>(len);
}

size_t THttpMemoryStream::Read(void* data, size_t len)
{
    size_t at = static_cast<size_t>(pos_);
    if (at >= data_.size())
        return 0;
    size_t n = std::min(len, data_.size() - at);
    std::memcpy(data, data_.data() + at, n);
    pos_ += static_cast<int64_t>(n);
    return n;
}

void THttpMemoryStream::Seek(int64_t position) { pos_ = position < 0 ? 0 : position; }

void THttpMemoryStream::SetSize(int64_t size)
{
    data_.resize(static_cast<size_t>(size < 0 ? 0 : size));
    pos_ = std::min<int64_t>(pos_, static_cast<int64_t>(data_.size()));
}
