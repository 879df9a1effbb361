// Shared helpers of the test executables.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    explicit TempDir(const std::string& hint = "bx");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With a trailing backslash.
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Recursively deletes a folder (UTF-8 path).
void RemoveTree(const std::string& path);
// Writes bytes to a file (creating parent folders).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The real client files shipped beside the repository (Windows path).
std::string RealDataDir();
std::string RealDataFile(const std::string& name);
// The repository's top folder (Windows path).
std::string SourceDir();

// The built-in JPEG picture with its frame header changed to claim
// width x height pixels (the data behind it stays that of a small picture).
std::string JpegClaiming(int width, int height);
// A Windows bitmap file with a BITMAPINFOHEADER (or, with core set, a
// BITMAPCOREHEADER), its palette and its rows as given (uncompressed rows
// padded to 4 bytes by the caller; a negative height: the top row first).
std::string BitmapFileOf(int width, int height, int bpp, const std::vector<COLORREF>& palette,
                         const std::vector<std::string>& rows, DWORD compression = BI_RGB, bool core = false);
// A Windows bitmap file: its headers say width x height at bpp bits per
// pixel, uncompressed; pixelBytes bytes of pixels follow (what a whole
// picture needs, or fewer for a cut file).
std::string BmpFile(int width, int height, int bpp, size_t pixelBytes);
// The text as UTF-16 bytes after their mark (Notepad's "Unicode", or its
// big-endian kind); substr(2) drops the mark.
std::string Utf16Bytes(const std::wstring& text, bool bigEndian = false);

// Messages that reached the application's exception handler during the test.
std::vector<std::string> CaughtErrors();
void ClearCaughtErrors();

// Pumps this thread's messages for up to ms milliseconds or until pred() holds.
template <class Pred>
bool PumpUntil(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
inline void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// Waits, handling nothing, up to ms until this thread's queue holds messages
// of this kind (QS_KEY, QS_TIMER).
inline bool WaitQueued(UINT kind, DWORD ms)
{
    for (DWORD start = GetTickCount(); !(HIWORD(GetQueueStatus(kind)) & kind);) {
        if (GetTickCount() - start >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, kind);
    }
    return true;
}

// For a helper thread (it pumps nothing): waits up to ms milliseconds until
// pred() holds; whether it does.
template <class Pred>
bool WaitUntil(Pred pred, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= ms)
            return pred();
        Sleep(10);
    }
    return true;
}

// True when windows can be made (a display is there).
bool HaveDisplay();

// Takes every free block of the address space of `block` bytes or more
// (as a program whose threads have used it up, with their stacks in
// between, finds it): while it lives, no allocation of that size succeeds,
// but for one hole of `hole` bytes when asked for. Nothing is committed;
// all of it goes back when the object goes.
class AddressSpaceFiller {
public:
    explicit AddressSpaceFiller(size_t block, size_t hole = 0);
    ~AddressSpaceFiller();
    AddressSpaceFiller(const AddressSpaceFiller&) = delete;
    AddressSpaceFiller& operator=(const AddressSpaceFiller&) = delete;
    size_t Taken() const { return taken_; }

private:
    std::vector<void*> blocks_;
    size_t taken_ = 0;
};

// GDI objects this process holds now. GetGuiResources answers 0 with
// ERROR_CALL_NOT_IMPLEMENTED under Wine; there the process's own GDI handle
// table is counted instead: the block the PEB points at (offset 0x94),
// 65,536 entries of 24 bytes whose type byte (offset 14) is 0 when free.
long GdiObjectCount();

}  // namespace testing_support
