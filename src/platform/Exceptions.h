// The program's exception base and the assertion that is never compiled out.
#pragma once
#include <stdexcept>
#include <string>

// Base of every exception the program raises; what() is UTF-8.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class EConvertError : public Exception { using Exception::Exception; };
class EFileError : public Exception { using Exception::Exception; };
class ERegistryError : public Exception {
public:
    explicit ERegistryError(const std::string& message, long code = 0) : Exception(message), code_(code) {}
    // The system's error code; 0 when there is none.
    long Code() const { return code_; }

private:
    long code_;
};
// An operation the object cannot do in its present state.
class EInvalidOperation : public Exception { using Exception::Exception; };

// An internal consistency failure. The message carries the source name and line.
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const std::string& message, const char* file, int line);
    const std::string& SourceFile() const { return file_; }
    int SourceLine() const { return line_; }

private:
    std::string file_;
    int line_;
};

[[noreturn]] void AssertFailed(const std::string& message, const char* file, int line);

// Always checked, in every build.
#define BX_ASSERT(cond, message)                                   \
    do {                                                           \
        if (!(cond))                                               \
            ::AssertFailed((message), __FILE__, __LINE__);         \
    } while (0)
