// View layout: which viewers show, their sizes, the chevron, rows with
// wrapping at separators, right alignment, and the scrolling of a popup
// taller than its monitor.
#include <algorithm>
#include <climits>
#include <memory>

#include "platform/Canvas.h"
#include "platform/Control.h"
#include "toolbars/TBView.h"

struct TTBView::TLayoutResult {
    SIZE size{0, 0};
    bool changed = false;
    // The least wrap width that keeps every "it fits" decision of the rows
    // (0 when none was made): all wrap widths from it up to the one used
    // give this same layout.
    int fitBound = 0;
};

namespace {

// One viewer's part in a layout, in along/across coordinates (along is x for
// horizontal rows, y for vertical ones).
struct Slot {
    bool show = false;
    bool offEdge = false;
    bool clipped = false;
    bool lineBreak = false;
    bool sep = false;
    bool tbSize = false;
    int len = 0, thick = 0;
    int along = 0, across = 0;
    int row = -1;
};

struct Row {
    int across = 0;
    int thick = 0;
    std::vector<size_t> slots;   // in placing order
};

// A separator right after another shown separator, at the start or at the
// end does not show.
void CollapseSeparators(std::vector<Slot>& slots, size_t skip)
{
    bool prevSepOrStart = true;
    for (size_t i = 0; i < slots.size(); ++i) {
        if (i == skip || !slots[i].show)
            continue;
        if (slots[i].sep) {
            if (prevSepOrStart)
                slots[i].show = false;
            else
                prevSepOrStart = true;
        } else {
            prevSepOrStart = false;
        }
    }
    for (size_t i = slots.size(); i-- > 0;) {
        if (i == skip || !slots[i].show)
            continue;
        if (!slots[i].sep)
            break;
        slots[i].show = false;
    }
}

// A memory DC with the view's font (and one with its bold variant) for
// measuring; freed after the canvases let go of it.
class MeasureDC {
public:
    MeasureDC()
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
    }
    ~MeasureDC()
    {
        if (dc)
            DeleteDC(dc);
    }
    MeasureDC(const MeasureDC&) = delete;
    MeasureDC& operator=(const MeasureDC&) = delete;
    HDC dc = nullptr;
};

}  // namespace

bool TTBView::DoUpdatePositions(SIZE& size)
{
    TLayoutResult r;
    Layout(orientation_, wrapWidth_, chevronWidth_, true, r);
    size = r.size;
    return r.changed;
}

void TTBView::BeginSizeCache()
{
    if (sizeCacheDepth_++ == 0)
        sizeCache_.clear();
}

void TTBView::EndSizeCache()
{
    if (sizeCacheDepth_ > 0 && --sizeCacheDepth_ == 0)
        sizeCache_.clear();
}

SIZE TTBView::MeasureSize(TTBViewOrientation orientation, int wrapWidth, int chevronWidth, int* fitBound)
{
    TLayoutResult r;
    Layout(orientation, wrapWidth, chevronWidth, false, r);
    if (fitBound)
        *fitBound = r.fitBound;
    return r.size;
}

