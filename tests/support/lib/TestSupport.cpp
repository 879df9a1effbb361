#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>

#include "platform/Application.h"
#include "platform/FileUtil.h"
#include "platform/Firewall.h"
#include "platform/Resources.h"
#include "platform/Text.h"

namespace testing_support {

namespace {
std::mutex g_errorsLock;
std::vector<std::string> g_errors;
}  // namespace

TempDir::TempDir(const std::string& hint)
{
    static LONG counter = 0;
    for (;;) {
        std::string p = TempFolder() + hint + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                        std::to_string(InterlockedIncrement(&counter)) + "_" +
                        std::to_string(GetTickCount()) + "\\";
        if (CreateDirectoryW(Utf8ToWide(p).c_str(), nullptr)) {
            path_ = p;
            return;
        }
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path)
{
    std::string base = IncludeTrailingPathDelimiter(path);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Utf8ToWide(base + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = WideToUtf8(fd.cFileName);
            if (name == "." || name == "..")
                continue;
            std::string full = base + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(Utf8ToWide(full).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(Utf8ToWide(full).c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(Utf8ToWide(base).c_str());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    ForceDirectories(ExtractFilePath(path));
    WriteFileAtomic(path, bytes);
}

std::string ReadFile(const std::string& path) { return ReadFileText(path); }

static std::string UnixToWindows(const std::string& unixPath)
{
    // Wine maps the Unix root to drive Z:.
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string SourceDir()
{
    char* env = getenv("BRENIX_SOURCE_DIR");
    if (env && *env)
        return UnixToWindows(env) + "\\";
    return ExeFolder();
}

std::string RealDataDir()
{
    char* env = getenv("BRENIX_REALDATA");
    if (env && *env)
        return UnixToWindows(env) + "\\";
    return SourceDir() + "tests\\data\\realdata\\";
}

std::string RealDataFile(const std::string& name) { return RealDataDir() + name; }

std::string JpegClaiming(int width, int height)
{
    std::string jpeg = LoadRCData("ABOUT_JPEG");
    // The frame header (SOF0 to SOF2): length, precision, height, width.
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        auto at = [&](size_t k) { return static_cast<unsigned char>(jpeg[k]); };
        if (at(i) == 0xFF && at(i + 1) >= 0xC0 && at(i + 1) <= 0xC2) {
            jpeg[i + 5] = static_cast<char>(height >> 8);
            jpeg[i + 6] = static_cast<char>(height);
            jpeg[i + 7] = static_cast<char>(width >> 8);
            jpeg[i + 8] = static_cast<char>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "the built-in picture has no frame header";
    return jpeg;
}

std::string BitmapFileOf(int width, int height, int bpp, const std::vector<COLORREF>& palette,
                         const std::vector<std::string>& rows, DWORD compression, bool core)
{
    std::string info, colours, bits;
    for (const std::string& row : rows)
        bits += row;
    if (core) {
        BITMAPCOREHEADER h{sizeof h, static_cast<WORD>(width), static_cast<WORD>(height), 1, static_cast<WORD>(bpp)};
        info.assign(reinterpret_cast<const char*>(&h), sizeof h);
    } else {
        BITMAPINFOHEADER h{};
        h.biSize = sizeof h;
        h.biWidth = width;
        h.biHeight = height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(bpp);
        h.biCompression = compression;
        h.biClrUsed = static_cast<DWORD>(palette.size());
        h.biSizeImage = compression == BI_RGB ? 0 : static_cast<DWORD>(bits.size());
        info.assign(reinterpret_cast<const char*>(&h), sizeof h);
    }
    for (COLORREF c : palette) {
        const char entry[] = {static_cast<char>(GetBValue(c)), static_cast<char>(GetGValue(c)),
                              static_cast<char>(GetRValue(c)), 0};
        colours.append(entry, core ? 3 : 4);
    }
    BITMAPFILEHEADER f{};
    f.bfType = 0x4D42;
    f.bfOffBits = static_cast<DWORD>(sizeof f + info.size() + colours.size());
    f.bfSize = static_cast<DWORD>(f.bfOffBits + bits.size());
    return std::string(reinterpret_cast<const char*>(&f), sizeof f) + info + colours + bits;
}

std::string BmpFile(int width, int height, int bpp, size_t pixelBytes)
{
    return BitmapFileOf(width, height, bpp, {}, {std::string(pixelBytes, '\x80')});
}

std::string Utf16Bytes(const std::wstring& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

std::vector<std::string> CaughtErrors()
{
    std::lock_guard<std::mutex> lock(g_errorsLock);
    return g_errors;
}

void ClearCaughtErrors()
{
    std::lock_guard<std::mutex> lock(g_errorsLock);
    g_errors.clear();
}

bool HaveDisplay()
{
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!w)
        return false;
    DestroyWindow(w);
    return true;
}

long GdiObjectCount()
{
    SetLastError(0);
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return static_cast<long>(n);
    const unsigned char* peb = nullptr;
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
    const unsigned char* table = *reinterpret_cast<const unsigned char* const*>(peb + 0x94);
    if (!table)
        return -1;
    const size_t kEntry = 24, kEntries = 0x10000;
    MEMORY_BASIC_INFORMATION mbi;
    size_t readable = 0;
    while (readable < kEntry * kEntries && VirtualQuery(table + readable, &mbi, sizeof mbi) &&
           mbi.State == MEM_COMMIT && !(mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
        readable = static_cast<size_t>(static_cast<const unsigned char*>(mbi.BaseAddress) + mbi.RegionSize - table);
    long count = 0;
    for (size_t i = 0; i < kEntries && (i + 1) * kEntry <= readable; ++i)
        if (table[i * kEntry + 14] != 0)
            ++count;
    return count;
}

}  // namespace testing_support

// A crash in any thread ends the test executable at once with a clear line,
// instead of starting Wine's debugger and hanging until the time-out.
static LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info)
{
    fprintf(stderr, "\nCRASH: exception 0x%08lX at address %p\n",
            static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
            info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

namespace testing_support {

AddressSpaceFiller::AddressSpaceFiller(size_t block, size_t hole)
{
    auto fill = [&] {
        // Largest first, so what is left are holes smaller than block.
        for (size_t size = size_t(1) << 30; size >= block; size /= 2)
            while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
                blocks_.push_back(p);
                taken_ += size;
            }
    };
    // One block taken early makes the hole: everything else is taken around it.
    void* kept = hole ? VirtualAlloc(nullptr, hole, MEM_RESERVE, PAGE_NOACCESS) : nullptr;
    fill();
    if (kept)
        VirtualFree(kept, 0, MEM_RELEASE);
}

AddressSpaceFiller::~AddressSpaceFiller()
{
    for (void* p : blocks_)
        VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace testing_support

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(CrashFilter);
    testing::InitGoogleTest(&argc, argv);
    TApplication& app = Application();
    app.SetTitle("Brenix tests");
    app.Initialize();
    app.OnException = [](const std::string& message) {
        std::lock_guard<std::mutex> lock(testing_support::g_errorsLock);
        testing_support::g_errors.push_back(message);
    };
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    return RUN_ALL_TESTS();
}
