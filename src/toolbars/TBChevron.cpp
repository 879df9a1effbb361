// The chevron item and its button.
#include "platform/Canvas.h"
#include "toolbars/TBToolbar.h"

namespace {

// Double arrows, one row per byte, bit 7 leftmost: ">>" 8 x 5 for a
// horizontal toolbar, "v v" 5 x 8 for a vertical one.
const BYTE kChevronHorz[8] = {0xCC, 0x66, 0x33, 0x66, 0xCC, 0x00, 0x00, 0x00};
const BYTE kChevronVert[8] = {0x88, 0xD8, 0x70, 0x20, 0x88, 0xD8, 0x70, 0x20};

// The glyph in the colour of a system brush: where a bit is set the brush
// shows, elsewhere the background stays (DSPDxax).
void DrawChevronGlyph(HDC dc, int x, int y, const BYTE* rows, int colorIndex)
{
    // A monochrome bitmap's rows are WORD-aligned, read byte by byte: each
    // row's eight pixels are its first byte, the low one of the WORD.
    WORD words[8];
    for (int i = 0; i < 8; ++i)
        words[i] = rows[i];
    HBITMAP bmp = CreateBitmap(8, 8, 1, 1, words);
    if (!bmp)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(colorIndex));
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, 8, 8, mem, 0, 0, 0x00E20746);
    SetBkColor(dc, oldBk);
    SetTextColor(dc, oldText);
    SelectObject(dc, oldBrush);
    SelectObject(mem, oldBmp);
    DeleteDC(mem);
    DeleteObject(bmp);
}

TTBItemViewer* NewChevronViewer(TTBView* view, TTBCustomItem* item, int groupLevel)
{
    return new TTBChevronItemViewer(view, item, groupLevel);
}

}  // namespace

TTBChevronItem::TTBChevronItem(TTBCustomToolbar* toolbar) : TTBCustomItem(toolbar), toolbar_(toolbar)
{
    SetItemStyle(ItemStyle() | isSubmenu | isNoAutoOpen);
}

TTBView* TTBChevronItem::GetChevronParentView() { return toolbar_ ? toolbar_->View() : nullptr; }

TTBItemViewerClass TTBChevronItem::GetItemViewerClass(TTBView*) { return &NewChevronViewer; }

void TTBChevronItemViewer::CalcSize(TCanvas&, int& width, int& height)
{
    // The row's thickness stretches it across.
    width = 12;
    height = 12;
}

void TTBChevronItemViewer::Paint(TCanvas& canvas, const RECT& clientAreaRect, bool isSelected, bool isPushed,
                                 bool)
{
    HDC dc = canvas.Handle();
    RECT r = clientAreaRect;
    const bool enabled = item_->Enabled();
    if (enabled && (isPushed || isSelected))
        DrawEdge(dc, &r, isPushed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    const bool vertical = view_->Orientation() == tbvoVertical;
    int x = vertical ? r.right - 9 : r.left + 2;
    int y = r.top + (vertical ? 2 : 4);
    if (isPushed) {
        ++x;
        ++y;
    }
    const BYTE* glyph = vertical ? kChevronVert : kChevronHorz;
    if (enabled) {
        DrawChevronGlyph(dc, x, y, glyph, COLOR_BTNTEXT);
    } else {
        DrawChevronGlyph(dc, x + 1, y + 1, glyph, COLOR_BTNHIGHLIGHT);
        DrawChevronGlyph(dc, x, y, glyph, COLOR_BTNSHADOW);
    }
}
