#include "controls/ButtonGlyph.h"

#include "controls/DrawUtils.h"
#include "platform/Text.h"

namespace {

TGlyphCache* g_cache = nullptr;
int g_glyphCount = 0;

// A new bitmap holding the part of source at x, of size w x h.
HBITMAP CopyPart(HBITMAP source, int x, int w, int h)
{
    HDC screen = GetDC(nullptr);
    HDC src = CreateCompatibleDC(screen), dst = CreateCompatibleDC(screen);
    HBITMAP part = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ os = SelectObject(src, source), od = SelectObject(dst, part);
    BitBlt(dst, 0, 0, w, h, src, x, 0, SRCCOPY);
    SelectObject(src, os);
    SelectObject(dst, od);
    DeleteDC(src);
    DeleteDC(dst);
    ReleaseDC(nullptr, screen);
    return part;
}

}  // namespace

// --- TGlyphList ---

TGlyphList::TGlyphList(int width, int height) : width_(width), height_(height)
{
    list_ = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 4, 4);
}

TGlyphList::~TGlyphList()
{
    if (list_)
        ImageList_Destroy(list_);
}

int TGlyphList::AddMasked(HBITMAP image, COLORREF maskColor)
{
    if (!list_ || !image)
        return -1;
    int slot = -1;
    for (size_t i = 0; i < used_.size(); ++i)
        if (!used_[i]) {
            slot = static_cast<int>(i);
            break;
        }
    int added = ImageList_AddMasked(list_, image, maskColor);
    if (added < 0)
        return -1;
    if (slot >= 0 && slot != added) {
        // Into the free slot; the list keeps its length.
        ImageList_Copy(list_, slot, list_, added, ILCF_MOVE);
        ImageList_Remove(list_, added);
    } else {
        slot = added;
        if (used_.size() <= static_cast<size_t>(slot))
            used_.resize(static_cast<size_t>(slot) + 1, false);
    }
    used_[static_cast<size_t>(slot)] = true;
    ++count_;
    return slot;
}

void TGlyphList::Delete(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= used_.size() || !used_[static_cast<size_t>(index)])
        return;
    used_[static_cast<size_t>(index)] = false;
    --count_;
}

// --- TGlyphCache ---

TGlyphCache::~TGlyphCache()
{
    for (TGlyphList* l : lists_)
        delete l;
}

TGlyphList* TGlyphCache::GetList(int width, int height)
{
    for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
        if ((*it)->Width() == width && (*it)->Height() == height) {
            ++(*it)->UseCount;
            return *it;
        }
    auto* list = new TGlyphList(width, height);
    list->UseCount = 1;
    lists_.push_back(list);
    return list;
}

void TGlyphCache::ReturnList(TGlyphList* list)
{
    if (!list)
        return;
    if (list->UseCount > 0)
        --list->UseCount;
    if (list->UseCount == 0 && list->Count() == 0) {
        for (auto it = lists_.begin(); it != lists_.end(); ++it)
            if (*it == list) {
                lists_.erase(it);
                break;
            }
        delete list;
    }
}

TGlyphCache* GlyphCache() { return g_cache; }

// --- TRxButtonGlyph ---

TRxButtonGlyph::TRxButtonGlyph()
{
    if (!g_cache)
        g_cache = new TGlyphCache();
    ++g_glyphCount;
    glyph_.OnChange = [this] { Invalidate(); };
}

TRxButtonGlyph::~TRxButtonGlyph()
{
    glyph_.OnChange = nullptr;
    OnChange = nullptr;
    Invalidate();
    if (--g_glyphCount == 0 && g_cache && g_cache->Empty()) {
        delete g_cache;
        g_cache = nullptr;
    }
}

void TRxButtonGlyph::SetNumGlyphs(int value)
{
    value = value < 1 ? 1 : value > 4 ? 4 : value;
    if (value == numGlyphs_)
        return;
    numGlyphs_ = value;
    Invalidate();
}

void TRxButtonGlyph::Invalidate()
{
    if (list_) {
        for (int& i : indexes_) {
            if (i >= 0)
                list_->Delete(i);
            i = -1;
        }
        if (g_cache)
            g_cache->ReturnList(list_);
        list_ = nullptr;
    }
    for (int& i : indexes_)
        i = -1;
    if (OnChange)
        OnChange();
}

SIZE TRxButtonGlyph::GlyphSize() const
{
    if (glyph_.Empty())
        return SIZE{0, 0};
    return SIZE{glyph_.Width() / numGlyphs_, glyph_.Height()};
}

