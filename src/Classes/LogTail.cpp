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

size_t TLogTailReader::Room(size_t kept, uint64_t coming) const
{
    // The window is trimmed once it holds two windows and a piece; a piece
    // may come on top before that.
    return kept + static_cast<size_t>(std::min<uint64_t>(coming, 2 * windowBytes_ + 2 * kPieceBytes));
}

bool TLogTailReader::EndsAsRead(HANDLE h) const
{
    std::string last(lastBytes_.size(), '\0');
    return ReadAt(h, consumed_ - last.size(), last.data(), static_cast<DWORD>(last.size())) && last == lastBytes_;
}

bool TLogTailReader::Read(const std::string& path, TLogLinesPtr& out, const std::function<bool()>& stop,
                          TSameStamp sameStamp)
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

        bool goOn = false, afresh = sameStamp == TSameStamp::kReadAgain;
        if (!afresh && snapshot_ && path_ == path && consumed_ > 0 && size >= consumed_) {
            // Same size and write time: not read at all (see Holds(), which
            // tells so without opening the file), or only its last bytes.
            if (size == consumed_ && written == written_) {
                if (sameStamp == TSameStamp::kTrust || EndsAsRead(h)) {
                    out = snapshot_;
                    return true;
                }
                afresh = true;
            } else if (size > consumed_) {
                // The bytes where the last read ended must still be there.
                goOn = EndsAsRead(h);
            }
        }
        const TLogLinesPtr before = afresh && path_ == path ? snapshot_ : nullptr;
        const uint64_t beforeStream = stream_;
        // The window's room is made once: a string that grows step by step
        // touches every page of each larger copy.
        if (goOn) {
            window_.reserve(Room(snapshot_->Text().size(), size - consumed_));
            window_ = snapshot_->Text();
        } else {
            Start(path);
            window_.reserve(Room(0, size));
        }
        if (!ReadFrom(h, consumed_, size, stop))
            return Fail(GetLastError() ? GetLastError() : ERROR_OPERATION_ABORTED);
        TrimWindow();
        written_ = written;
        snapshot_ = std::make_shared<const TLogLines>(EarlierLines(), std::move(window_), firstLine_, stream_);
        window_ = std::string();
        if (before && before->SameLines(*snapshot_)) {
            // Read again and found as it was: nothing changed for whoever holds it.
            snapshot_ = before;
            stream_ = beforeStream;
        }
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
        window_.reserve(static_cast<size_t>(end - from));
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
    // Lines are far shorter than the limit as a rule: the bytes go in as
    // they are, up to the first line that would pass it. A line end must
    // come within each line's room; it is looked for backwards from there,
    // so a piece of short lines costs a few steps per room, not per byte.
    size_t whole = 0, length = lineLength_;
    for (;;) {
        const size_t room = kMaxLineBytes - std::min(length, kMaxLineBytes);
        if (n - whole <= room) {
            whole = n;
            break;
        }
        size_t b = whole + room;
        while (b > whole && !IsBreak(data[b]))
            --b;
        if (!IsBreak(data[b]))
            break;   // a line longer than the limit begins at whole
        whole = b + 1;
        length = 0;
    }
    window_.append(data, whole);
    if (whole > 0) {
        size_t k = whole;
        while (k > 0 && !IsBreak(data[k - 1]))
            --k;
        lineLength_ = k == 0 ? lineLength_ + whole : whole - k;
    }
    // The rest line by line: a long line is cut, what passes the limit is passed over.
    for (size_t i = whole; i < n;) {
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
    }
    // Trimmed once a window more has come: each byte moves once at most.
    if (window_.size() > 2 * windowBytes_ + kPieceBytes)
        TrimWindow();
}

void TLogTailReader::TrimWindow()
{
    if (window_.size() <= windowBytes_)
        return;
    const size_t pos = GoneEnd(window_.size() - windowBytes_);
    if (pos == 0)
        return;
    Drop(std::string_view(window_).substr(0, pos));
    window_.erase(0, pos);
}

size_t TLogTailReader::GoneEnd(size_t target) const
{
    const std::string& w = window_;
    const size_t n = w.size();
    // The line end at or after target - 1, the last byte that must go.
    size_t e = target - 1;
    if (!IsBreak(w[e])) {
        e = target;
        while (e < n && !IsBreak(w[e]))
            ++e;
    }
    if (e < n && w[e] == '\n')
        return e + 1;
    if (e < n && e + 1 < n)
        return w[e + 1] == '\n' ? e + 2 : e + 1;   // a CR, and the LF with it
    // The last line, unfinished (or ending in a CR that may still get its
    // LF): it stays whole, from its start.
    size_t start = target - 1;
    while (start > 0 && !IsBreak(w[start - 1]))
        --start;
    return start;
}

