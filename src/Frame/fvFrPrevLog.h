// The reader of the selected client's previous log ("FAHlog-Prev.txt").
//
// Each read carries the path it was started for and its number. Reads run
// on at most two threads of the reader's own: a new read waits for a thread
// that is free, or starts one while fewer than two run (so a read stuck on
// a slow share does not hold up the next selection). A read that is no
// longer the newest stops between two pieces of the file, and its text is
// dropped. The threads hold only the reader's shared state (never the
// frame): a read that ends after the frame is gone posts nothing. The newest
// read that finishes stores its lines under the shared lock and posts
// WM_PREVLOGLOADED (wParam: the read's number) to the target window.
//
// The previous log is only shown, and the log frame shows a window of a
// long log: only that window at the file's end is read, whatever the
// file's size.
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
    // Running reads stop at their next piece and post nothing.
    ~TPrevLogReader();
    TPrevLogReader(const TPrevLogReader&) = delete;
    TPrevLogReader& operator=(const TPrevLogReader&) = delete;

    void SetTarget(HWND target);
    // Asks for a read of path, which stops any older read; a missing file
    // or an empty path reads as an empty text. Returns the read's number.
    uint64_t Start(const std::string& path);
    // On WM_PREVLOGLOADED: the lines (UTF-8) and path of the newest read
    // when the message is from it and it was not taken yet; false for a
    // message of an older read.
    bool Take(WPARAM readNumber, std::string& path, TLogLinesPtr& lines);
    // The number of the newest read started (0 before any).
    uint64_t Newest() const;
    // Reading threads alive, of all readers (tests wait for them to end).
    static long Running();
    // Reading threads of one reader at most.
    static constexpr int kMaxThreads = 2;

private:
    struct TShared;
    static DWORD WINAPI ReadEntry(LPVOID shared);
    std::shared_ptr<TShared> shared_;
};
