// The dock's arrangement: its windows go into rows and positions from their
// DockRow and DockPos, each row is laid out along the dock (windows that do
// not fit wrap to a new row, gaps close, shrinking windows give way), and
// the dock takes the thickness of its rows.
#include <algorithm>
#include <numeric>

#include "toolbars/TBDock.h"

namespace {

struct TArrangeItem {
    TTBCustomDockableWindow* bar = nullptr;
    int order = 0;          // place in the visible list: ties keep it
    SIZE nc{};              // docked non-client size
    SIZE base{};            // client size at the full length
    int fullSize = 0;       // along the dock, frame included
    int minSize = 0;
    int curSize = 0;
    int gap = 0;            // free space before it
    int pos = 0;
    TTBShrinkMode shrink = tbsmNone;
};

using TRow = std::vector<TArrangeItem>;

bool NeedsOwnRow(const TArrangeItem& it) { return it.bar->FullSize() || it.bar->IsStandalone(); }

int WantedPos(const TArrangeItem& it) { return std::max(0, it.bar->DockPos()); }

}  // namespace

void TTBDock::ArrangeToolbars()
{
    if (disableArrange_ > 0 || IsLoading()) {
        arrangeNeeded_ = true;
        return;
    }
    if (IsDestroying())
        return;
    // Held for the arrangement's own duration: what it does to its windows
    // and to itself may ask for another arrangement, which then runs once
    // more after this one, and only once.
    ++disableArrange_;
    struct Hold {
        int& count;
        ~Hold() { --count; }
    } hold{disableArrange_};
    int passes = 0;
    do {
        arrangeNeeded_ = false;
        ArrangePass();
        ++passes;
    } while (arrangeNeeded_ && passes < 2 && !IsDestroying());
    arrangeNeeded_ = false;
    lastPasses_ = passes;
}

void TTBDock::SetThickness(int thickness)
{
    thickness = std::max(0, thickness);
    int l = left_, t = top_, w = width_, h = height_;
    if (IsVertical()) {
        if (position_ == dpRight)
            l = left_ + width_ - thickness;   // the right edge stays
        w = thickness;
    } else {
        if (position_ == dpBottom)
            t = top_ + height_ - thickness;   // the bottom edge stays
        h = thickness;
    }
    if (l == left_ && t == top_ && w == width_ && h == height_)
        return;
    bool was = settingSize_;
    settingSize_ = true;
    try {
        SetBounds(l, t, w, h);
    } catch (...) {
        settingSize_ = was;
        throw;
    }
    settingSize_ = was;
}

void TTBDock::BoundsChanged()
{
    TWinControl::BoundsChanged();
    int length = IsVertical() ? height_ : width_;
    if (settingSize_ || length == lastLength_)
        return;
    lastLength_ = length;
    // The form's alignment gave the dock another length.
    ArrangeToolbars();
}

