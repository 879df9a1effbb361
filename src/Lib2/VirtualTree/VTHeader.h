// The list control's header and its columns. The header lives in the tree
// window's non-client area above the client area: it lays out the columns in
// display order, sizes them (by hand, automatically for one column, or by
// springs), shows the sort column with a sort glyph, lets the user resize
// and drag columns, reports clicks to the tree's header events, and saves
// and loads its layout to and from a stream.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/Alignment.h"
#include "platform/Events.h"
#include "platform/Graphics.h"
#include "platform/PropTable.h"

class TCanvas;
class TCustomImageList;
class TPopupMenu;
class TStream;
class TVTDragImage;
class TVTHeader;
class TVirtualTreeHintWindow;
class TVirtualTreeColumns;

// Elements of a header cell that an advanced owner-draw handler may draw
// itself (bits of THeaderPaintElements).
enum THeaderPaintElement : unsigned {
    hpeBackground = 1,
    hpeDropMark = 2,
    hpeHeaderGlyph = 4,
    hpeSortGlyph = 8,
    hpeText = 16,
};

// What the advanced owner-draw events get for one cell (Column nullptr: the
// header's background).
struct THeaderPaintInfo {
    TCanvas* TargetCanvas = nullptr;
    TVirtualTreeColumn* Column = nullptr;
    RECT PaintRectangle{};        // the cell
    RECT TextRectangle{};         // where the caption goes
    bool IsHoverIndex = false;
    bool IsDownIndex = false;
    bool IsEnabled = true;
    bool ShowHeaderGlyph = false;
    bool ShowSortGlyph = false;
    bool ShowRightBorder = true;
    TVTDropMarkMode DropMark = dmmNone;
    POINT GlyphPos{};             // top left of the column's image
    POINT SortGlyphPos{};         // top left of the sort glyph
};

// One column of the header.
class TVirtualTreeColumn : public TPersistent {
public:
    // Appends the column to the collection (nullptr: a free-standing column).
    explicit TVirtualTreeColumn(TVirtualTreeColumns* owner);
    ~TVirtualTreeColumn() override;
    TVirtualTreeColumn(const TVirtualTreeColumn&) = delete;
    TVirtualTreeColumn& operator=(const TVirtualTreeColumn&) = delete;

    TVirtualTreeColumns* Owner() const { return owner_; }
    // Index in the collection; -1 for a free-standing column.
    int Index() const;

    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    // Left edge in pixels, from the display order (unscrolled).
    int Left() const { return left_; }
    int Width() const { return width_; }
    void SetWidth(int value);
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int value);
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int value);
    TColumnPosition Position() const { return position_; }
    void SetPosition(TColumnPosition value);
    TVirtualTreeColumnStyle Style() const { return style_; }
    void SetStyle(TVirtualTreeColumnStyle value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value);
    TBiDiMode BiDiMode() const { return bidiMode_; }
    void SetBiDiMode(TBiDiMode value);
    TVTHeaderColumnLayout Layout() const { return layout_; }
    void SetLayout(TVTHeaderColumnLayout value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    TVTColumnOptions Options() const { return options_; }
    void SetOptions(TVTColumnOptions value);
    int Tag() const { return tag_; }
    void SetTag(int value) { tag_ = value; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF value);
    // The width before the last change.
    int LastWidth() const { return lastWidth_; }
    // Spring growth not applied yet (below one pixel).
    float SpringRest() const { return springRest_; }

    bool Visible() const { return (options_ & coVisible) != 0; }
    bool Fixed() const { return (options_ & coFixed) != 0; }
    // The text, or "Column N" when the text holds a character above U+00FF.
    std::string DisplayName() const;
    // The column reads from right to left.
    bool UseRightToLeftReading() const;

    // Copies every property (through the setters when the column is owned).
    virtual void Assign(const TVirtualTreeColumn& source);
    // Same values in every property.
    bool Equals(const TVirtualTreeColumn& other) const;
    // Left and right edge in window coordinates (scrolled unless fixed).
    void GetAbsoluteBounds(int& left, int& right) const;
    // Animates the width back to LastWidth.
    void RestoreLastWidth();
    // One column record of the header stream (see TVTHeader::SaveToStream).
    void LoadFromStream(TStream& stream, int version);
    void SaveToStream(TStream& stream) const;

    // Where the column's image, sort glyph and text go inside the cell area
    // `client`, for the header's font selected into dc.
    void ComputeHeaderLayout(HDC dc, const RECT& client, bool useHeaderGlyph, bool useSortGlyph,
                             POINT& headerGlyphPos, POINT& sortGlyphPos, RECT& textBounds) const;

    // The tree's colour or reading direction changed.
    void ParentColorChanged();
    void ParentBiDiModeChanged();

protected:
    // Tells the collection the item changed (repaints it).
    void Changed();

private:
    friend class TVirtualTreeColumns;
    friend class TVTHeader;
    TVTHeader* Header() const;
    TBaseVirtualTree* Tree() const;
    bool Loading() const;

    TVirtualTreeColumns* owner_ = nullptr;
    std::string text_;
    std::string hint_;
    int left_ = 0;
    int width_ = 50;
    int minWidth_ = 10;
    int maxWidth_ = 10000;
    TColumnPosition position_ = 0;
    TVirtualTreeColumnStyle style_ = vsText;
    int imageIndex_ = -1;
    TBiDiMode bidiMode_ = bdLeftToRight;
    TVTHeaderColumnLayout layout_ = blGlyphLeft;
    int margin_ = 4;
    int spacing_ = 4;
    TVTColumnOptions options_ = kDefaultColumnOptions;
    int tag_ = 0;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    COLORREF color_ = GetSysColor(COLOR_WINDOW);
    int lastWidth_ = 50;
    float springRest_ = 0;
};

