#include "platform/FileUtil.h"

#include <windows.h>

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/FileStamp.h"
#include "platform/Sync.h"
#include "platform/Text.h"

namespace {

TCriticalSection& TextsLock()
{
    static TCriticalSection cs;
    return cs;
}

TFileTexts& Texts()
{
    static TFileTexts texts;
    return texts;
}

}  // namespace

void SetFileTexts(const TFileTexts& texts)
{
    TLock lock(TextsLock());
    Texts() = texts;
}

std::string FileText(std::string TFileTexts::*text, std::initializer_list<std::string> args)
{
    std::string pattern;
    {
        TLock lock(TextsLock());
        pattern = Texts().*text;
    }
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
            if (next != args.end())
                out += *next++;
            ++i;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

std::string SystemErrorText(DWORD code)
{
    // Reasons of our own: in the program's language, whatever the system's is.
    switch (code) {
    case ERROR_FILE_TOO_LARGE:
        return FileText(&TFileTexts::FileTooLarge);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return FileText(&TFileTexts::NotEnoughMemory);
    default:
        break;
    }
    wchar_t* buf = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text = buf ? Trim(WideToUtf8(buf)) : std::string();
    if (buf)
        LocalFree(buf);
    return text.empty() ? "error " + std::to_string(code) : text;
}

bool TryReadFileText(const std::string& path, std::string& out, uint64_t maxBytes)
{
    out.clear();
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) != 0;
    // The last error tells a caller why: the size, or memory, too.
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (ok && static_cast<uint64_t>(size.QuadPart) > maxBytes) {
        ok = false;
        error = ERROR_FILE_TOO_LARGE;
    }
    if (ok) {
        try {
            out.resize(static_cast<size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            ok = false;
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    size_t got = 0;
    while (ok && got < out.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(out.size() - got, 1u << 24));
        DWORD read = 0;
        if (!ReadFile(h, out.data() + got, chunk, &read, nullptr)) {
            ok = false;
            error = GetLastError();
            break;
        }
        if (read == 0)
            break;   // the file shrank while we read it
        got += read;
    }
    CloseHandle(h);
    if (!ok) {
        out.clear();
        SetLastError(error);
        return false;
    }
    out.resize(got);
    return true;
}

std::string ReadFileText(const std::string& path, uint64_t maxBytes)
{
    std::string out;
    if (!TryReadFileText(path, out, maxBytes)) {
        DWORD code = GetLastError();
        throw EFileError("Cannot read file \"" + path + "\": " + SystemErrorText(code));
    }
    return out;
}

void WriteFileAtomic(const std::string& path, std::string_view data, bool replaceReadOnly)
{
    TAtomicFileWriter writer(path, replaceReadOnly);
    writer.Write(data);
    writer.Commit();
}

namespace {
constexpr size_t kWriterBuffer = 64u << 10;
}  // namespace

TAtomicFileWriter::TAtomicFileWriter(std::string path, bool replaceReadOnly)
    : path_(std::move(path)), tmp_(path_ + ".tmp"), replaceReadOnly_(replaceReadOnly)
{
    handle_ = CreateFileW(Utf8ToWide(tmp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        handle_ = nullptr;
        throw EFileError(FileText(&TFileTexts::NotCreated, {tmp_, SystemErrorText(code)}));
    }
}

TAtomicFileWriter::~TAtomicFileWriter()
{
    if (handle_) {
        CloseHandle(handle_);
        DeleteFileW(Utf8ToWide(tmp_).c_str());
    }
}

void TAtomicFileWriter::Fail(DWORD code)
{
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
    DeleteFileW(Utf8ToWide(tmp_).c_str());
    throw EFileError(FileText(&TFileTexts::NotWritten, {path_, SystemErrorText(code)}));
}

void TAtomicFileWriter::Write(std::string_view data)
{
    if (!handle_)
        return;
    if (buffer_.size() + data.size() > kWriterBuffer)
        Flush();
    if (data.size() < kWriterBuffer) {
        if (buffer_.capacity() < kWriterBuffer)
            buffer_.reserve(kWriterBuffer);
        buffer_.append(data);
        return;
    }
    size_t done = 0;
    while (done < data.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(handle_, data.data() + done, chunk, &written, nullptr) || written == 0)
            Fail(GetLastError());
        done += written;
    }
}

void TAtomicFileWriter::Flush()
{
    size_t done = 0;
    while (done < buffer_.size()) {
        DWORD written = 0;
        if (!WriteFile(handle_, buffer_.data() + done, static_cast<DWORD>(buffer_.size() - done), &written, nullptr) ||
            written == 0)
            Fail(GetLastError());
        done += written;
    }
    buffer_.clear();
}

void TAtomicFileWriter::Commit()
{
    if (!handle_)
        return;
    Flush();
    if (!FlushFileBuffers(handle_))
        Fail(GetLastError());
    CloseHandle(handle_);
    handle_ = nullptr;
    // The file keeps its attributes (the new one was made plain).
    const std::wstring wpath = Utf8ToWide(path_), wtmp = Utf8ToWide(tmp_);
    const DWORD attributes = GetFileAttributesW(wpath.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool readOnly = existed && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly && !replaceReadOnly_)
        Fail(ERROR_ACCESS_DENIED);
    if (readOnly)
        SetFileAttributesW(wpath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DWORD code = ERROR_SUCCESS;
    if (!MoveFileExW(wtmp.c_str(), wpath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = GetLastError();
    if (existed)
        SetFileAttributesW(wpath.c_str(), attributes);
    if (code != ERROR_SUCCESS)
        Fail(code);
}

bool FileExists(const std::string& path)
{
    DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path)
{
    std::string p = path;
    while (!p.empty() && (p.back() == '\\' || p.back() == '/'))
        p.pop_back();
    if (p.empty())
        return false;
    if (DirectoryExists(p))
        return true;
    std::string parent = ExtractFilePath(p);
    if (!parent.empty() && parent.size() < p.size() && parent.back() != ':' &&
        !(parent.size() == 3 && parent[1] == ':')) {
        if (!ForceDirectories(parent))
            return false;
    }
    return CreateDirectoryW(Utf8ToWide(p).c_str(), nullptr) || DirectoryExists(p);
}

bool DeleteFileUtf8(const std::string& path) { return DeleteFileW(Utf8ToWide(path).c_str()) != 0; }

bool RenameFileUtf8(const std::string& from, const std::string& to)
{
    return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

int64_t FileSizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &d))
        return -1;
    return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

TFileStamp FileStampOf(const std::string& path)
{
    TFileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &d) ||
        (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    stamp.written = (static_cast<uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

std::vector<std::string> FindFiles(const std::string& pattern)
{
    std::vector<std::string> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Utf8ToWide(pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            out.push_back(WideToUtf8(fd.cFileName));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

static size_t LastDelimiter(std::string_view path)
{
    size_t p = path.find_last_of("\\/:");
    return p;
}

std::string ExtractFilePath(std::string_view path)
{
    size_t p = LastDelimiter(path);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path)
{
    size_t p = LastDelimiter(path);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFileExt(std::string_view path)
{
    size_t p = path.find_last_of(".\\/:");
    if (p == std::string_view::npos || path[p] != '.')
        return {};
    return std::string(path.substr(p));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext)
{
    size_t p = path.find_last_of(".\\/:");
    std::string_view base = (p != std::string_view::npos && path[p] == '.') ? path.substr(0, p) : path;
    return std::string(base) + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path)
{
    std::string out(path);
    if (out.empty() || (out.back() != '\\' && out.back() != '/'))
        out += '\\';
    return out;
}

std::string ExeFileName()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            return WideToUtf8(buf);
        }
        buf.resize(buf.size() * 2);
    }
}

std::string ExeFolder() { return ExtractFilePath(ExeFileName()); }

std::string TempFolder()
{
    wchar_t buf[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    return IncludeTrailingPathDelimiter(WideToUtf8(std::wstring_view(buf, n)));
}
