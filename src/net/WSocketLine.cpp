// Line mode: received data is collected and handed out one line at a time.
#include <algorithm>
#include <cstring>

#include "net/WSocket.h"

TCustomLineWSocket::TCustomLineWSocket() = default;

TCustomLineWSocket::~TCustomLineWSocket() = default;

void TCustomLineWSocket::SetLineMode(bool v)
{
    if (v == lineMode_)
        return;
    lineMode_ = v;
    lineLength_ = 0;
    lineFound_ = false;
    if (!rcvdBuf_.empty())
        PostMessageW(WindowHandle(), WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

int TCustomLineWSocket::SendLine(const std::string& line)
{
    if (SendStr(line + lineEnd_) < 0)
        return -1;
    return static_cast<int>(line.size()) + 2;
}

LRESULT TCustomLineWSocket::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TRIGGER_DATA_AVAILABLE) {
        TriggerBufferedData();
        return 0;
    }
    return TCustomSocksWSocket::WndProc(msg, wParam, lParam);
}

void TCustomLineWSocket::ReadIntoLineBuffer()
{
    char chunk[4096];
    for (;;) {
        int room = lineLimit_ - static_cast<int>(rcvdBuf_.size());
        if (room <= 0)
            return;
        int want = std::min(room, static_cast<int>(sizeof chunk));
        int n = TCustomSocksWSocket::Receive(chunk, want);
        if (n <= 0) {
            if (n < 0 && lastError_ == WSAEWOULDBLOCK)
                lastError_ = 0;
            return;
        }
        std::string echo;
        for (int i = 0; i < n; ++i) {
            char c = chunk[i];
            if (lineEdit_ && c == '\b') {
                // Never edits into a line that is already complete.
                if (static_cast<int>(rcvdBuf_.size()) > lineLength_) {
                    rcvdBuf_.pop_back();
                    if (lineEcho_)
                        echo += "\b \b";
                }
                continue;
            }
            rcvdBuf_ += c;
            if (lineEcho_)
                echo += c;
        }
        if (lineEcho_ && !echo.empty() && (state_ == wsConnected))
            SendStr(echo);
        if (n < want)
            return;
    }
}

bool TCustomLineWSocket::FindLine()
{
    if (lineLength_ > 0)
        return true;
    if (lineEnd_.empty())
        return false;
    size_t pos = rcvdBuf_.find(lineEnd_);
    if (pos == std::string::npos)
        return false;
    lineLength_ = static_cast<int>(pos + lineEnd_.size());
    lineFound_ = true;
    return true;
}

// Hands every complete line to OnDataAvailable. Returns true when a line went out.
bool TCustomLineWSocket::DeliverLines(WORD error)
{
    bool any = false;
    while (lineMode_ && !rcvdBuf_.empty()) {
        if (!FindLine()) {
            if (static_cast<int>(rcvdBuf_.size()) < lineLimit_)
                break;
            bool clearData = false;
            if (OnLineLimitExceeded)
                OnLineLimitExceeded(static_cast<int>(rcvdBuf_.size()), clearData);
            if (clearData) {
                rcvdBuf_.clear();
                lineLength_ = 0;
                break;
            }
            // No line end within the limit: what we have goes out as one line.
            lineLength_ = static_cast<int>(rcvdBuf_.size());
        }
        size_t before = rcvdBuf_.size();
        if (!TCustomSocksWSocket::TriggerDataAvailable(error)) {
            // Nobody reads: the line is dropped like unread data.
            rcvdBuf_.erase(0, static_cast<size_t>(lineLength_));
            lineLength_ = 0;
            continue;
        }
        any = true;
        if (rcvdBuf_.size() == before)
            break;   // the handler read nothing; the line stays ready
    }
    return any;
}

bool TCustomLineWSocket::TriggerDataAvailable(WORD error)
{
    if (!lineMode_ || lineEnd_.empty())
        return TCustomSocksWSocket::TriggerDataAvailable(error);
    if (inLineTrigger_)
        return true;
    inLineTrigger_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{inLineTrigger_};
    ReadIntoLineBuffer();
    DeliverLines(error);
    if (!lineMode_ && !rcvdBuf_.empty())
        PostMessageW(WindowHandle(), WM_TRIGGER_DATA_AVAILABLE, 0, 0);
    return true;
}

void TCustomLineWSocket::TriggerBufferedData()
{
    if (rcvdBuf_.empty())
        return;
    if (lineMode_) {
        DeliverLines(0);
        return;
    }
    while (!rcvdBuf_.empty()) {
        size_t before = rcvdBuf_.size();
        if (!TCustomSocksWSocket::TriggerDataAvailable(0)) {
            rcvdBuf_.clear();
            break;
        }
        if (rcvdBuf_.size() == before || lineMode_)
            break;
    }
}

int TCustomLineWSocket::Receive(void* buffer, int len)
{
    if (len < 0)
        len = 0;
    if (lineMode_ && !lineEnd_.empty()) {
        if (lineLength_ <= 0) {
            lastError_ = WSAEWOULDBLOCK;
            return -1;
        }
        int n = std::min(len, lineLength_);
        std::memcpy(buffer, rcvdBuf_.data(), static_cast<size_t>(n));
        rcvdBuf_.erase(0, static_cast<size_t>(n));
        lineLength_ -= n;
        if (lineLength_ == 0)
            lineFound_ = false;
        if (n > 0)
            ++receiveCalls_;
        return n;
    }
    if (!rcvdBuf_.empty()) {
        int n = std::min(len, static_cast<int>(rcvdBuf_.size()));
        std::memcpy(buffer, rcvdBuf_.data(), static_cast<size_t>(n));
        rcvdBuf_.erase(0, static_cast<size_t>(n));
        if (n > 0)
            ++receiveCalls_;
        return n;
    }
    return TCustomSocksWSocket::Receive(buffer, len);
}

int TCustomLineWSocket::GetRcvdCount()
{
    if (lineMode_ && !lineEnd_.empty()) {
        if (lineLength_ > 0)
            return lineLength_;
        return TCustomSocksWSocket::GetRcvdCount();
    }
    int below = TCustomSocksWSocket::GetRcvdCount();
    int buffered = static_cast<int>(rcvdBuf_.size());
    if (below < 0)
        return buffered > 0 ? buffered : below;
    return below + buffered;
}

void TCustomLineWSocket::TriggerSessionClosed(WORD error)
{
    if (lineMode_ && !rcvdBuf_.empty()) {
        DeliverLines(error);
        if (lineMode_ && !rcvdBuf_.empty()) {
            // What is left goes out as the last line.
            lineLength_ = static_cast<int>(rcvdBuf_.size());
            TCustomSocksWSocket::TriggerDataAvailable(error);
        }
    }
    TCustomSocksWSocket::TriggerSessionClosed(error);
}

void TCustomLineWSocket::InternalClose(bool shut, WORD error)
{
    struct TClear {
        TCustomLineWSocket& s;
        ~TClear()
        {
            s.rcvdBuf_.clear();
            s.rcvdBuf_.shrink_to_fit();
            s.lineLength_ = 0;
            s.lineFound_ = false;
        }
    } clear{*this};
    TCustomSocksWSocket::InternalClose(shut, error);
}