// The header's columns, by index, with the display order.
class TVirtualTreeColumns : public TCollection {
public:
    explicit TVirtualTreeColumns(TVTHeader* header);
    ~TVirtualTreeColumns() override;
    TVirtualTreeColumns(const TVirtualTreeColumns&) = delete;
    TVirtualTreeColumns& operator=(const TVirtualTreeColumns&) = delete;

    TVTHeader* Header() const { return header_; }
    int Count() const override { return static_cast<int>(items_.size()); }
    TPersistent* Item(int index) override { return Items(index); }
    // The column at an index (nullptr outside 0..Count-1).
    TVirtualTreeColumn* Items(TColumnIndex index) const;
    TVirtualTreeColumn* operator[](TColumnIndex index) const { return Items(index); }
    // A new column of the tree's column class at the end.
    TVirtualTreeColumn* Add();
    // Deletes every column; the tracked indices go to -1, and so do
    // AutoSizeIndex, MainColumn and SortColumn unless the header is loading.
    void Clear();
    // Deletes one column (as deleting the column object does).
    void Delete(TColumnIndex index);

    // Between BeginUpdate and EndUpdate width changes neither re-run the
    // auto-size nor tell the tree; EndUpdate brings everything up to date.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // The column index shown at a display position (-1 past the end).
    TColumnIndex ColumnFromPosition(TColumnPosition position) const;
    // The column under a point of the window's client area (x), -2 when none,
    // -1 without columns. With relative, points right of the fixed columns
    // are taken as scrolled by the tree's horizontal offset.
    TColumnIndex ColumnFromPoint(POINT p, bool relative = true) const;
    // Visible columns in display order; -2 (InvalidColumn) when there is none.
    TColumnIndex GetFirstVisibleColumn() const;
    TColumnIndex GetLastVisibleColumn() const;
    TColumnIndex GetNextColumn(TColumnIndex column) const;
    TColumnIndex GetPreviousColumn(TColumnIndex column) const;
    TColumnIndex GetNextVisibleColumn(TColumnIndex column) const;
    TColumnIndex GetPreviousVisibleColumn(TColumnIndex column) const;
    std::vector<TColumnIndex> GetVisibleColumns() const;
    // Sum of the widths of the visible fixed columns.
    int GetVisibleFixedWidth() const;
    // Right edge of the last visible column (0 without columns).
    int TotalWidth() const;
    bool IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }
    // Left and right of a column in window coordinates (scrolled unless
    // fixed); for no column the whole client width.
    void GetColumnBounds(TColumnIndex column, int& left, int& right) const;
    TVirtualTreeColumn* ColumnAt(TColumnIndex index) const { return Items(index); }

    // Copies the columns and the display order.
    void Assign(const TVirtualTreeColumns& source);
    // Same count, same display order, every column equal.
    bool Equals(const TVirtualTreeColumns& other) const;
    // Resizes a column to newWidth with a short scroll animation of the
    // header and the client area right of it.
    void AnimatedResize(TColumnIndex column, int newWidth);
    void LoadFromStream(TStream& stream, int version);
    void SaveToStream(TStream& stream) const;

    // The index at each display position.
    const std::vector<TColumnIndex>& PositionToIndex() const { return positionToIndex_; }

    // Tracked columns (-1 when none).
    TColumnIndex HoverIndex() const { return hoverIndex_; }
    TColumnIndex DownIndex() const { return downIndex_; }
    TColumnIndex TrackIndex() const { return trackIndex_; }
    TColumnIndex ClickIndex() const { return clickIndex_; }
    void SetClickIndex(TColumnIndex index) { clickIndex_ = index; }
    TColumnIndex DragIndex() const { return dragIndex_; }
    TColumnIndex DropTarget() const { return dropTarget_; }
    bool DropBefore() const { return dropBefore_; }
    // Forgets the hover and pressed columns (and repaints them).
    void ResetHoverAndDown();

    // Positions and left edges from the display order.
    void UpdatePositions();
    // The column the auto-size works on: AutoSizeIndex, or the last column
    // when that is out of range (-1 without columns).
    TColumnIndex EffectiveAutoSizeIndex() const;
    // Sizes the auto-size column so that the columns fill the client width.
    void AdjustAutoSize(TColumnIndex currentIndex, bool force = false);

