// Owners of device contexts, selections and GDI objects: whatever happens
// between, an exception included, the destructor puts the DC back as it was
// and frees what was made.
#pragma once
#include <windows.h>

#include <utility>

// BeginPaint ... EndPaint of a window.
class TPaintDC {
public:
    explicit TPaintDC(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
    ~TPaintDC()
    {
        if (dc_)
            EndPaint(hwnd_, &ps_);
    }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    HDC Handle() const { return dc_; }
    const PAINTSTRUCT& Info() const { return ps_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// GetDC ... ReleaseDC (hwnd nullptr: the screen).
class TWindowDC {
public:
    explicit TWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~TWindowDC()
    {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Handle() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// GetWindowDC ... ReleaseDC: the whole window, non-client area included.
class TWholeWindowDC {
public:
    explicit TWholeWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetWindowDC(hwnd)) {}
    ~TWholeWindowDC()
    {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    TWholeWindowDC(const TWholeWindowDC&) = delete;
    TWholeWindowDC& operator=(const TWholeWindowDC&) = delete;
    HDC Handle() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// CreateCompatibleDC ... DeleteDC.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC compatibleWith = nullptr) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~TMemoryDC()
    {
        if (dc_)
            DeleteDC(dc_);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    HDC Handle() const { return dc_; }

private:
    HDC dc_;
};

// SaveDC ... RestoreDC: clipping, origins, modes and selections come back.
class TDCSave {
public:
    explicit TDCSave(HDC dc) : dc_(dc), saved_(dc ? SaveDC(dc) : 0) {}
    ~TDCSave()
    {
        if (saved_)
            RestoreDC(dc_, saved_);
    }
    TDCSave(const TDCSave&) = delete;
    TDCSave& operator=(const TDCSave&) = delete;

private:
    HDC dc_;
    int saved_;
};

// SelectObject of a font, pen, brush or bitmap, and the old one selected back.
class TSelection {
public:
    TSelection() = default;
    TSelection(HDC dc, HGDIOBJ object) { Select(dc, object); }
    ~TSelection() { Restore(); }
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;

    void Select(HDC dc, HGDIOBJ object)
    {
        Restore();
        if (!dc || !object)
            return;
        HGDIOBJ old = SelectObject(dc, object);
        if (old && old != HGDI_ERROR) {
            dc_ = dc;
            old_ = old;
        }
    }
    void Restore()
    {
        if (dc_)
            SelectObject(dc_, old_);
        dc_ = nullptr;
        old_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// A GDI object this code made (CreateSolidBrush, CreatePen, CreateDIBSection...),
// deleted with the owner. Declare it before the TSelection that selects it, so
// it is deselected first.
template <class H>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(H handle) : handle_(handle) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    TGdiObject(TGdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }

    H Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(H handle = nullptr)
    {
        if (handle_ && handle_ != handle)
            DeleteObject(handle_);
        handle_ = handle;
    }
    H Release() { return std::exchange(handle_, nullptr); }

private:
    H handle_ = nullptr;
};
