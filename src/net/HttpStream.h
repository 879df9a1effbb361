// Byte streams the HTTP client reads request bodies from and writes received
// documents into: an abstract stream, one on a file and one in memory.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/Exceptions.h"

class EHttpStreamError : public Exception {
public:
    using Exception::Exception;
    EHttpStreamError(const std::string& message, DWORD systemError) : Exception(message), SystemError(systemError) {}
    // The Windows error behind it (0: none).
    DWORD SystemError = 0;
};

class THttpStream {
public:
    virtual ~THttpStream() = default;
    // Writes all bytes at the position and moves past them; throws EHttpStreamError.
    virtual void Write(const void* data, size_t len) = 0;
    // Reads up to len bytes from the position; returns the count (0 at the end).
    virtual size_t Read(void* data, size_t len) = 0;
    virtual int64_t Position() = 0;
    virtual void Seek(int64_t position) = 0;
    virtual int64_t Size() = 0;
    // Makes the stream exactly this long; the position stays within it.
    virtual void SetSize(int64_t size) = 0;
    // Hands on whatever the stream still holds back; throws EHttpStreamError.
    virtual void Flush() {}
};

// A file opened for writing (created or emptied) or for reading. Writes are
// gathered in a buffer of its own and reach the file in large blocks.
class THttpFileStream : public THttpStream {
public:
    enum TMode { fmCreate, fmOpenRead, fmOpenReadWrite };
    THttpFileStream(const std::string& fileName, TMode mode);
    ~THttpFileStream() override;
    THttpFileStream(const THttpFileStream&) = delete;
    THttpFileStream& operator=(const THttpFileStream&) = delete;

    void Write(const void* data, size_t len) override;
    size_t Read(void* data, size_t len) override;
    int64_t Position() override;
    void Seek(int64_t position) override;
    int64_t Size() override;
    void SetSize(int64_t size) override;
    // Hands the gathered bytes to the file.
    void Flush() override;
    const std::string& FileName() const { return fileName_; }
    // The Windows error of the first operation on the file that failed (0: none).
    DWORD FirstError() const { return firstError_; }

private:
    void Fail(const char* what);
    void WriteDirect(const char* data, size_t len);
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string fileName_;
    std::string pending_;    // written but not yet in the file
    int64_t filePos_ = 0;    // position of the file handle
    DWORD firstError_ = 0;
};

class THttpMemoryStream : public THttpStream {
public:
    THttpMemoryStream() = default;
    explicit THttpMemoryStream(std::string data) : data_(std::move(data)) {}

    void Write(const void* data, size_t len) override;
    size_t Read(void* data, size_t len) override;
    int64_t Position() override { return pos_; }
    void Seek(int64_t position) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    const std::string& Data() const { return data_; }
    void Clear() { data_.clear(); pos_ = 0; }

private:
    std::string data_;
    int64_t pos_ = 0;
};