private:
    friend class TVirtualTreeColumn;
    friend class TVTHeader;
    void AddItem(TVirtualTreeColumn* column);
    void RemoveItem(TVirtualTreeColumn* column);
    void ItemChanged(TVirtualTreeColumn* column);
    void MoveColumn(TVirtualTreeColumn* column, TColumnPosition newPosition);
    TBaseVirtualTree* Tree() const;
    bool HeaderLoading() const;

    TVTHeader* header_;
    std::vector<TVirtualTreeColumn*> items_;
    std::vector<TColumnIndex> positionToIndex_;
    TColumnIndex hoverIndex_ = NoColumn;
    TColumnIndex downIndex_ = NoColumn;
    TColumnIndex trackIndex_ = NoColumn;
    TColumnIndex clickIndex_ = NoColumn;
    TColumnIndex dragIndex_ = NoColumn;
    TColumnIndex dropTarget_ = NoColumn;
    bool dropBefore_ = false;
    bool clearing_ = false;
    bool needPositionsFix_ = false;
    int updateCount_ = 0;
    TBitmap headerBitmap_;
};

// Internal states of the header.
enum THeaderState : unsigned {
    hsTracking = 1,        // a column border is being dragged
    hsDragging = 2,        // a column is being dragged
    hsDragPending = 4,     // a column was pressed and may be dragged
    hsLoading = 8,         // reading the header stream
    hsTrackPending = 16,   // a border was pressed; tracking starts with the first move
};
using THeaderStates = unsigned;

// The header of a tree.
class TVTHeader : public TPersistent {
public:
    explicit TVTHeader(TBaseVirtualTree* owner);
    ~TVTHeader() override;
    TVTHeader(const TVTHeader&) = delete;
    TVTHeader& operator=(const TVTHeader&) = delete;

    TBaseVirtualTree* Treeview() const { return tree_; }
    TVirtualTreeColumns& Columns() { return *columns_; }
    const TVirtualTreeColumns& Columns() const { return *columns_; }
    // True when the header has at least one column.
    bool UseColumns() const { return columns_->Count() > 0; }
    THeaderStates States() const { return states_; }
    bool IsLoading() const;

    TColumnIndex AutoSizeIndex() const { return autoSizeIndex_; }
    void SetAutoSizeIndex(TColumnIndex value);
    COLORREF Background() const { return background_; }
    void SetBackground(COLORREF value);
    TFont& Font() { return font_; }
    // Copies the font; ParentFont is cleared.
    void SetFont(const TFont& value);
    int Height() const { return height_; }
    void SetHeight(int value);
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* value);
    // -1 without columns; otherwise within 0..Count-1.
    TColumnIndex MainColumn() const;
    void SetMainColumn(TColumnIndex value);
    TVTHeaderOptions Options() const { return options_; }
    void SetOptions(TVTHeaderOptions value);
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* value);
    TColumnIndex SortColumn() const { return sortColumn_; }
    void SetSortColumn(TColumnIndex value);
    TSortDirection SortDirection() const { return sortDirection_; }
    void SetSortDirection(TSortDirection value);
    TVTHeaderStyle Style() const { return style_; }
    void SetStyle(TVTHeaderStyle value);

    // Every property through its setter.
    void Assign(const TVTHeader& source);
    // Font size multiplied by m / d.
    void ChangeScale(int m, int d);
    // p (client coordinates of the tree) lies on the header.
    bool InHeader(POINT p) const;
    // The header's rectangle in the tree's client coordinates (above the
    // client area: top is -Height).
    RECT HeaderRect() const;
    // Repaints a column (nullptr: the whole header); expandToBorder takes
    // in the area down to the header's edge.
    void Invalidate(TVirtualTreeColumn* column, bool expandToBorder = false);
    // The tree's non-client area is measured again (height or visibility changed).
    void RecalculateHeader();
    // Fits the visible resizable columns to their widest cell text.
    void AutoFitColumns(bool animated = true);
    // Animates every visible resizable column back to its last width.
    void RestoreColumns();
    // A window message of the tree; true when the header used it.
    virtual bool HandleMessage(TMessage& message);
    // The header's layout as a stream record (versions 0 to 3 read; 3 written).
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;

    // Paints the header into dc: headerRect is where the whole header lies
    // in dc's coordinates, hOffset how far the tree is scrolled to the right.
    void PaintHeader(HDC dc, const RECT& headerRect, int hOffset);
    // The column whose border lies under p (client coordinates); sets the
    // tracked column and the tracking origin when it is resizable.
    bool DetermineSplitterIndex(POINT p);

    // The window showing the column hints (nullptr before the first one).
    TVirtualTreeHintWindow* HintWindow() const { return hintWindow_.get(); }
    // Hides a column hint that is showing.
    void CancelHint();

    // The tree's font or reading direction changed.
    void ParentFontChanged();
    void ParentBiDiModeChanged();
    // Called by the tree when its form data was read or loading ended.
    void Loaded();
    // The tree's window changed size: auto-size and springs.
    void TreeResized();

    static constexpr int kStreamVersion = 3;

