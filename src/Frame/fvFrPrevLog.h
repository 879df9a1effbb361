// The reader of the selected client's previous log ("FAHlog-Prev.txt").
//
// Each read runs on a thread of its own and carries the path it was started
// for and its number. The threads hold only the reader's shared state (never
// the frame): a read that ends after a newer one was started is dropped, and
// a read that ends after the frame is gone posts nothing. The newest read
// that finishes stores its lines under the shared lock and posts
// WM_PREVLOGLOADED (wParam: the read's number) to the target window.
//
// A long previous log is read as the client's log is: only its newest lines
// are kept (TLogTailReader), whatever the file's size.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Classes/LogLines.h"

constexpr UINT WM_PREVLOGLOADED = WM_USER + 600;

class TPrevLogReader {
public:
    explicit TPrevLogReader(HWND target = nullptr);
    // Running reads are cut loose: they end on their own and post nothing.
    ~TPrevLogReader();
    TPrevLogReader(const TPrevLogReader&) = delete;
    TPrevLogReader& operator=(const TPrevLogReader&) = delete;

    void SetTarget(HWND target);
    // Starts a read of path on a new thread; a missing file or an empty path
    // reads as an empty text. Returns the read's number.
    uint64_t Start(const std::string& path);
    // On WM_PREVLOGLOADED: the lines (UTF-8) and path of the newest read
    // when the message is from it and it was not taken yet; false for a
    // message of an older read.
    bool Take(WPARAM readNumber, std::string& path, TLogLinesPtr& lines);
    // The number of the newest read started (0 before any).
    uint64_t Newest() const;
    // Reads still running (tests wait for them to end).
    static long Running();

private:
    struct TShared;
    struct TJob;
    static DWORD WINAPI ReadEntry(LPVOID job);
    std::shared_ptr<TShared> shared_;
};
