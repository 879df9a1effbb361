#include "Classes/LogTail.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <new>

#include "Classes/FahUtils.h"
#include "platform/Text.h"

namespace {

constexpr size_t kPieceBytes = 256u << 10;
constexpr size_t kLastBytes = 4096;

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// Opened shared for reading, writing and deleting with the client.
HANDLE OpenShared(const std::string& path)
{
    return CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// n bytes at a place in the file; false unless all of them were read.
bool ReadAt(HANDLE h, uint64_t at, char* data, DWORD n)
{
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(at);
    DWORD got = 0;
    return SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && ReadFile(h, data, n, &got, nullptr) && got == n;
}

}  // namespace

bool CanOpenShared(const std::string& path)
{
    HANDLE h = OpenShared(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

uint64_t NewLogStream()
{
    static std::atomic<uint64_t> next{0};
    return ++next;
}

TLogTailReader::TLogTailReader(size_t windowBytes) : windowBytes_(std::max<size_t>(windowBytes, 1)) {}

void TLogTailReader::Reset()
{
    path_.clear();
    stream_ = 0;
    consumed_ = 0;
    written_ = 0;
    lastBytes_.clear();
    snapshot_.reset();
    window_.clear();
    window_.shrink_to_fit();
    firstLine_ = 0;
    lineLength_ = 0;
    firstFileLine_.clear();
    haveFirstFileLine_ = false;
    above_.clear();
    projects_[0].clear();
    projects_[1].clear();
    runCloneGen_ = user_ = progress_ = TKept{-1, {}};
}

void TLogTailReader::Start(const std::string& path)
{
    Reset();
    path_ = path;
    stream_ = NewLogStream();
}

bool TLogTailReader::Holds(const std::string& path, const TFileStamp& stamp) const
{
    return snapshot_ && path_ == path && consumed_ > 0 && stamp.exists && stamp.size == consumed_ &&
           stamp.written == written_;
}

template <class F>
bool TLogTailReader::OnFile(const std::string& path, F read)
{
    HANDLE h = OpenShared(path);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(GetLastError());
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{h};
    error_ = 0;
    try {
        return read(h);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool TLogTailReader::Read(const std::string& path, TLogLinesPtr& out, const std::function<bool()>& stop)
{
    return OnFile(path, [&](HANDLE h) {
        // Size and write time only: the whole file information would ask
        // for the volume too (under Wine a trip to its mount manager).
        LARGE_INTEGER sizeInfo;
        FILETIME writeTime;
        if (!GetFileSizeEx(h, &sizeInfo) || !GetFileTime(h, nullptr, nullptr, &writeTime))
            return Fail(GetLastError());
        const uint64_t size = static_cast<uint64_t>(sizeInfo.QuadPart);
        const uint64_t written = (static_cast<uint64_t>(writeTime.dwHighDateTime) << 32) | writeTime.dwLowDateTime;

        bool goOn = false;
        if (snapshot_ && path_ == path && consumed_ > 0 && size >= consumed_) {
            // Same size and write time: not read at all (see Holds(), which
            // tells so without opening the file).
            if (size == consumed_ && written == written_) {
                out = snapshot_;
                return true;
            }
            if (size > consumed_) {
                // The bytes where the last read ended must still be there.
                std::string last(lastBytes_.size(), '\0');
                goOn = ReadAt(h, consumed_ - last.size(), last.data(), static_cast<DWORD>(last.size())) &&
                       last == lastBytes_;
            }
        }
        if (goOn) {
            window_ = snapshot_->Text();
        } else {
            Start(path);
        }
        if (!ReadFrom(h, consumed_, size, stop))
            return Fail(GetLastError() ? GetLastError() : ERROR_OPERATION_ABORTED);
        written_ = written;
        snapshot_ = std::make_shared<const TLogLines>(EarlierLines(), std::move(window_), firstLine_, stream_);
        window_ = std::string();
        out = snapshot_;
        return true;
    });
}

bool TLogTailReader::ReadEnd(const std::string& path, TLogLinesPtr& out, const std::function<bool()>& stop)
{
    return OnFile(path, [&](HANDLE h) {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(h, &size))
            return Fail(GetLastError());
        const uint64_t end = static_cast<uint64_t>(size.QuadPart);
        const uint64_t from = end > windowBytes_ ? end - windowBytes_ : 0;
        Start(path);
        // The byte before the window says whether it begins with a whole line.
        char before = '\n';
        if (from > 0 && !ReadAt(h, from - 1, &before, 1))
            return Fail(GetLastError() ? GetLastError() : ERROR_HANDLE_EOF);
        if (!ReadFrom(h, from, end, stop))
            return Fail(GetLastError() ? GetLastError() : ERROR_OPERATION_ABORTED);
        size_t skip = 0;
        if (!IsBreak(before)) {
            // The rest of a line that began above: up to and with its line end.
            while (skip < window_.size() && !IsBreak(window_[skip]))
                ++skip;
            if (skip < window_.size() && window_[skip++] == '\r' && skip < window_.size() && window_[skip] == '\n')
                ++skip;
        } else if (before == '\r' && !window_.empty() && window_[0] == '\n') {
            skip = 1;   // the LF of a CR LF that the window cut in two
        }
        window_.erase(0, skip);
        snapshot_ = std::make_shared<const TLogLines>(std::vector<std::string>{}, std::move(window_), 0, stream_, from > 0);
        window_ = std::string();
        consumed_ = 0;
        out = snapshot_;
        return true;
    });
}

bool TLogTailReader::Fail(DWORD error)
{
    Reset();
    error_ = error;
    return false;
}

bool TLogTailReader::ReadFrom(HANDLE h, uint64_t from, uint64_t to, const std::function<bool()>& stop)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN))
        return false;
    std::string piece(static_cast<size_t>(std::min<uint64_t>(kPieceBytes, std::max<uint64_t>(to - from, 1))), '\0');
    uint64_t pos = from;
    while (pos < to) {
        if (stop && stop()) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return false;
        }
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(piece.size(), to - pos));
        DWORD got = 0;
        if (!ReadFile(h, piece.data(), want, &got, nullptr))
            return false;
        if (got == 0)
            break;   // the file shrank while it was read: what was read stands
        Append(piece.data(), got);
        if (got >= kLastBytes) {
            lastBytes_.assign(piece.data() + got - kLastBytes, kLastBytes);
        } else {
            lastBytes_.append(piece.data(), got);
            if (lastBytes_.size() > kLastBytes)
                lastBytes_.erase(0, lastBytes_.size() - kLastBytes);
        }
        pos += got;
    }
    consumed_ = pos;
    return true;
}

