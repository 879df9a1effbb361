#include "platform/StatusBar.h"

#include <commctrl.h>

#include "platform/Text.h"

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner)
{
    height_ = 19;
    width_ = 200;
    SetAlign(TAlign::alBottom);
}

void TStatusBar::CreateParams(TCreateParams& params)
{
    static bool initialised = false;
    if (!initialised) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        initialised = true;
    }
    params.className = STATUSCLASSNAMEW;
    params.systemClass = true;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER |
                   (sizeGrip_ ? SBARS_SIZEGRIP : 0);
}

void TStatusBar::CreateHandleDone()
{
    TWinControl::CreateHandleDone();
    UpdatePanels();
}

int TStatusBar::AddPanel(int width, const std::string& text)
{
    panels_.push_back(TStatusPanel{width, text});
    UpdatePanels();
    return PanelCount() - 1;
}

void TStatusBar::ClearPanels()
{
    panels_.clear();
    UpdatePanels();
}

void TStatusBar::SetPanelText(int index, const std::string& text)
{
    if (index < 0 || index >= PanelCount())
        return;
    panels_[static_cast<size_t>(index)].Text = text;
    if (HandleAllocated() && !simplePanel_)
        SendMessageW(Handle(), SB_SETTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void TStatusBar::SetPanelWidth(int index, int width)
{
    if (index < 0 || index >= PanelCount())
        return;
    panels_[static_cast<size_t>(index)].Width = width < 0 ? 0 : width;
    UpdatePanels();
}

RECT TStatusBar::PanelRect(int index)
{
    RECT r = {0, 0, 0, 0};
    if (HandleAllocated() && index >= 0 && index < PanelCount())
        SendMessageW(Handle(), SB_GETRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    return r;
}

void TStatusBar::SetSimplePanel(bool simple)
{
    if (simple == simplePanel_)
        return;
    simplePanel_ = simple;
    UpdatePanels();
}

void TStatusBar::SetSimpleText(const std::string& text)
{
    simpleText_ = text;
    if (HandleAllocated() && simplePanel_)
        SendMessageW(Handle(), SB_SETTEXTW, 255, reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void TStatusBar::SetSizeGrip(bool grip)
{
    if (grip == sizeGrip_)
        return;
    sizeGrip_ = grip;
    RecreateWnd();
}

void TStatusBar::UpdatePanels(bool relayout)
{
    if (!HandleAllocated())
        return;
    HWND h = Handle();
    SendMessageW(h, SB_SIMPLE, simplePanel_ ? TRUE : FALSE, 0);
    if (simplePanel_) {
        SendMessageW(h, SB_SETTEXTW, 255, reinterpret_cast<LPARAM>(Utf8ToWide(simpleText_).c_str()));
    } else if (!panels_.empty()) {
        std::vector<int> edges(panels_.size());
        int edge = 0;
        for (size_t i = 0; i + 1 < panels_.size(); ++i) {
            edge += panels_[i].Width;
            edges[i] = edge;
        }
        edges.back() = -1;
        if (relayout) {
            // The bar skips its layout when the edges did not change; with
            // CCS_NORESIZE it also skips it on WM_SIZE. Change them for a moment.
            int whole = -1;
            SendMessageW(h, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));
        }
        SendMessageW(h, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        for (size_t i = 0; i < panels_.size(); ++i)
            SendMessageW(h, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(Utf8ToWide(panels_[i].Text).c_str()));
    } else {
        int edge = -1;
        SendMessageW(h, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
        SendMessageW(h, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    }
    PanelsChanged();
}

void TStatusBar::WndProc(TMessage& m)
{
    TWinControl::WndProc(m);
    // The bar lays its parts out again only when told their edges.
    if (m.Msg == WM_SIZE && HandleAllocated())
        UpdatePanels(true);
}
