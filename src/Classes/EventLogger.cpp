#include "Classes/EventLogger.h"

#include <memory>
#include <mutex>

#include "platform/Application.h"
#include "platform/Text.h"

namespace {

HANDLE RegisterSource(const std::string& name)
{
    return RegisterEventSourceW(nullptr, Utf8ToWide(name).c_str());
}

bool ReportRecord(HANDLE source, WORD eventType, WORD category, DWORD id, const std::string& text)
{
    std::wstring w = Utf8ToWide(text);
    LPCWSTR strings[1] = {w.c_str()};
    return ReportEventW(source, eventType, category, id, nullptr, 1, 0, strings, nullptr) != 0;
}

void DeregisterSource(HANDLE source) { DeregisterEventSource(source); }

}  // namespace

TEventLogger::TEventLogger(const std::string& sourceName) : TEventLogger(sourceName, TEventSink{}) {}

TEventLogger::TEventLogger(const std::string& sourceName, TEventSink sink)
    : sourceName_(sourceName), sink_(std::move(sink))
{
    if (!sink_.Register)
        sink_.Register = RegisterSource;
    if (!sink_.Report)
        sink_.Report = ReportRecord;
    if (!sink_.Deregister)
        sink_.Deregister = DeregisterSource;
}

TEventLogger::~TEventLogger()
{
    if (eventSource_)
        sink_.Deregister(eventSource_);
}

bool TEventLogger::LogMessage(const std::string& text, WORD eventType, DWORD id, WORD category)
{
    if (!eventSource_)
        eventSource_ = sink_.Register(sourceName_);
    if (!eventSource_)
        return false;
    return sink_.Report(eventSource_, eventType, category, id, text);
}

TEventLogger& GetEventLogger()
{
    static std::unique_ptr<TEventLogger> logger;
    static std::once_flag once;
    std::call_once(once, [] { logger = std::make_unique<TEventLogger>(Application().Title()); });
    return *logger;
}
