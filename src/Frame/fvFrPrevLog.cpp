#include "Frame/fvFrPrevLog.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "Classes/LogTail.h"
#include "platform/Application.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace {

std::atomic<long> runningThreads{0};

// The end of the file that the log frame shows, shared for reading and
// writing with a client that may be writing it, in UTF-8; empty when it
// cannot be read or stop() said so.
TLogLinesPtr ReadLogEnd(const std::string& path, const std::function<bool()>& stop)
{
    TLogLinesPtr lines;
    TLogTailReader reader;
    if (path.empty() || !reader.ReadEnd(path, lines, stop))
        return EmptyLogLines();
    if (IsValidUtf8(lines->Text()))
        return lines;
    return std::make_shared<const TLogLines>(std::vector<std::string>{}, CodePageToUtf8(lines->Text(), CP_ACP), 0,
                                             lines->Stream(), !lines->LinesAboveCounted());
}

// A reading thread needs little stack.
constexpr SIZE_T kReadStack = 256u << 10;

}  // namespace

struct TPrevLogReader::TShared {
    TCriticalSection cs;
    HWND target = nullptr;    // nullptr once the reader is gone
    uint64_t newest = 0;      // the number of the newest read asked for
    std::string newestPath;
    bool waiting = false;     // the newest read waits for a thread
    int threads = 0;          // reading threads alive
    uint64_t doneNumber = 0;  // the read whose text waits to be taken
    std::string donePath;
    TLogLinesPtr doneLines;
};

DWORD WINAPI TPrevLogReader::ReadEntry(LPVOID p)
{
    // The thread's own hold on the shared state.
    const std::unique_ptr<std::shared_ptr<TShared>> hold(static_cast<std::shared_ptr<TShared>*>(p));
    TShared& shared = **hold;
    for (;;) {
        uint64_t number = 0;
        std::string path;
        {
            TLock lock(shared.cs);
            if (!shared.waiting || !shared.target) {
                shared.threads--;
                runningThreads--;
                break;
            }
            shared.waiting = false;
            number = shared.newest;
            path = std::move(shared.newestPath);
        }
        try {
            TLogLinesPtr lines = ReadLogEnd(path, [&] {
                TLock lock(shared.cs);
                return number != shared.newest || !shared.target;
            });
            TLock lock(shared.cs);
            if (shared.target && number == shared.newest) {
                shared.doneNumber = number;
                shared.donePath = std::move(path);
                shared.doneLines = std::move(lines);
                PostMessageW(shared.target, WM_PREVLOGLOADED, static_cast<WPARAM>(number), 0);
            }
        } catch (...) {
            Application().PostException(std::current_exception());
        }
    }
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
    shared_->waiting = false;
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
    return runningThreads.load();
}

uint64_t TPrevLogReader::Start(const std::string& path)
{
    std::string kept = path;
    TLock lock(shared_->cs);
    const uint64_t number = ++shared_->newest;
    shared_->newestPath = std::move(kept);
    shared_->waiting = true;
    // A thread that is busy with an older read stops it and takes this one;
    // a second thread starts only while fewer run.
    if (shared_->threads < kMaxThreads) {
        auto* hold = new std::shared_ptr<TShared>(shared_);
        HANDLE thread = CreateThread(nullptr, kReadStack, &ReadEntry, hold, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread) {
            shared_->threads++;
            runningThreads++;
            CloseHandle(thread);
        } else {
            delete hold;
        }
    }
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