void TTBDock::ArrangePass()
{
    // Windows on their way out leave both lists.
    auto going = [](TTBCustomDockableWindow* b) { return b->IsDestroying(); };
    dockList_.erase(std::remove_if(dockList_.begin(), dockList_.end(), going), dockList_.end());
    visibleList_.erase(std::remove_if(visibleList_.begin(), visibleList_.end(), going), visibleList_.end());

    if (visibleList_.empty()) {
        // Collapsed; FixAlign keeps one pixel so the dock keeps its place in
        // the form's alignment order.
        SetThickness(IsDesigning() ? 9 : fixAlign_ ? 1 : 0);
        return;
    }

    const bool vertical = IsVertical();
    const TTBDockType type = vertical ? dtLeftRight : dtTopBottom;
    const int length = std::max(0, vertical ? height_ - ncHeight_ : width_ - ncWidth_);
    lastLength_ = vertical ? height_ : width_;

    // Sizes at the full length, and the rows they asked for.
    std::vector<TArrangeItem> items;
    items.reserve(visibleList_.size());
    for (size_t i = 0; i < visibleList_.size(); ++i) {
        TArrangeItem it;
        it.bar = visibleList_[i];
        it.order = static_cast<int>(i);
        it.bar->SetDockedLengthLimit(0);
        it.nc = it.bar->DockedNCSize(type);
        it.base = it.bar->CalcBaseSize(type);
        it.fullSize = (vertical ? it.base.cy + it.nc.cy : it.base.cx + it.nc.cx);
        it.shrink = it.bar->GetShrinkMode();
        it.minSize = it.shrink == tbsmNone ? it.fullSize : std::clamp(it.bar->GetMinShrinkSize(), 0, it.fullSize);
        it.curSize = it.fullSize;
        items.push_back(it);
    }
    auto rowKey = [this](const TArrangeItem& it) { return limitToOneRow_ ? 0 : std::max(0, it.bar->DockRow()); };
    std::stable_sort(items.begin(), items.end(), [&](const TArrangeItem& a, const TArrangeItem& b) {
        int ra = rowKey(a), rb = rowKey(b);
        if (ra != rb)
            return ra < rb;
        // By the stored position: a negative one (the start of the row, as
        // a double click docking a window asks for) goes first.
        int pa = a.bar->DockPos(), pb = b.bar->DockPos();
        if (pa != pb)
            return pa < pb;
        // A window being dragged goes before one that wants the same place;
        // otherwise they keep the order they show in (a drag that ended
        // where another window's stored place is stays before it).
        if (a.bar->IsDragging() != b.bar->IsDragging())
            return a.bar->IsDragging();
        if (a.bar->EffectiveDockRow() == b.bar->EffectiveDockRow() &&
            a.bar->EffectiveDockPos() != b.bar->EffectiveDockPos())
            return a.bar->EffectiveDockPos() < b.bar->EffectiveDockPos();
        return a.order < b.order;
    });

    // Rows, renumbered from 0 (empty rows are gone); a window that needs a
    // row of its own gets one at its place.
    std::vector<TRow> rows;
    int lastKey = -1;
    for (const TArrangeItem& it : items) {
        int key = rowKey(it);
        bool own = !limitToOneRow_ && NeedsOwnRow(it);
        bool prevOwn = !rows.empty() && !rows.back().empty() && !limitToOneRow_ && NeedsOwnRow(rows.back().back());
        if (rows.empty() || key != lastKey || own || prevOwn)
            rows.emplace_back();
        rows.back().push_back(it);
        lastKey = key;
    }

    int offset = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        // Windows that do not fit move to a new row after this one; the
        // first window of a row always stays.
        {
            TRow& row = rows[r];
            int sum = 0;
            for (size_t i = 0; i < row.size(); ++i) {
                sum += row[i].shrink == tbsmChevron ? row[i].minSize : row[i].fullSize;
                if (sum > length && i > 0 && !limitToOneRow_) {
                    TRow rest(row.begin() + static_cast<std::ptrdiff_t>(i), row.end());
                    row.erase(row.begin() + static_cast<std::ptrdiff_t>(i), row.end());
                    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(r) + 1, std::move(rest));
                    break;
                }
            }
        }
        TRow& row = rows[r];
        const int n = static_cast<int>(row.size());

        // Positions: each window wants its DockPos, not before the minimum
        // sizes of those before it; a wanted gap is kept while the windows
        // themselves fit.
        int sizes = 0;
        for (const TArrangeItem& it : row)
            sizes += it.curSize;
        {
            int end = 0, minBefore = 0;
            for (int i = 0; i < n; ++i) {
                TArrangeItem& it = row[i];
                int want = (i == 0 && (it.bar->FullSize() || it.bar->Stretch())) ? 0 : WantedPos(it);
                want = std::max(want, minBefore);
                it.gap = (sizes <= length && want > end) ? want - end : 0;
                end += it.gap + it.curSize;
                minBefore += it.minSize;
            }
        }
        auto overflow = [&] {
            int total = 0;
            for (const TArrangeItem& it : row)
                total += it.gap + it.curSize;
            return total - length;
        };
        int over = overflow();

        // A dragged window keeps its place as long as it can: the windows
        // before it close up first.
        int dragged = -1;
        for (int i = 0; i < n; ++i)
            if (row[i].bar->IsDragging())
                dragged = i;
        if (over > 0 && dragged > 0) {
            int take = over;
            for (int i = dragged - 1; i >= 0 && take > 0; --i) {
                int d = std::min(take, row[i].gap);
                row[i].gap -= d;
                row[dragged].gap += d;
                take -= d;
            }
        }
        if (dragged >= 0)
            row[dragged].bar->DragCanSplit = over > 0 && n >= 2;

        // Gaps close from the end of the row backwards: a window never ends
        // beyond the row, however far its stored DockPos lies.
        for (int i = n - 1; i >= 0 && over > 0; --i) {
            int d = std::min(over, row[i].gap);
            row[i].gap -= d;
            over -= d;
        }
        // Shrinking windows give way from the end of the row; once every
        // one is at its minimum the row stays as it is.
        for (int i = n - 1; i >= 0 && over > 0; --i) {
            TArrangeItem& it = row[i];
            bool canShrink = it.shrink == tbsmChevron || (it.shrink == tbsmWrap && n == 1);
            if (!canShrink)
                continue;
            int d = std::min(over, it.curSize - it.minSize);
            if (d > 0) {
                it.curSize -= d;
                over -= d;
            }
        }
        // A row shorter than its windows' minimums: windows with a chevron
        // that start inside the row go below theirs, from the end of the
        // row, so that they end at the dock's end (their chevrons then come
        // first, in sight).
        for (int i = n - 1; i >= 0 && over > 0; --i) {
            TArrangeItem& it = row[i];
            int start = it.gap;
            for (int j = 0; j < i; ++j)
                start += row[j].gap + row[j].curSize;
            if (it.shrink != tbsmChevron || start >= length)
                continue;
            const int frame = vertical ? it.nc.cy : it.nc.cx;
            int d = std::min(over, it.curSize - frame);
            if (d > 0) {
                it.curSize -= d;
                over -= d;
            }
        }
        // Full-size and stretching windows take the free space.
        for (int i = 0; i < n; ++i) {
            TArrangeItem& it = row[i];
            if (it.bar->FullSize()) {
                it.curSize = std::max(it.curSize + it.gap, length);
                it.gap = 0;
            } else if (it.bar->Stretch()) {
                if (i + 1 < n) {
                    it.curSize += row[i + 1].gap;
                    row[i + 1].gap = 0;
                } else {
                    int start = 0;
                    for (int j = 0; j < i; ++j)
                        start += row[j].gap + row[j].curSize;
                    start += it.gap;
                    it.curSize = std::max(it.curSize, length - start);
                }
            }
        }

        // Store the places, the length limits and the thickness at them.
        int pos = 0, thickness = 0;
        std::vector<int> across(row.size());
        for (int i = 0; i < n; ++i) {
            TArrangeItem& it = row[i];
            pos += it.gap;
            it.pos = pos;
            pos += it.curSize;
            it.bar->SetArrangedPlace(static_cast<int>(r), it.pos, it.bar->IsDragging());
            SIZE base = it.base;
            int along = vertical ? it.nc.cy : it.nc.cx;
            if (it.curSize < it.fullSize) {
                it.bar->SetDockedLengthLimit(std::max(0, it.curSize - along));
                base = it.bar->CalcBaseSize(type);
            } else {
                it.bar->SetDockedLengthLimit(0);
            }
            across[i] = vertical ? base.cx + it.nc.cx : base.cy + it.nc.cy;
            thickness = std::max(thickness, across[i]);
        }
        for (int i = 0; i < n; ++i) {
            TArrangeItem& it = row[i];
            if (vertical)
                it.bar->SetBounds(offset, it.pos, thickness, it.curSize);
            else
                it.bar->SetBounds(it.pos, offset, it.curSize, thickness);
        }
        offset += thickness;
    }

    SetThickness(offset + (vertical ? ncWidth_ : ncHeight_));
}
