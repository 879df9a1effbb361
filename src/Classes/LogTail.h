// Reads a client log into a snapshot whose size does not follow the log's:
// the newest lines up to a window of bytes, and above them the few earlier
// lines that the parse of a client still looks for (the file's first line,
// the last two project lines with the fifty lines above each, the last
// run/clone/gen line, the last user line, the last progress line, and the
// fifty lines right above the window). A client log of any length thus
// costs about the window, and a log that keeps growing costs no more.
//
// Between reads the reader remembers where the last one ended: an unchanged
// file gives the same snapshot again without reading it, a file that only
// grew is read on from there (its earlier lines are not read again), and
// anything else (a shorter file, other bytes where the last read ended) is
// read afresh as a new stream.
//
// Lines longer than kMaxLineBytes are cut to that length (the rest of such a
// line is passed over). An earlier line is kept as the window held it, up to
// that length: the fields the parse reads are at a line's end, and a line
// that a crash began with zero bytes ends with them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Classes/LogLines.h"
#include "platform/FileStamp.h"

class TLogTailReader {
public:
    static constexpr size_t kWindowBytes = 1u << 20;
    static constexpr size_t kMaxLineBytes = 64u << 10;
    // Lines kept above a project line and above the window.
    static constexpr int kLinesAbove = 50;

    // What a read makes of a file whose size and write time are those of
    // the last read (a rewrite within the file system's time resolution
    // keeps both).
    enum class TSameStamp {
        kTrust,       // the file is as the last read left it: not read
        kLookAtEnd,   // the bytes the last read ended with are read again; the
                      // file is read from its start only when they differ
        kReadAgain,   // read from the start whatever size and write time say
    };

    explicit TLogTailReader(size_t windowBytes = kWindowBytes);

    // Reads the file at path (shared for reading, writing and deleting with
    // the client). False when it cannot be opened or read, or when stop()
    // said so between two pieces; the reader then starts afresh next time.
    // A read from the start that shows what the last read showed leaves the
    // last snapshot standing.
    bool Read(const std::string& path, TLogLinesPtr& out, const std::function<bool()>& stop = {},
              TSameStamp sameStamp = TSameStamp::kTrust);
    // Reads the end of the file alone, for a log that is only shown: its
    // last window, from the first line that begins in it. Nothing above is
    // read, so the snapshot has no earlier lines and does not count the
    // lines above (a file of any size costs a window). The next Read starts
    // afresh.
    bool ReadEnd(const std::string& path, TLogLinesPtr& out, const std::function<bool()>& stop = {});
    // True when the last read was of this file as the stamp shows it (its
    // size and write time): a read now would give the same snapshot.
    bool Holds(const std::string& path, const TFileStamp& stamp) const;
    // Forgets everything: the next read is a new stream.
    void Reset();
    // Why the last read failed (a system error code; ERROR_NOT_ENOUGH_MEMORY
    // when memory ran out), 0 after a read that worked.
    DWORD LastError() const { return error_; }
    // The snapshot of the last read (nullptr before any).
    const TLogLinesPtr& Snapshot() const { return snapshot_; }

private:
    using TKept = std::pair<int64_t, std::string>;   // file line number, text

    // Appends the bytes to the window (long lines cut); the oldest lines
    // leave it now and then, and at the end of a read (TrimWindow).
    void Append(const char* data, size_t n);
    void TrimWindow();
    // What the window may come to hold: kept bytes and coming ones.
    size_t Room(size_t kept, uint64_t coming) const;
    // Where the lines that begin before target (a place in the window) end.
    size_t GoneEnd(size_t target) const;
    // The window's first lines leave it (the text of whole lines): those
    // the parse may need are remembered.
    void Drop(std::string_view gone);
    std::vector<std::string> EarlierLines() const;
    bool ReadFrom(HANDLE h, uint64_t from, uint64_t to, const std::function<bool()>& stop);
    // Whether the bytes the last read ended with are still there.
    bool EndsAsRead(HANDLE h) const;
    void Start(const std::string& path);

    bool Fail(DWORD error);
    // Opens path (shared with the client) and returns read(handle); a file
    // that cannot be opened, or memory that runs out, fails the read.
    template <class F>
    bool OnFile(const std::string& path, F read);

    size_t windowBytes_;
    DWORD error_ = 0;
    std::string path_;
    uint64_t stream_ = 0;
    uint64_t consumed_ = 0;        // bytes of the file read so far
    uint64_t written_ = 0;         // the file's write time at the last read
    std::string lastBytes_;        // the file's bytes just before consumed_
    TLogLinesPtr snapshot_;

    // The window being filled, and where it starts in the file.
    std::string window_;
    int64_t firstLine_ = 0;
    size_t lineLength_ = 0;        // of the window's unfinished last line
    // Lines above the window.
    std::string firstFileLine_;
    bool haveFirstFileLine_ = false;
    std::deque<TKept> above_;                // the last kLinesAbove
    std::vector<TKept> projects_[2];         // [1] the newest project line and the lines above it
    TKept runCloneGen_{-1, {}}, user_{-1, {}}, progress_{-1, {}};
};

// A new stream number for a snapshot made outside a reader.
uint64_t NewLogStream();
// Whether the file opens for reading as the reader opens it (shared with a
// client writing or deleting it); closed again at once.
bool CanOpenShared(const std::string& path);
