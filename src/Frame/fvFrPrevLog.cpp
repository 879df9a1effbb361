#include "Frame/fvFrPrevLog.h"

#include <atomic>
#include <exception>

#include "Classes/LogTail.h"
#include "platform/Application.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace {

std::atomic<long> runningReads{0};

// The newest lines of the file, shared for reading and writing with the
// client that may be writing it, in UTF-8; empty when it cannot be read.
TLogLinesPtr ReadLogTail(const std::string& path)
{
    TLogLinesPtr lines;
    TLogTailReader reader;
    if (path.empty() || !reader.Read(path, lines))
        return EmptyLogLines();
    if (IsValidUtf8(lines->Text()))
        return lines;
    std::vector<std::string> earlier;
    for (int i = 0; i < lines->WindowStart(); ++i)
        earlier.push_back(CodePageToUtf8(std::string((*lines)[i]), CP_ACP));
    return std::make_shared<const TLogLines>(std::move(earlier), CodePageToUtf8(lines->Text(), CP_ACP),
                                             lines->FirstLineNumber(), lines->Stream());
}

// A reading thread needs little stack.
constexpr SIZE_T kReadStack = 256u << 10;

}  // namespace

struct TPrevLogReader::TShared {
    TCriticalSection cs;
    HWND target = nullptr;    // nullptr once the reader is gone
    uint64_t newest = 0;      // the number of the newest read started
    uint64_t doneNumber = 0;  // the read whose text waits to be taken
    std::string donePath;
    TLogLinesPtr doneLines;
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
        TLogLinesPtr lines = ReadLogTail(job->path);
        TShared& shared = *job->shared;
        TLock lock(shared.cs);
        if (shared.target && job->number == shared.newest) {
            shared.doneNumber = job->number;
            shared.donePath = job->path;
            shared.doneLines = std::move(lines);
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
    HANDLE thread = CreateThread(nullptr, kReadStack, &ReadEntry, job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        runningReads--;
        delete job;
        return number;
    }
    CloseHandle(thread);
    return number;
}

bool TPrevLogReader::Take(WPARAM readNumber, std::string& path, TLogLinesPtr& lines)
{
    TLock lock(shared_->cs);
    if (shared_->doneNumber == 0 || shared_->doneNumber != shared_->newest ||
        static_cast<WPARAM>(shared_->doneNumber) != readNumber)
        return false;
    path = std::move(shared_->donePath);
    lines = std::move(shared_->doneLines);
    shared_->doneNumber = 0;
    shared_->donePath.clear();
    shared_->doneLines.reset();
    return true;
}
