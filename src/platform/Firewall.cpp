#include "platform/Firewall.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "platform/Text.h"

namespace {
std::mutex g_handlerLock;
TExceptionHandler g_handler;

void DefaultHandler(const std::string& message)
{
    OutputDebugStringW(Utf8ToWide("Brenix: " + message + "\n").c_str());
    fprintf(stderr, "Brenix: %s\n", message.c_str());
}
}  // namespace

void SetExceptionHandler(TExceptionHandler handler)
{
    std::lock_guard<std::mutex> lock(g_handlerLock);
    g_handler = std::move(handler);
}

std::string ExceptionMessage(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "Unknown exception";
    }
}

void HandleException(const std::exception_ptr& e) noexcept
{
    try {
        std::string message = ExceptionMessage(e);
        TExceptionHandler handler;
        {
            std::lock_guard<std::mutex> lock(g_handlerLock);
            handler = g_handler;
        }
        if (handler)
            handler(message);
        else
            DefaultHandler(message);
    } catch (...) {
        // The handler itself failed: nothing more can be done here.
    }
}

void HandleCurrentException() noexcept { HandleException(std::current_exception()); }
