// What the header and its columns ask of their tree, in one place. Every
// helper accepts a missing tree (a column that is not in a header) and then
// answers as a tree without window would.
#pragma once
#include "Lib2/VirtualTree/VTHeader.h"
#include "Lib2/VirtualTree/VirtualTrees.h"

namespace vthdr {

inline bool TreeDestroying(const TBaseVirtualTree* t) { return t == nullptr || t->IsDestroying(); }

inline bool TreeHasWindow(const TBaseVirtualTree* t) {
    return t != nullptr && !t->IsDestroying() && t->HandleAllocated();
}

inline int ClientWidth(const TBaseVirtualTree* t) {
    if (t == nullptr)
        return 0;
    RECT r = t->ClientRect();
    return r.right - r.left;
}

inline int TreeHeight(const TBaseVirtualTree* t) { return t != nullptr ? t->Height() : 0; }

// How far the tree is scrolled horizontally (0 or negative).
inline int OffsetX(const TBaseVirtualTree* t) { return t != nullptr ? t->OffsetX() : 0; }

inline COLORREF TreeColor(const TBaseVirtualTree* t) {
    return t != nullptr ? t->Color() : GetSysColor(COLOR_WINDOW);
}

inline TBiDiMode TreeBiDiMode(const TBaseVirtualTree* t) {
    return t != nullptr ? t->BiDiMode() : bdLeftToRight;
}

inline unsigned TreeUpdateCount(const TBaseVirtualTree* t) { return t != nullptr ? t->UpdateCount() : 0; }

// Repaints the tree's client area (only with a window and outside an update).
inline void RepaintTree(TBaseVirtualTree* t) {
    if (TreeHasWindow(t) && !t->IsLoading() && t->UpdateCount() == 0)
        t->Invalidate();
}

inline void UpdateHorizontalScrollBar(TBaseVirtualTree* t) {
    if (TreeHasWindow(t) && !t->IsLoading())
        t->UpdateHorizontalScrollBar(false);
}

// The tree's column-resize operation (it checks loading and window itself).
inline void ColumnResized(TBaseVirtualTree* t, TColumnIndex column) {
    if (t != nullptr && !t->IsDestroying())
        t->DoColumnResize(column);
}

inline void EndEdit(TBaseVirtualTree* t) {
    if (t != nullptr && t->IsEditing())
        t->EndEditNode();
}

inline TVirtualTreeColumn* CreateColumn(TBaseVirtualTree* t, TVirtualTreeColumns* owner) {
    return t != nullptr ? t->NewColumn(owner) : new TVirtualTreeColumn(owner);
}

// The tree draws with visual styles.
inline bool TreeUsesThemes(const TBaseVirtualTree* t) { return t != nullptr && t->HasState(tsUseThemes); }

// The tree draws a bevel of its own inside its border (the last header
// column then leaves its right edge to it). Trees have no bevel property, so
// the border style alone never counts as one.
inline bool TreeHasBevel(const TBaseVirtualTree*) { return false; }

}  // namespace vthdr
