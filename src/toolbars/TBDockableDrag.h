// One drag of a dockable window, apart from its message loop: Begin takes
// the candidate docks and the window's size in each, Step places the window
// (or the outline) for a cursor position, End applies or restores. The drag
// loop of TTBCustomDockableWindow::BeginMoving runs these between the mouse
// press and release; a program may also drive them itself.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "toolbars/TBDockable.h"

class TTBDragLoopGuard;

class TTBDockableWindowDrag {
public:
    explicit TTBDockableWindowDrag(TTBCustomDockableWindow& w) : w_(w) {}
    ~TTBDockableWindowDrag();
    TTBDockableWindowDrag(const TTBDockableWindowDrag&) = delete;
    TTBDockableWindowDrag& operator=(const TTBDockableWindowDrag&) = delete;

    // The drag starts from a press at the window's client point (x, y).
    // guard: the loop's hold on the desktop, where the outline is drawn
    // without SmoothDrag (nullptr: no outline).
    void Begin(int x, int y, TTBDragLoopGuard* guard);
    // The cursor is at a screen point; ctrl: the Ctrl key is held.
    void Step(POINT cursor, bool ctrl);
    // accept: the outline's last place becomes the window's (without
    // SmoothDrag); cancel: everything goes back to where it was.
    void End(bool accept, bool cancel);
    // The press point on the screen.
    POINT StartCursor() const { return startCursor_; }
    bool CtrlAtStart() const { return ctrlAtStart_; }

private:
    struct Candidate {
        TTBDock* dock;
        std::weak_ptr<void> alive;
        SIZE size;
        RECT screen;
    };
    struct Place {
        TTBCustomDockableWindow* bar;
        std::weak_ptr<void> alive;
        int row, pos;
    };

    bool Accepts(TTBDock* d) const;
    void AddCandidate(TTBDock* d);
    void CollectDocks(TWinControl* parent);
    RECT RectAt(POINT cursor, SIZE size) const;
    int ChooseRow(TTBDock* d, const RECT& screen, const RECT& r, bool& insert) const;
    void ApplyDocked(const Candidate& c, const RECT& r, POINT cursor);
    void ApplyFloating(const RECT& r);
    void RememberPlaces(TTBDock* d);
    void Restore();

    TTBCustomDockableWindow& w_;
    std::weak_ptr<void> alive_;
    TTBDragLoopGuard* guard_ = nullptr;
    std::vector<Candidate> candidates_;
    std::vector<Place> places_;
    SIZE floatSize_{};
    POINT startCursor_{};
    POINT offset_{};
    SIZE startSize_{};
    TTBDock* startDock_ = nullptr;
    int startRow_ = 0, startEffRow_ = 0, startPos_ = 0;
    bool startFloating_ = false;
    POINT startFloatPos_{};
    bool smooth_ = true;
    bool ctrlAtStart_ = false;
    bool preventFloating_ = false;
    bool preventChanging_ = false;
    bool sliding_ = false;
    int slideRow_ = 0;
    bool begun_ = false;
    // The last step's result.
    const Candidate* target_ = nullptr;
    RECT rect_{};
    bool empty_ = true;
    POINT lastCursor_{};
};