void TTBView::Layout(TTBViewOrientation o, int wrapWidth, int chevronWidth, bool apply, TLayoutResult& result)
{
    if (apply) {
        // Items that want another kind of viewer get it first.
        std::vector<TTBCustomItem*> renew;
        for (TTBItemViewer* v : viewers_)
            if (v->Item()->NeedToRecreateViewer(v))
                renew.push_back(v->Item());
        for (TTBCustomItem* it : renew)
            RecreateItemViewers(it);
    }
    const bool vert = o == tbvoVertical;
    const RECT m = GetMargins(o);
    const int aStart = vert ? m.top : m.left, aEnd = vert ? m.bottom : m.right;
    const int cStart = vert ? m.left : m.top, cEnd = vert ? m.right : m.bottom;
    const size_t n = viewers_.size();
    const size_t chevronIndex = chevronViewer_ ? static_cast<size_t>(IndexOf(chevronViewer_)) : SIZE_MAX;
    std::vector<Slot> slots(n);

    // 1. Which viewers show.
    for (size_t i = 0; i < n; ++i) {
        if (i == chevronIndex)
            continue;
        TTBCustomItem* item = viewers_[i]->Item();
        Slot& s = slots[i];
        s.sep = (item->ItemStyle() & isSeparator) != 0;
        if (auto* ci = dynamic_cast<TTBControlItem*>(item)) {
            TControl* c = ci->Control();
            s.show = item->Visible() && c && window_ && c->Parent() == window_ && (c->Visible() || IsDesigning());
        } else {
            s.show = item->Visible() && (!(item->ItemStyle() & isInlineGroup) || customizing_);
        }
        if (s.show && chevronParentView_ && !s.sep) {
            size_t k = i + static_cast<size_t>(chevronIndexOffset_);
            s.show = k < static_cast<size_t>(chevronParentView_->ViewerCount()) &&
                     chevronParentView_->Viewers(static_cast<int>(k))->OffEdge;
        }
    }
    CollapseSeparators(slots, chevronIndex);

    // 2. Sizes, measured on DCs with the view's font (default items in bold)
    // made when first needed: sizes kept from the layout before need none.
    struct Measurer {
        MeasureDC dc;
        TCanvas canvas{dc.dc};
    };
    std::unique_ptr<Measurer> plainDC, boldDC;
    auto measurer = [&](std::unique_ptr<Measurer>& m, bool isBold) -> TCanvas& {
        if (!m) {
            m = std::make_unique<Measurer>();
            m->canvas.Font().Assign(GetFont());
            if (isBold)
                m->canvas.Font().SetStyle(m->canvas.Font().Style() | fsBold);
            m->canvas.TextExtent(std::string());   // selects the font into the DC
        }
        return m->canvas;
    };
    const bool cached = sizeCacheDepth_ > 0;
    if (cached && sizeCache_.size() != n)
        sizeCache_.assign(n, SIZE{-1, -1});
    auto measure = [&](size_t i) {
        TTBItemViewer* v = viewers_[i];
        int w = 0, h = 0;
        if (cached && sizeCache_[i].cx >= 0) {
            w = sizeCache_[i].cx;
            h = sizeCache_[i].cy;
        } else if (auto* ci = dynamic_cast<TTBControlItem*>(v->Item())) {
            if (TControl* c = ci->Control()) {
                w = c->Width();
                h = c->Height();
            }
        } else {
            bool isBold = (v->Item()->EffectiveOptions() & tboDefault) != 0;
            v->CalcSize(measurer(isBold ? boldDC : plainDC, isBold), w, h);
        }
        if (cached)
            sizeCache_[i] = SIZE{w, h};
        slots[i].len = vert ? h : w;
        slots[i].thick = vert ? w : h;
        slots[i].tbSize = v->IsToolbarSize();
    };
    int sameWidth = -1;
    for (size_t i = 0; i < n; ++i)
        if (slots[i].show) {
            measure(i);
            if (viewers_[i]->UsesSameWidth())
                sameWidth = std::max(sameWidth, vert ? slots[i].thick : slots[i].len);
        }
    if (sameWidth >= 0)
        for (size_t i = 0; i < n; ++i)
            if (slots[i].show && viewers_[i]->UsesSameWidth())
                (vert ? slots[i].thick : slots[i].len) = sameWidth;

    // 3. The chevron: hide items until the rest and the chevron fit.
    bool anyHidden = false;
    if (chevronIndex != SIZE_MAX && chevronWidth > 0) {
        measure(chevronIndex);
        int total = aStart + aEnd;
        int nonSeparators = 0;
        for (size_t i = 0; i < n; ++i)
            if (slots[i].show && i != chevronIndex) {
                total += slots[i].len;
                if (!slots[i].sep)
                    ++nonSeparators;
            }
        if (total > chevronWidth) {
            const int limit = chevronWidth - slots[chevronIndex].len;
            std::vector<size_t> hideOrder;
            if (usePriorityList_) {
                for (auto it = priorityList_.rbegin(); it != priorityList_.rend(); ++it) {
                    int k = IndexOf(*it);
                    if (k >= 0)
                        hideOrder.push_back(static_cast<size_t>(k));
                }
            } else {
                for (size_t i = n; i-- > 0;)
                    hideOrder.push_back(i);
            }
            auto hide = [&](size_t i) {
                slots[i].show = false;
                total -= slots[i].len;
            };
            auto shownBefore = [&](size_t i) {
                while (i-- > 0)
                    if (slots[i].show && i != chevronIndex)
                        return i;
                return SIZE_MAX;
            };
            auto shownAfter = [&](size_t i) {
                for (++i; i < n; ++i)
                    if (slots[i].show && i != chevronIndex)
                        return i;
                return SIZE_MAX;
            };
            size_t next = 0;
            // The last non-separator stays even when it does not fit.
            while (total > limit && nonSeparators > 1) {
                while (next < hideOrder.size() &&
                       (hideOrder[next] == chevronIndex || !slots[hideOrder[next]].show || slots[hideOrder[next]].sep))
                    ++next;
                if (next == hideOrder.size())
                    break;
                size_t pick = hideOrder[next++];
                hide(pick);
                slots[pick].offEdge = true;
                --nonSeparators;
                anyHidden = true;
                // The separators stay collapsed: the list had no separator at
                // either end and never two in a row, so only a neighbour of
                // the hidden item can break that.
                size_t p = shownBefore(pick), q = shownAfter(pick);
                bool pSep = p != SIZE_MAX && slots[p].sep, qSep = q != SIZE_MAX && slots[q].sep;
                if (qSep && (p == SIZE_MAX || pSep))
                    hide(q);
                else if (pSep && q == SIZE_MAX)
                    hide(p);
            }
        }
    }

    // 4. Rows.
    std::vector<Row> rows(1);
    rows[0].across = cStart;
    int curA = aStart, curC = cStart, rowThick = 0, widest = aStart;
    bool rowEmpty = true, wrapped = false;
    const int limit = wrapWidth > 0 ? wrapWidth - aEnd : INT_MAX;
    auto newRow = [&](int gap) {
        rows.back().thick = rowThick;
        curC += rowThick + gap;
        curA = aStart;
        rowThick = 0;
        rowEmpty = true;
        rows.push_back(Row{});
        rows.back().across = curC;
    };
    std::vector<size_t> order;
    for (size_t i = 0; i < n; ++i)
        if (slots[i].show && i != chevronIndex)
            order.push_back(i);
    std::vector<size_t> lineBreaks;
    for (size_t k = 0; k < order.size(); ++k) {
        Slot& s = slots[order[k]];
        if (!s.tbSize) {
            // A menu item takes a row of its own.
            if (!rowEmpty)
                newRow(0);
            s.along = aStart;
            s.across = curC;
            s.row = static_cast<int>(rows.size()) - 1;
            rows.back().slots.push_back(order[k]);
            rowThick = s.thick;
            rowEmpty = false;
            widest = std::max(widest, aStart + s.len);
            newRow(0);
            continue;
        }
        if (wrapWidth > 0 && !rowEmpty) {
            if (s.sep) {
                int groupLen = 0;
                for (size_t j = k + 1; j < order.size() && !slots[order[j]].sep; ++j)
                    groupLen += slots[order[j]].len;
                bool noBreak = (viewers_[order[k]]->Item()->ItemStyle() & isNoLineBreak) != 0;
                if (curA + s.len + groupLen <= limit)
                    result.fitBound = std::max(result.fitBound, curA + s.len + groupLen + aEnd);
                if (curA + s.len + groupLen > limit || (wrapped && !noBreak)) {
                    s.lineBreak = true;
                    s.across = curC + rowThick;
                    s.thick = 6;
                    s.len = 0;
                    lineBreaks.push_back(order[k]);
                    newRow(6);
                    wrapped = true;
                    continue;
                }
            } else if (curA + s.len > limit) {
                newRow(0);
                wrapped = true;
            } else {
                result.fitBound = std::max(result.fitBound, curA + s.len + aEnd);
            }
        }
        s.along = curA;
        s.across = curC;
        s.row = static_cast<int>(rows.size()) - 1;
        rows.back().slots.push_back(order[k]);
        curA += s.len;
        rowThick = std::max(rowThick, s.thick);
        rowEmpty = false;
        widest = std::max(widest, curA);
    }
    rows.back().thick = rowThick;
    const int totalAcross = curC + rowThick;

    // 5. Row finishing.
    for (Row& r : rows) {
        for (size_t i : r.slots) {
            Slot& s = slots[i];
            if (isToolbar_) {
                if (s.sep) {
                    s.across = r.across;
                    s.thick = r.thick;
                } else {
                    s.across = r.across + (r.thick - s.thick) / 2;
                }
            }
            if (!s.tbSize)
                s.len = widest - aStart;
        }
        size_t first = SIZE_MAX;
        for (size_t k = 0; k < r.slots.size(); ++k)
            if (viewers_[r.slots[k]]->Item()->ItemStyle() & isRightAlign) {
                first = k;
                break;
            }
        if (first != SIZE_MAX && slots[r.slots.back()].tbSize) {
            const Slot& last = slots[r.slots.back()];
            int target = wrapWidth > 0 ? limit : widest;
            // Right-aligned items follow the wrap width itself.
            if (wrapWidth > 0)
                result.fitBound = std::max(result.fitBound, wrapWidth);
            int shift = target - (last.along + last.len);
            if (shift > 0)
                for (size_t k = first; k < r.slots.size(); ++k)
                    slots[r.slots[k]].along += shift;
        }
    }
    for (size_t i : lineBreaks) {
        slots[i].along = aStart;
        slots[i].len = widest - aStart;
    }
    int alongEnd = widest;
    for (const Row& r : rows)
        for (size_t i : r.slots)
            alongEnd = std::max(alongEnd, slots[i].along + slots[i].len);
    int alongSize = alongEnd + aEnd;
    if (anyHidden) {
        // At the far end of the row, but never over the last item: a chevron
        // drawn over an item could not be clicked. When the one item that
        // always stays leaves it no room, the chevron goes first: a dock
        // shorter than the toolbar then still shows it, and cuts the item.
        Slot& c = slots[chevronIndex];
        c.show = true;
        if (alongEnd + c.len + aEnd > chevronWidth) {
            for (size_t i = 0; i < n; ++i)
                if (i != chevronIndex && slots[i].show)
                    slots[i].along += c.len;
            alongEnd += c.len;
            alongSize = alongEnd + aEnd;
            c.along = aStart;
        } else {
            c.along = std::max(alongEnd, chevronWidth - aEnd - c.len);
        }
        c.thick = std::max(c.thick, rows[0].thick);
        c.across = rows[0].across;
        alongSize = std::max(alongSize, c.along + c.len + aEnd);
    }

    // 6. Margins; the size found.
    const int acrossSize = totalAcross + cEnd;
    result.size = vert ? SIZE{acrossSize, alongSize} : SIZE{alongSize, acrossSize};
    if (!apply)
        return;

    // A popup taller than it may be scrolls.
    int upZone = 0, visTop = 0, visBottom = INT_MAX;
    if (IsPopup() && MaxHeight > 0 && result.size.cy > MaxHeight) {
        totalHeight_ = result.size.cy;
        int maxOffset = totalHeight_ - MaxHeight + 2 * kTBScrollArrowZone;
        scrollOffset_ = std::clamp(scrollOffset_, 0, std::max(0, maxOffset));
        showUpArrow_ = scrollOffset_ > 0;
        upZone = showUpArrow_ ? kTBScrollArrowZone : 0;
        showDownArrow_ = totalHeight_ - scrollOffset_ + upZone > MaxHeight;
        visTop = upZone;
        visBottom = MaxHeight - (showDownArrow_ ? kTBScrollArrowZone : 0);
        result.size.cy = MaxHeight;
    } else {
        totalHeight_ = result.size.cy;
        scrollOffset_ = 0;
        showUpArrow_ = showDownArrow_ = false;
    }

    bool changed = result.size.cx != layoutSize_.cx || result.size.cy != layoutSize_.cy;
    for (size_t i = 0; i < n; ++i) {
        TTBItemViewer* v = viewers_[i];
        Slot& s = slots[i];
        RECT r{0, 0, 0, 0};
        if (s.show) {
            r = vert ? RECT{s.across, s.along, s.across + s.thick, s.along + s.len}
                     : RECT{s.along, s.across, s.along + s.len, s.across + s.thick};
            if (visBottom != INT_MAX) {
                OffsetRect(&r, 0, upZone - scrollOffset_);
                if (r.top < visTop || r.bottom > visBottom) {
                    s.show = false;
                    s.clipped = true;
                }
            }
        }
        if (v->Show != s.show || v->OffEdge != s.offEdge || v->Clipped != s.clipped ||
            v->LineBreak != s.lineBreak || !EqualRect(&v->BoundsRect, &r))
            changed = true;
        v->Show = s.show;
        v->OffEdge = s.offEdge;
        v->Clipped = s.clipped;
        v->LineBreak = s.lineBreak;
        v->BoundsRect = r;
        if (auto* ci = dynamic_cast<TTBControlItem*>(v->Item()))
            if (TControl* c = ci->Control(); c && window_ && c->Parent() == window_) {
                if (s.show)
                    c->SetBounds(r.left, r.top, c->Width(), c->Height());
                else if (c->Left() > -10000)
                    c->SetBounds(-10000 - c->Width(), r.top, c->Width(), c->Height());
            }
    }
    result.changed = changed;
}

