// Records in the Windows event log under the program's title as the source.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// How the logger meets the event log. The defaults are the real calls; tests
// hand in their own (Wine keeps no records).
struct TEventSink {
    std::function<HANDLE(const std::string& sourceName)> Register;
    std::function<bool(HANDLE source, WORD eventType, WORD category, DWORD id, const std::string& text)> Report;
    std::function<void(HANDLE source)> Deregister;
};

class TEventLogger {
public:
    explicit TEventLogger(const std::string& sourceName);
    TEventLogger(const std::string& sourceName, TEventSink sink);
    ~TEventLogger();
    TEventLogger(const TEventLogger&) = delete;
    TEventLogger& operator=(const TEventLogger&) = delete;

    // Writes one record with one string. The source is registered with the
    // first record; a source that cannot be registered is tried again with
    // the next one. False when the record was not written.
    bool LogMessage(const std::string& text, WORD eventType = EVENTLOG_INFORMATION_TYPE, DWORD id = 0,
                    WORD category = 0);

    const std::string& SourceName() const { return sourceName_; }
    bool Registered() const { return eventSource_ != nullptr; }

private:
    std::string sourceName_;
    HANDLE eventSource_ = nullptr;
    TEventSink sink_;
};

// The program's logger, made on the first call with the application title as
// its source and freed when the program ends.
TEventLogger& GetEventLogger();
