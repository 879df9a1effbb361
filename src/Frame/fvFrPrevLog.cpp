#include "Frame/fvFrPrevLog.h"

#include <atomic>
#include <exception>

#include "platform/Application.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace {

std::atomic<long> runningReads{0};

// The whole file, shared for reading and writing with the client that may
// be writing it; empty when it cannot be opened.
std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    if (path.empty())
        return bytes;
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0 && size.QuadPart < (1ll << 30))
        bytes.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[64 * 1024];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

}  // namespace

struct TPrevLogReader::TShared {
    TCriticalSection cs;
    HWND target = nullptr;    // nullptr once the reader is gone
    uint64_t newest = 0;      // the number of the newest read started
    uint64_t doneNumber = 0;  // the read whose text waits to be taken
    std::string donePath, doneText;
};

struct TPrevLogReader::TJob {
    std::shared_ptr<TShared> shared;   // alive while the read runs
    uint64_t number = 0;
    std::string path;
};

DWORD WINAPI TPrevLogReader::ReadEntry(LPVOID p)
{
    auto* job = static_cast<TJob*>(p);
    try {
        std::string bytes = ReadWholeFile(job->path);
        std::string text = IsValidUtf8(bytes) ? std::move(bytes) : CodePageToUtf8(bytes, CP_ACP);
        TShared& shared = *job->shared;
        TLock lock(shared.cs);
        if (shared.target && job->number == shared.newest) {
            shared.doneNumber = job->number;
            shared.donePath = job->path;
            shared.doneText = std::move(text);
            PostMessageW(shared.target, WM_PREVLOGLOADED, static_cast<WPARAM>(job->number), 0);
        }
    } catch (...) {
        Application().PostException(std::current_exception());
    }
    delete job;
    runningReads--;
    return 0;
}

TPrevLogReader::TPrevLogReader(HWND target) : shared_(std::make_shared<TShared>())
{
    shared_->target = target;
}

TPrevLogReader::~TPrevLogReader()
{
    TLock lock(shared_->cs);
    shared_->target = nullptr;
    shared_->newest++;   // whatever is running now is no longer the newest
}

void TPrevLogReader::SetTarget(HWND target)
{
    TLock lock(shared_->cs);
    shared_->target = target;
}

uint64_t TPrevLogReader::Newest() const
{
    TLock lock(shared_->cs);
    return shared_->newest;
}

long TPrevLogReader::Running()
{
    return runningReads.load();
}

uint64_t TPrevLogReader::Start(const std::string& path)
{
    auto* job = new TJob;
    job->shared = shared_;
    job->path = path;
    {
        TLock lock(shared_->cs);
        job->number = ++shared_->newest;
    }
    uint64_t number = job->number;
    runningReads++;
    HANDLE thread = CreateThread(nullptr, 0, &ReadEntry, job, 0, nullptr);
    if (!thread) {
        runningReads--;
        delete job;
        return number;
    }
    CloseHandle(thread);
    return number;
}

bool TPrevLogReader::Take(WPARAM readNumber, std::string& path, std::string& text)
{
    TLock lock(shared_->cs);
    if (shared_->doneNumber == 0 || shared_->doneNumber != shared_->newest ||
        static_cast<WPARAM>(shared_->doneNumber) != readNumber)
        return false;
    path = std::move(shared_->donePath);
    text = std::move(shared_->doneText);
    shared_->doneNumber = 0;
    shared_->donePath.clear();
    shared_->doneText.clear();
    return true;
}