int TRxButtonGlyph::StateIndex(TButtonState state)
{
    SIZE size = GlyphSize();
    if (size.cx <= 0 || size.cy <= 0 || !g_cache)
        return -1;
    int s = static_cast<int>(state);
    if (indexes_[s] >= 0)
        return indexes_[s];
    if (!list_)
        list_ = g_cache->GetList(size.cx, size.cy);
    // A state without its own image: down and exclusive show the up image,
    // disabled an embossed copy of it.
    int source = s < numGlyphs_ ? s : 0;
    HBITMAP part = CopyPart(glyph_.Handle(), source * size.cx, size.cx, size.cy);
    int index = -1;
    if (state == TButtonState::bsDisabled && numGlyphs_ < 2) {
        HBITMAP disabled = CreateDisabledBitmap(part, TransparentColor);
        if (disabled) {
            index = list_->AddMasked(disabled, GetSysColor(COLOR_BTNFACE));
            DeleteObject(disabled);
        }
    } else {
        index = list_->AddMasked(part, TransparentColor);
    }
    DeleteObject(part);
    indexes_[s] = index;
    return index;
}

UINT TRxButtonGlyph::TextFlags(bool showAccelChar) const
{
    UINT align = Alignment == TAlignment::taLeftJustify    ? DT_LEFT
                 : Alignment == TAlignment::taRightJustify ? DT_RIGHT
                                                           : DT_CENTER;
    return align | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE) | (showAccelChar ? 0 : DT_NOPREFIX);
}

void TRxButtonGlyph::CalcLayout(HDC dc, const RECT& client, POINT offset, const std::string& caption,
                                TButtonLayout layout, int margin, int spacing, POINT& glyphPos, RECT& textRect,
                                bool showAccelChar)
{
    const int clientW = client.right - client.left, clientH = client.bottom - client.top;
    SIZE glyph = GlyphSize();
    SIZE text = {0, 0};
    std::wstring w = Utf8ToWide(caption);
    if (!w.empty()) {
        RECT r = {0, 0, clientW, 0};
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, TextFlags(showAccelChar) | DT_CALCRECT);
        text = SIZE{r.right - r.left, r.bottom - r.top};
    }
    const bool horizontal = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
    // The glyph's place along the other axis: centred.
    POINT g = {client.left + (clientW - glyph.cx + 1) / 2, client.top + (clientH - glyph.cy + 1) / 2};
    POINT t = {client.left + (clientW - text.cx + 1) / 2, client.top + (clientH - text.cy + 1) / 2};
    if (glyph.cx == 0 || text.cx == 0)
        spacing = 0;
    const int space = horizontal ? clientW : clientH;
    const int glyphLen = horizontal ? glyph.cx : glyph.cy;
    const int textLen = horizontal ? text.cx : text.cy;
    if (margin == -1) {
        if (spacing == -1) {
            int total = glyphLen + textLen;
            margin = (space - total) / 3;
            spacing = margin;
        } else {
            int total = glyphLen + spacing + textLen;
            margin = (space - total + 1) / 2;
        }
    } else if (spacing == -1) {
        int total = space - (margin + glyphLen);
        spacing = (total - textLen) / 2;
    }
    switch (layout) {
    case TButtonLayout::blGlyphLeft:
        g.x = client.left + margin;
        t.x = g.x + glyph.cx + spacing;
        break;
    case TButtonLayout::blGlyphRight:
        g.x = client.right - margin - glyph.cx;
        t.x = g.x - spacing - text.cx;
        break;
    case TButtonLayout::blGlyphTop:
        g.y = client.top + margin;
        t.y = g.y + glyph.cy + spacing;
        break;
    case TButtonLayout::blGlyphBottom:
        g.y = client.bottom - margin - glyph.cy;
        t.y = g.y - spacing - text.cy;
        break;
    }
    glyphPos = POINT{g.x + offset.x, g.y + offset.y};
    textRect = RECT{t.x + offset.x, t.y + offset.y, t.x + offset.x + text.cx, t.y + offset.y + text.cy};
}

void TRxButtonGlyph::DrawCaption(HDC dc, const std::string& caption, RECT rect, TButtonState state,
                                 bool showAccelChar)
{
    if (caption.empty())
        return;
    std::wstring w = Utf8ToWide(caption);
    UINT flags = TextFlags(showAccelChar);
    int mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old = GetTextColor(dc);
    if (state == TButtonState::bsDisabled) {
        RECT r = rect;
        OffsetRect(&r, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    }
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &rect, flags);
    SetTextColor(dc, old);
    SetBkMode(dc, mode);
}

RECT TRxButtonGlyph::Draw(HDC dc, const RECT& client, POINT offset, const std::string& caption,
                          TButtonLayout layout, int margin, int spacing, TButtonState state, bool showAccelChar)
{
    POINT glyphPos;
    RECT textRect;
    CalcLayout(dc, client, offset, caption, layout, margin, spacing, glyphPos, textRect, showAccelChar);
    int index = StateIndex(state);
    if (index >= 0 && list_)
        ImageList_Draw(list_->Handle(), index, dc, glyphPos.x, glyphPos.y, ILD_TRANSPARENT);
    DrawCaption(dc, caption, textRect, state, showAccelChar);
    return textRect;
}
