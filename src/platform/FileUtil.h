// Files and paths with UTF-8 names (Win32 W functions underneath).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Reads a whole file, sharing it for reading, writing and deleting (a running
// client keeps its log open). Throws EFileError when it can't be opened or read,
// or when it is larger than maxBytes.
std::string ReadFileText(const std::string& path, uint64_t maxBytes = 512ull << 20);
// Like ReadFileText, but false instead of an exception; GetLastError() then
// tells why (ERROR_FILE_TOO_LARGE over maxBytes).
bool TryReadFileText(const std::string& path, std::string& out, uint64_t maxBytes = 512ull << 20);
// Writes a file whole or not at all: a temporary file beside it, flushed, then
// renamed over the target. An existing target keeps its attributes; a
// read-only one is refused unless replaceReadOnly is set, and then stays
// read-only. Throws EFileError.
void WriteFileAtomic(const std::string& path, std::string_view data, bool replaceReadOnly = false);

// The same for text made piece by piece: what is written goes to the
// temporary file through a small buffer, so no copy of the whole text is
// ever held. Nothing replaces the target until Commit; a writer that goes
// without it removes its temporary file. Throws EFileError.
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(std::string path, bool replaceReadOnly = false);
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;
    void Write(std::string_view data);
    void Commit();

private:
    void Flush();
    void Fail(unsigned long code);
    std::string path_, tmp_;
    bool replaceReadOnly_;
    void* handle_;
    std::string buffer_;
};

// The words of this layer's own failures, in the program's language
// (English until the language tables set them). Each %s of a pattern takes
// the next argument: the file's name, then the reason.
struct TFileTexts {
    std::string FileTooLarge = "The file is too large";
    std::string NotEnoughMemory = "Not enough memory";
    std::string NotRead = "Cannot read file \"%s\": %s";
    std::string NotCreated = "Cannot create file \"%s\": %s";
    std::string NotWritten = "Cannot write file \"%s\": %s";
    std::string NotWholeUtf16 = "The file \"%s\" is not whole UTF-16 text";
    std::string NotText = "The file \"%s\" is not text this program can read";
};
void SetFileTexts(const TFileTexts& texts);
// One of the texts with its %s filled in (any thread may ask).
std::string FileText(std::string TFileTexts::*text, std::initializer_list<std::string> args = {});

// The system's text for a Win32 error code; for the reasons this layer gives
// itself (a file too large, no memory for it) the words of TFileTexts;
// "error N" when the system has no text.
std::string SystemErrorText(unsigned long code);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates a folder and its missing parents; false when it can't.
bool ForceDirectories(const std::string& path);
bool DeleteFileUtf8(const std::string& path);
bool RenameFileUtf8(const std::string& from, const std::string& to);   // replaces the target
// Size in bytes, -1 when the file can't be reached.
int64_t FileSizeOf(const std::string& path);
// Names (not paths) of the files matching a wildcard pattern such as "c:\\x\\*.dat".
std::vector<std::string> FindFiles(const std::string& pattern);

std::string ExtractFilePath(std::string_view path);   // up to and including the last '\' or '/'
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);    // with the dot
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);

// The running executable's full path and folder (with trailing backslash).
std::string ExeFileName();
std::string ExeFolder();
// The system's temporary folder, with a trailing backslash.
std::string TempFolder();
