// The sizes a floating toolbar can take, and the sizing loop's snapping to
// them.
#include <algorithm>
#include <cstdlib>

#include "toolbars/TBToolbar.h"

namespace {

bool SameSize(const SIZE& a, const SIZE& b) { return a.cx == b.cx && a.cy == b.cy; }

}  // namespace

void TTBCustomToolbar::BuildPotentialSizesList(std::vector<SIZE>& list)
{
    list.clear();
    // The items do not change meanwhile: each is measured once.
    view_->BeginSizeCache();
    struct EndCache {
        TTBView* v;
        ~EndCache() { v->EndSizeCache(); }
    } endCache{view_};
    const RECT m = view_->GetMargins(tbvoFloating);
    const int minWrap = m.left + m.right + 1;
    // Every wrap width from the widest layout down gives one of these sizes.
    // A layout at wrap width x stays the same for every width from its fit
    // bound up to x, so only one width per distinct layout is tried.
    int bound = 0;
    SIZE s = view_->MeasureSize(tbvoFloating, 0, 0, &bound);
    list.push_back(s);
    int x = s.cx - 1;
    while (x >= minWrap) {
        s = view_->MeasureSize(tbvoFloating, x, 0, &bound);
        if (std::none_of(list.begin(), list.end(), [&](const SIZE& e) { return SameSize(e, s); }))
            list.push_back(s);
        int next = std::min(bound, x) - 1;
        // Nothing had to fit: narrower widths change nothing.
        if (bound <= 0)
            break;
        x = next;
    }
}

void TTBCustomToolbar::SizeChanging(TTBSizeHandle handle, SIZE& size)
{
    if (sizingList_.empty() || !IsSizing())
        BuildPotentialSizesList(sizingList_);
    if (sizingList_.empty())
        return;
    const bool horizontal = handle == twshLeft || handle == twshRight;
    auto key = [&](const SIZE& s) { return static_cast<int>(horizontal ? s.cx : s.cy); };
    std::vector<SIZE> sorted = sizingList_;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const SIZE& a, const SIZE& b) { return key(a) < key(b); });
    // Where the toolbar is now.
    RECT cr = ClientRect();
    SIZE cur{cr.right - cr.left, cr.bottom - cr.top};
    size_t at = 0;
    int best = INT_MAX;
    for (size_t i = 0; i < sorted.size(); ++i) {
        int d = std::abs(key(sorted[i]) - key(cur));
        if (d < best) {
            best = d;
            at = i;
        }
    }
    const int want = key(size);
    const int here = key(sorted[at]);
    // A move shorter than the snap distance keeps the size; the distance is
    // 12 pixels, or half the gap to the next size that way when that is less.
    int snap = 12;
    if (want > here && at + 1 < sorted.size())
        snap = std::min(snap, (key(sorted[at + 1]) - here) / 2);
    else if (want < here && at > 0)
        snap = std::min(snap, (here - key(sorted[at - 1])) / 2);
    size_t pick = at;
    if (std::abs(want - here) >= snap) {
        best = INT_MAX;
        for (size_t i = 0; i < sorted.size(); ++i) {
            int d = std::abs(key(sorted[i]) - want);
            if (d < best) {
                best = d;
                pick = i;
            }
        }
    }
    size = sorted[pick];
    floatingWrapWidth_ = size.cx;
    ApplyLayout();
}
