#include "platform/Exceptions.h"

#include <cstring>

static std::string BaseName(const char* file)
{
    const char* slash = std::strrchr(file, '/');
    const char* back = std::strrchr(file, '\\');
    const char* p = slash > back ? slash : back;
    return p ? p + 1 : file;
}

EAssertionFailed::EAssertionFailed(const std::string& message, const char* file, int line)
    : Exception(message + " (" + BaseName(file) + ", line " + std::to_string(line) + ")"),
      file_(BaseName(file)), line_(line)
{
}

void AssertFailed(const std::string& message, const char* file, int line)
{
    throw EAssertionFailed(message.empty() ? std::string("Assertion failed") : message, file, line);
}
