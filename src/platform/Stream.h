// Byte streams: a small abstract stream with position and size, and a stream
// over a growing memory buffer. ReadBuffer and WriteBuffer move exactly the
// asked number of bytes or throw EStreamError.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Bytes actually moved (fewer at the end of the data).
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // The new position; a position before the start is refused (EStreamError).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    int64_t Size();

    // Exactly count bytes, or EStreamError ("Stream read error" / "Stream write error").
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
    // Little-endian 32-bit values.
    int32_t ReadInt32();
    void WriteInt32(int32_t value);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    const std::vector<uint8_t>& Bytes() const { return data_; }
    void Clear() { data_.clear(); pos_ = 0; }

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
};