// --- scrolling ---

void TTBView::Scroll(bool down)
{
    if (!IsPopup())
        return;
    ValidatePositions();
    if (down ? !showDownArrow_ : !showUpArrow_)
        return;
    // One row at a time: the tallest shown viewer.
    int step = 1;
    for (TTBItemViewer* v : viewers_)
        if (v->Show)
            step = std::max(step, static_cast<int>(v->BoundsRect.bottom - v->BoundsRect.top));
    int newOffset = scrollOffset_;
    if (down) {
        // The first step also makes room for the top arrow.
        newOffset += step + (showUpArrow_ ? 0 : kTBScrollArrowZone);
    } else {
        newOffset -= step;
        if (newOffset <= kTBScrollArrowZone)
            newOffset = 0;
    }
    if (newOffset == scrollOffset_)
        return;
    scrollOffset_ = newOffset;
    validated_ = false;
    UpdatePositions();
    if (window_ && window_->HandleAllocated())
        InvalidateRect(window_->Handle(), nullptr, TRUE);
}

void TTBView::UpdateScrollArrows(POINT clientPos)
{
    if (!(state_ & vsModal))
        return;
    int h = MaxHeight;
    if (showDownArrow_ && clientPos.y >= h - kTBScrollArrowZone && clientPos.y < h + 6 && clientPos.x >= -3 &&
        window_ && clientPos.x < window_->Width()) {
        StopTimer(tbtScrollUp);
        if (!TimerRunning(tbtScrollDown))
            StartTimer(tbtScrollDown, 100);
    } else if (showUpArrow_ && clientPos.y < kTBScrollArrowZone && clientPos.y >= -3 && clientPos.x >= -3 &&
               window_ && clientPos.x < window_->Width()) {
        StopTimer(tbtScrollDown);
        if (!TimerRunning(tbtScrollUp))
            StartTimer(tbtScrollUp, 100);
    } else {
        StopTimer(tbtScrollUp);
        StopTimer(tbtScrollDown);
    }
}