protected:
    // Cursor for a border under the mouse (default the split cursor).
    virtual HCURSOR HeaderCursor();
    void DragTo(POINT p);
    bool CanDragColumn(TColumnIndex column) const;

private:
    friend class TVirtualTreeColumns;
    friend class TVirtualTreeColumn;
    struct PaintContext;
    void PaintColumn(PaintContext& pc, TVirtualTreeColumn* column, RECT cell, bool isLast);
    void DrawXPCell(HDC dc, const RECT& r, bool hot, bool pressed, bool rightBorder);
    void DrawClassicCell(HDC dc, RECT& r, bool hot, bool pressed, bool rightBorder,
                         const TVirtualTreeColumn& column);
    bool UseThemes() const;
    TShiftState ShiftFromKeys(bool doubleClick) const;
    POINT ScreenToTreeClient(LPARAM screenPoint) const;
    POINT ClientPointFrom(LPARAM clientPoint) const;
    POINT HeaderPoint(POINT client) const;
    void HandleClick(POINT p, TMouseButton button, bool doubleClick);
    void StartColumnDrag(TColumnIndex column);
    void FinishColumnDrag(POINT p);
    void CancelColumnDrag();
    void SetHover(TColumnIndex column);
    void ShowColumnHint(TColumnIndex column);
    void AdjustSprings();
    void ReleaseMouse();
    void FontChanged();
    void ImagesChanged();

    TBaseVirtualTree* tree_;
    std::unique_ptr<TVirtualTreeColumns> columns_;
    std::unique_ptr<TVTDragImage> dragImage_;
    std::unique_ptr<TVirtualTreeHintWindow> hintWindow_;
    TColumnIndex hintColumn_ = NoColumn;   // column whose hint shows
    TFont font_;
    THeaderStates states_ = 0;
    TColumnIndex autoSizeIndex_ = NoColumn;
    COLORREF background_ = GetSysColor(COLOR_BTNFACE);
    int height_ = 17;
    TCustomImageList* images_ = nullptr;
    TColumnIndex mainColumn_ = NoColumn;
    TVTHeaderOptions options_ = hoColumnResize | hoDrag;
    bool parentFont_ = false;
    TPopupMenu* popupMenu_ = nullptr;
    TColumnIndex sortColumn_ = NoColumn;
    TSortDirection sortDirection_ = sdAscending;
    TVTHeaderStyle style_ = hsThickButtons;
    POINT dragStart_{};        // press point of a pending drag (client coordinates)
    int trackStart_ = 0;       // left edge of the tracked column (client x)
    bool springInitialized_ = false;
    int springWidth_ = 0;      // client width at the last size change
    bool hoverTimer_ = false;
    bool releasing_ = false;       // our own ReleaseCapture is running
    TColumnIndex pressIndex_ = NoColumn;   // column under the last button press
    TChangeLink imagesLink_;   // registered with images_
};

// The timer the header sets on the tree window to notice the mouse leaving it.
constexpr UINT_PTR kHeaderTimer = 3;
// Mouse movement (pixels) before a pressed column starts to be dragged.
constexpr int kHeaderDragThreshold = 5;