void TLogTailReader::Append(const char* data, size_t n)
{
    size_t i = 0;
    while (i < n) {
        size_t k = i;
        while (k < n && !IsBreak(data[k]))
            ++k;
        const size_t room = kMaxLineBytes - std::min(lineLength_, kMaxLineBytes);
        const size_t take = std::min(k - i, room);
        window_.append(data + i, take);
        lineLength_ += take;
        if (k < n) {
            window_.push_back(data[k]);
            lineLength_ = 0;
            ++k;
        }
        i = k;
        if (window_.size() > windowBytes_ + windowBytes_ / 4 + kPieceBytes)
            TrimWindow();
    }
    TrimWindow();
}

void TLogTailReader::TrimWindow()
{
    if (window_.size() <= windowBytes_)
        return;
    const size_t target = window_.size() - windowBytes_;
    // The lines that leave, as views of the window until it is cut.
    std::vector<std::string_view> gone;
    size_t pos = 0;
    while (pos < target) {
        size_t e = pos;
        while (e < window_.size() && !IsBreak(window_[e]))
            ++e;
        if (e >= window_.size())
            break;   // the unfinished last line stays
        size_t next = e + 1;
        if (window_[e] == '\r') {
            if (next >= window_.size())
                break;   // a CR at the very end may still get its LF
            if (window_[next] == '\n')
                ++next;
        }
        gone.push_back(std::string_view(window_).substr(pos, e - pos));
        pos = next;
    }
    Drop(gone);
    window_.erase(0, pos);
}

void TLogTailReader::Drop(const std::vector<std::string_view>& gone)
{
    auto keep = [](std::string_view line) { return std::string(line.substr(0, kMaxKeptLineBytes)); };
    const int count = static_cast<int>(gone.size());
    for (int k = 0; k < count; ++k) {
        const std::string_view line = gone[static_cast<size_t>(k)];
        const int64_t n = firstLine_ + k;
        if (n == 0) {
            firstFileLine_ = keep(line);
            haveFirstFileLine_ = true;
        }
        if (IsProjectLine(line)) {
            // The line and the fifty above it: from earlier batches, then from this one.
            projects_[0] = std::move(projects_[1]);
            projects_[1].clear();
            const int fromBatch = std::min(k, kLinesAbove);
            const size_t fromAbove = std::min<size_t>(above_.size(), static_cast<size_t>(kLinesAbove - fromBatch));
            projects_[1].insert(projects_[1].end(), above_.end() - static_cast<std::ptrdiff_t>(fromAbove), above_.end());
            for (int j = k - fromBatch; j <= k; ++j)
                projects_[1].emplace_back(firstLine_ + j, keep(gone[static_cast<size_t>(j)]));
        }
        if (Has(line, "Run") && Has(line, "Clone") && Has(line, "Gen"))
            runCloneGen_ = TKept{n, keep(line)};
        if (Has(line, "User name: "))
            user_ = TKept{n, keep(line)};
        if (GetProgressFromLine(line) > kNoProgress)
            progress_ = TKept{n, keep(line)};
    }
    // Only the last fifty lines above the window are kept as they were.
    for (int k = std::max(0, count - kLinesAbove); k < count; ++k) {
        above_.emplace_back(firstLine_ + k, keep(gone[static_cast<size_t>(k)]));
        if (above_.size() > static_cast<size_t>(kLinesAbove))
            above_.pop_front();
    }
    firstLine_ += count;
}

std::vector<std::string> TLogTailReader::EarlierLines() const
{
    std::map<int64_t, const std::string*> kept;
    auto keep = [&](const TKept& k) {
        if (k.first >= 0)
            kept.emplace(k.first, &k.second);
    };
    if (haveFirstFileLine_)
        kept.emplace(0, &firstFileLine_);
    for (const auto& block : projects_)
        for (const TKept& k : block)
            keep(k);
    keep(runCloneGen_);
    keep(user_);
    keep(progress_);
    for (const TKept& k : above_)
        keep(k);
    std::vector<std::string> out;
    out.reserve(kept.size());
    for (const auto& [line, text] : kept)
        out.push_back(*text);
    return out;
}