namespace {

// Lines of a text that ends with a line end: CR, LF and CR LF each end one.
int64_t CountLines(std::string_view text)
{
    int64_t count = 0;
    const char* p = text.data();
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c > '\r')
            continue;
        if (c == '\n')
            ++count;
        else if (c == '\r' && (i + 1 == n || p[i + 1] != '\n'))
            ++count;
    }
    return count;
}

// The line of text that ends (with its line end) at end, a line start
// above 0; end moves to the line's start.
std::string_view LineBefore(std::string_view text, size_t& end)
{
    size_t e = end - 1;
    if (text[e] == '\n' && e > 0 && text[e - 1] == '\r')
        --e;
    size_t s = e;
    while (s > 0 && !IsBreak(text[s - 1]))
        --s;
    end = s;
    return text.substr(s, e - s);
}

// The window's lines are within the line bound already: kept whole.
std::string Keep(std::string_view line) { return std::string(line); }

}  // namespace

void TLogTailReader::Drop(std::string_view gone)
{
    const int64_t count = CountLines(gone);
    if (count == 0)
        return;
    if (firstLine_ == 0) {
        size_t e = 0;
        while (e < gone.size() && !IsBreak(gone[e]))
            ++e;
        firstFileLine_ = Keep(gone.substr(0, e));
        haveFirstFileLine_ = true;
    }
    // From the newest line back, only as far as the lines the parse looks
    // for are found: the newest fifty, two project lines and the newest of
    // each other kind. Nothing is copied until then.
    struct TAt {
        std::string_view line;
        int64_t n = -1;
        size_t start = 0;
    };
    TAt newest[kLinesAbove];
    int newestCount = 0;
    TAt projects[2];
    int projectCount = 0;
    TAt runCloneGen, user, progress;
    int64_t n = firstLine_ + count;
    for (size_t end = gone.size(); end > 0;) {
        const std::string_view line = LineBefore(gone, end);
        const TAt at{line, --n, end};
        if (newestCount < kLinesAbove)
            newest[newestCount++] = at;
        if (projectCount < 2 && IsProjectLine(line))
            projects[projectCount++] = at;
        if (runCloneGen.n < 0 && Has(line, "Run") && Has(line, "Clone") && Has(line, "Gen"))
            runCloneGen = at;
        if (user.n < 0 && Has(line, "User name: "))
            user = at;
        if (progress.n < 0 && GetProgressFromLine(line) > kNoProgress)
            progress = at;
        if (newestCount == kLinesAbove && projectCount == 2 && runCloneGen.n >= 0 && user.n >= 0 && progress.n >= 0)
            break;
    }

    // A project line with the fifty lines above it: from this batch, then
    // from the lines above it that left before.
    auto block = [&](const TAt& project) {
        std::vector<TKept> lines;
        lines.reserve(kLinesAbove + 1);
        size_t end = project.start;
        int64_t k = project.n;
        while (end > 0 && static_cast<int>(lines.size()) < kLinesAbove) {
            const std::string_view line = LineBefore(gone, end);
            lines.emplace_back(--k, Keep(line));
        }
        const size_t fromAbove = std::min<size_t>(above_.size(), kLinesAbove - lines.size());
        for (size_t j = 0; j < fromAbove; ++j)
            lines.push_back(above_[above_.size() - 1 - j]);
        std::reverse(lines.begin(), lines.end());
        lines.emplace_back(project.n, Keep(project.line));
        return lines;
    };
    if (projectCount == 2) {
        projects_[0] = block(projects[1]);
        projects_[1] = block(projects[0]);
    } else if (projectCount == 1) {
        projects_[0] = std::move(projects_[1]);
        projects_[1] = block(projects[0]);
    }
    if (runCloneGen.n >= 0)
        runCloneGen_ = TKept{runCloneGen.n, Keep(runCloneGen.line)};
    if (user.n >= 0)
        user_ = TKept{user.n, Keep(user.line)};
    if (progress.n >= 0)
        progress_ = TKept{progress.n, Keep(progress.line)};
    // The last fifty lines above the window.
    for (int k = newestCount - 1; k >= 0; --k) {
        above_.emplace_back(newest[k].n, Keep(newest[k].line));
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
