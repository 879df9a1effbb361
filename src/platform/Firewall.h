// No C++ exception may cross a Win32 frame (window procedure, hook, timer,
// COM method, thread entry): each such boundary catches and hands the error to
// one application-wide handler.
#pragma once
#include <exception>
#include <functional>
#include <string>

// The handler receives the exception's message (UTF-8). It runs on the thread
// that caught the exception; an exception it throws itself is swallowed.
using TExceptionHandler = std::function<void(const std::string& message)>;
void SetExceptionHandler(TExceptionHandler handler);

// The message of an exception pointer ("Unknown exception" for non-std ones).
std::string ExceptionMessage(const std::exception_ptr& e);

// Call inside a catch block: passes the exception in flight to the handler.
void HandleCurrentException() noexcept;
// Passes a given exception to the handler.
void HandleException(const std::exception_ptr& e) noexcept;

// Runs f; an exception is handed to the handler and `fallback` returned.
template <class R, class F>
R Guarded(R fallback, F&& f) noexcept
{
    try {
        return f();
    } catch (...) {
        HandleCurrentException();
        return fallback;
    }
}

template <class F>
void Guarded(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        HandleCurrentException();
    }
}
