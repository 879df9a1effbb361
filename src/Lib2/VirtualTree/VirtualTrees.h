// The list control: a tree of small fixed-size node records below a hidden
// root, with cached per-subtree counts and heights. It keeps no texts of its
// own; everything it shows is asked of the application through events.
//
// This file holds the declarations every part of the control shares: the
// node record and its states, the option sets, the colours, the scroll bar
// options, the clipboard format names, the event types and the tree class
// with its dispatchers. The header and its columns live in VTHeader.h, the
// worker thread, the hint window, the drag image and the shared resources
// in their own files; the tree holds them by pointer.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/Alignment.h"
#include "platform/Canvas.h"
#include "platform/Control.h"
#include "platform/Events.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/ImageList.h"
#include "platform/StringList.h"
#include "Lib2/VirtualTree/VTUtils.h"

class TBaseVirtualTree;
class TCustomVirtualStringTree;
class TVTHeader;
class TVirtualTreeColumns;
class TVirtualTreeColumn;
class TVirtualTreeHintWindow;
class TVTDragImage;
class TWorkerThread;
class TCustomImageList;
class TPopupMenu;
class TStream;
struct THeaderPaintInfo;     // defined with the header (VTHeader.h)
struct IVTDragManager;       // OLE drag manager (drag and drop files)
struct IAccessible;          // the system's accessibility interface (oleacc.h)

// ---------------------------------------------------------------------------
// Errors (EVirtualTreeError and ShowError come from VTUtils.h)

// Help contexts of the tree's errors.
constexpr int hcTFEditLinkIsNil = 2000;
constexpr int hcTFWrongMoveError = 2001;
constexpr int hcTFWrongStreamFormat = 2002;
constexpr int hcTFWrongStreamVersion = 2003;
constexpr int hcTFStreamTooSmall = 2004;
constexpr int hcTFCorruptStream1 = 2005;
constexpr int hcTFCorruptStream2 = 2006;
constexpr int hcTFClipboardFailed = 2007;
constexpr int hcTFCannotSetUserData = 2008;
constexpr int hcTFTooTall = 2009;
constexpr int hcTFDeleteWhileReading = 2010;
// The most the rows of a tree (and any node's TotalHeight) may add up to:
// positions, offsets and scroll bar ranges are 32-bit signed.
constexpr uint32_t MaxTreeHeight = 0x7FFFFFFF;

// ---------------------------------------------------------------------------
// Node record

using TColumnIndex = int32_t;
using TColumnPosition = int32_t;
constexpr TColumnIndex NoColumn = -1;        // a tree without columns paints as one
constexpr TColumnIndex InvalidColumn = -2;   // what column searches return when they find none

// Node states (a 16-bit set; bit 15 is never set).
enum TVirtualNodeState : uint16_t {
    vsInitialized = 0x0001,
    vsChecking = 0x0002,
    vsCutOrCopy = 0x0004,
    vsDisabled = 0x0008,
    vsDeleting = 0x0010,
    vsExpanded = 0x0020,
    vsHasChildren = 0x0040,
    vsVisible = 0x0080,
    vsSelected = 0x0100,
    vsInitialUserData = 0x0200,
    vsAllChildrenHidden = 0x0400,
    vsClearing = 0x0800,
    vsMultiline = 0x1000,
    vsHeightMeasured = 0x2000,
    vsToggling = 0x4000,
};
using TVirtualNodeStates = uint16_t;

// What the application may ask for in OnInitNode.
enum TVirtualNodeInitState : unsigned {
    ivsDisabled = 1,
    ivsExpanded = 2,
    ivsHasChildren = 4,
    ivsMultiline = 8,
    ivsSelected = 16,
};
using TVirtualNodeInitStates = unsigned;

// Check states come in pairs: normal and pressed.
enum TCheckState : uint8_t {
    csUncheckedNormal = 0,
    csUncheckedPressed = 1,
    csCheckedNormal = 2,
    csCheckedPressed = 3,
    csMixedNormal = 4,
    csMixedPressed = 5,
};

// Kind of check control of a node.
enum TCheckType : uint8_t {
    ctNone = 0,
    ctTriStateCheckBox = 1,   // follows its children with toAutoTristateTracking
    ctCheckBox = 2,
    ctRadioButton = 3,        // ticking one unticks its radio siblings
    ctButton = 4,
};

struct TVirtualNode;
using PVirtualNode = TVirtualNode*;

// One node. Allocated one by one, zero-filled, never moved while it exists.
// Behind the fixed fields come the internal data areas of subclasses and
// then NodeDataSize bytes of user data.
struct TVirtualNode {
    uint32_t Index;          // position among its siblings
    uint32_t ChildCount;
    uint16_t NodeHeight;
    TVirtualNodeStates States;
    uint8_t Align;           // tree lines and button, percent of the row height
    uint8_t CheckState;      // TCheckState
    uint8_t CheckType;       // TCheckType
    uint8_t Reserved;
    uint32_t TotalCount;     // 1 + TotalCount of every child
    uint32_t TotalHeight;    // NodeHeight + (expanded) TotalHeight of visible children
    PVirtualNode Parent;     // the hidden root for top-level nodes
    PVirtualNode PrevSibling;
    PVirtualNode NextSibling;
    PVirtualNode FirstChild;
    PVirtualNode LastChild;
};

// Every size and offset of the node layout comes from this one constant.
constexpr unsigned TreeNodeSize = 44;
static_assert(sizeof(void*) == 4, "the node layout is that of the 32-bit program");
static_assert(sizeof(TVirtualNode) == TreeNodeSize, "the node record is 44 bytes");

// ---------------------------------------------------------------------------
// Option sets (bit n = the n-th member)

enum TVTPaintOption : unsigned {
    toHideFocusRect = 1u << 0,
    toHideSelection = 1u << 1,
    toHotTrack = 1u << 2,
    toPopupMode = 1u << 3,
    toShowBackground = 1u << 4,
    toShowButtons = 1u << 5,
    toShowDropmark = 1u << 6,
    toShowHorzGridLines = 1u << 7,
    toShowRoot = 1u << 8,
    toShowTreeLines = 1u << 9,
    toShowVertGridLines = 1u << 10,
    toThemeAware = 1u << 11,
    toUseBlendedImages = 1u << 12,
    toGhostedIfUnfocused = 1u << 13,
    toFullVertGridLines = 1u << 14,
    toAlwaysHideSelection = 1u << 15,
    toUseBlendedSelection = 1u << 16,
    toStaticBackground = 1u << 17,
};
using TVTPaintOptions = unsigned;

enum TVTAnimationOption : unsigned { toAnimatedToggle = 1u << 0 };
using TVTAnimationOptions = unsigned;

enum TVTAutoOption : unsigned {
    toAutoDropExpand = 1u << 0,
    toAutoExpand = 1u << 1,
    toAutoScroll = 1u << 2,
    toAutoScrollOnExpand = 1u << 3,
    toAutoSort = 1u << 4,
    toAutoSpanColumns = 1u << 5,
    toAutoTristateTracking = 1u << 6,
    toAutoHideButtons = 1u << 7,
    toAutoDeleteMovedNodes = 1u << 8,
    toDisableAutoscrollOnFocus = 1u << 9,
    toAutoChangeScale = 1u << 10,
    toAutoFreeOnCollapse = 1u << 11,
    toDisableAutoscrollOnEdit = 1u << 12,
    toAutoBidiColumnOrdering = 1u << 13,
};
using TVTAutoOptions = unsigned;

enum TVTSelectionOption : unsigned {
    toDisableDrawSelection = 1u << 0,
    toExtendedFocus = 1u << 1,
    toFullRowSelect = 1u << 2,
    toLevelSelectConstraint = 1u << 3,
    toMiddleClickSelect = 1u << 4,
    toMultiSelect = 1u << 5,
    toRightClickSelect = 1u << 6,
    toSiblingSelectConstraint = 1u << 7,
    toCenterScrollIntoView = 1u << 8,
    toSimpleDrawSelection = 1u << 9,
};
using TVTSelectionOptions = unsigned;

enum TVTMiscOption : unsigned {
    toAcceptOLEDrop = 1u << 0,
    toCheckSupport = 1u << 1,
    toEditable = 1u << 2,
    toFullRepaintOnResize = 1u << 3,
    toGridExtensions = 1u << 4,
    toInitOnSave = 1u << 5,
    toReportMode = 1u << 6,
    toToggleOnDblClick = 1u << 7,
    toWheelPanning = 1u << 8,
    toReadOnly = 1u << 9,
    toVariableNodeHeight = 1u << 10,
    toFullRowDrag = 1u << 11,
};
using TVTMiscOptions = unsigned;

enum TVTStringOption : unsigned {
    toSaveCaptions = 1u << 0,
    toShowStaticText = 1u << 1,
    toAutoAcceptEditChange = 1u << 2,
};
using TVTStringOptions = unsigned;

constexpr TVTPaintOptions DefaultPaintOptions = 0x1B60;
constexpr TVTAnimationOptions DefaultAnimationOptions = 0;
constexpr TVTAutoOptions DefaultAutoOptions = 0x0149;
constexpr TVTSelectionOptions DefaultSelectionOptions = 0;
constexpr TVTMiscOptions DefaultMiscOptions = 0x01A9;
constexpr TVTStringOptions DefaultStringOptions = 0x05;

// Header and column options (behaviour in VTHeader.cpp).
enum TVTHeaderOption : unsigned {
    hoAutoResize = 1u << 0,
    hoColumnResize = 1u << 1,
    hoDblClickResize = 1u << 2,
    hoDrag = 1u << 3,
    hoHotTrack = 1u << 4,
    hoOwnerDraw = 1u << 5,
    hoRestrictDrag = 1u << 6,
    hoShowHint = 1u << 7,
    hoShowImages = 1u << 8,
    hoShowSortGlyphs = 1u << 9,
    hoVisible = 1u << 10,
    hoAutoSpring = 1u << 11,
};
using TVTHeaderOptions = unsigned;
constexpr TVTHeaderOptions DefaultHeaderOptions = hoColumnResize | hoDrag | hoShowSortGlyphs;

enum TVTColumnOption : unsigned {
    coAllowClick = 1u << 0,
    coDraggable = 1u << 1,
    coEnabled = 1u << 2,
    coParentBidiMode = 1u << 3,
    coParentColor = 1u << 4,
    coResizable = 1u << 5,
    coShowDropMark = 1u << 6,
    coVisible = 1u << 7,
    coAutoSpring = 1u << 8,
    coFixed = 1u << 9,
};
using TVTColumnOptions = unsigned;
constexpr TVTColumnOptions DefaultColumnOptions = 0x00FF;
constexpr TVTColumnOptions kDefaultColumnOptions = DefaultColumnOptions;

// Parts of a header cell the application may draw itself (advanced owner
// draw): the bits of THeaderPaintElement, defined with the header.
using THeaderPaintElements = unsigned;

// ---------------------------------------------------------------------------
// Further enumerations

enum TVTNodeAttachMode { amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast };
enum TSortDirection { sdAscending, sdDescending };
enum TVTHeaderStyle { hsThickButtons, hsFlatButtons, hsPlates, hsXPStyle };
enum TVirtualTreeColumnStyle { vsText, vsOwnerDraw };
enum TVTHeaderColumnLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TVTHintMode { hmDefault, hmHint, hmHintAndDefault, hmTooltip };
enum THintAnimationType { hatNone, hatFade, hatSlide, hatSystemDefault };
enum TVTDragImageKind { diComplete, diMainColumnOnly, diNoImage };
enum TVTDragType { dtOLE, dtVCL };
enum TDragOperation : unsigned { doCopy = 1, doMove = 2, doLink = 4 };
using TDragOperations = unsigned;
enum TVTLineStyle { lsCustomStyle, lsDotted, lsSolid };
enum TVTLineMode { lmNormal, lmBands };
enum TVTButtonStyle { bsRectangle, bsTriangle };
enum TVTButtonFillMode { fmTreeColor, fmWindowColor, fmShaded, fmTransparent };
enum TCheckImageKind { ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckCustom,
                       ckSystem, ckSystemFlat };
enum TVTIncrementalSearch { isAll, isNone, isInitializedOnly, isVisibleOnly };
enum TVTSearchDirection { sdForward, sdBackward };
enum TVTSearchStart { ssAlwaysStartOver, ssLastHit, ssFocusedNode };
enum TVTNodeAlignment { naFromBottom, naFromTop, naProportional };
enum TVTDrawSelectionMode { smDottedRectangle, smBlendedRectangle };
enum TScrollBarStyle { sbmRegular, sbmFlat, sbm3D };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TBorderStyle { bsNone, bsSingle };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

// Text kinds asked of a string tree.
enum TVSTTextType { ttNormal, ttStatic };
// What OnBeforeItemErase may ask for: fill the row with the given colour,
// the tree's own erasing, or nothing.
enum TItemEraseAction { eaFillColor, eaStandard, eaSkip };
// Images of a node.
enum TVTImageKind { ikNormal, ikSelected, ikState, ikOverlay };
// The drop mark of a header column being dragged.
enum TVTDropMarkMode { dmmNone, dmmLeft, dmmRight };
// Where a drop lands relative to the node under the mouse.
enum TDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };
// The drag state of a drag-over notice.
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
// How a hint's text breaks.
enum TVTTooltipLineBreakStyle { hlbDefault, hlbForceSingleLine, hlbForceMultiLine };
// Begin, inside and end of an update bracket.
enum TVTUpdateState { usBegin, usBeginSynch, usSynch, usEnd, usEndSynch, usUpdate };

// Why the structure changed. 1 means several reasons came together.
enum TChangeReason {
    crIgnore = 0,
    crAccumulated = 1,
    crChildAdded = 2,       // children added or removed through SetChildCount
    crChildDeleted = 3,
    crNodeAdded = 4,
    crNodeCopied = 5,
    crNodeMoved = 6,
};

// Hit positions of a point (navigation and mouse handling).
enum THitPosition : unsigned {
    hpAbove = 0x0001,
    hpBelow = 0x0002,
    hpNowhere = 0x0004,
    hpOnItem = 0x0008,
    hpOnButton = 0x0010,
    hpOnCheckBox = 0x0020,
    hpOnIndent = 0x0040,
    hpOnLabel = 0x0080,
    hpLeftOfLabel = 0x0100,
    hpRightOfLabel = 0x0200,
    hpOnNormalImage = 0x0400,
    hpOnStateImage = 0x0800,
    hpLeftOfClient = 0x1000,
    hpRightOfClient = 0x2000,
};
using THitPositions = unsigned;

// What HitTestAt found: the node (nil when none), the positions, and the
// column (-1 without columns, -2 when no column lies there).
struct THitInfo {
    PVirtualNode HitNode = nullptr;
    THitPositions HitPositions = 0;
    TColumnIndex HitColumn = NoColumn;
};

// Nodes in tree order (sorted selection, cut and copy sets).
using TNodeArray = std::vector<PVirtualNode>;

// Line images of a row (DetermineLineImages).
enum TVTLineType : uint8_t {
    ltNone = 0,
    ltBottomRight = 1,
    ltTopDown = 2,
    ltTopDownRight = 3,
    ltRight = 4,
    ltTopRight = 5,
};
using TLineImage = std::vector<TVTLineType>;

// ---------------------------------------------------------------------------
// [paint] Painting (VTPaint*.cpp)

// What PaintTreeArea draws.
enum TVTPaintRequestOption : unsigned {
    prBackground = 1u << 0,       // the background picture where it applies
    prColumnColors = 1u << 1,     // each cell filled with its column's colour
    prFocusRect = 1u << 2,
    prSelection = 1u << 3,        // selected rows drawn as selected
    prDropMark = 1u << 4,
    prGridLines = 1u << 5,
    prMainColumnOnly = 1u << 6,
    prSelectedOnly = 1u << 7,     // only selected nodes and their descendants
};
using TPaintRequestOptions = unsigned;
// The window's own painting, the printing of the client area, the drag image.
constexpr TPaintRequestOptions WindowPaintOptions = 63;
constexpr TPaintRequestOptions PrintClientPaintOptions = 61;
constexpr TPaintRequestOptions DragImagePaintOptions = 136;

// One image of a cell: its index (-1: none), place, look and list.
struct TVTImageInfo {
    int Index = -1;
    int XPos = 0, YPos = 0;
    bool Ghosted = false;
    TCustomImageList* Images = nullptr;
};
enum TVTImageInfoIndex { iiNormal, iiState, iiCheck, iiOverlay };

// What the cell painters get: the canvas (the row bitmap, its horizontal
// origin at the painted window's left edge, so x is in tree coordinates and
// y in the row), the node and column, the cell and the content rectangle
// (the cell less margin, indentation and images), and the cell's images.
struct TVTPaintInfo {
    TCanvas* Canvas = nullptr;
    TPaintRequestOptions PaintOptions = 0;
    PVirtualNode Node = nullptr;
    TColumnIndex Column = NoColumn;
    TColumnPosition Position = 0;
    RECT CellRect{};
    RECT ContentRect{};
    int NodeWidth = 0;
    TAlignment Alignment = TAlignment::taLeftJustify;
    TBiDiMode BidiMode = bdLeftToRight;
    int VerticalAlignment = 0;   // where the tree lines meet the row
    POINT BrushOrigin{};
    TVTImageInfo ImageInfo[4];
};

// One step of an animation: false stops it.
using TVTAnimationCallback = std::function<bool(unsigned step, unsigned stepSize, void* data)>;

// ---------------------------------------------------------------------------
// Tree states (reported through OnStateChange as entered and left sets)

enum TVirtualTreeState : uint64_t {
    tsCancelHintAnimation = 1ull << 0,
    tsChangePending = 1ull << 1,
    tsCheckPropagation = 1ull << 2,
    tsCollapsing = 1ull << 3,
    tsToggleFocusedSelection = 1ull << 4,   // toggle pending (Ctrl+click, decided on button up)
    tsClearPending = 1ull << 5,
    tsClipboardFlushing = 1ull << 6,
    tsCopyPending = 1ull << 7,
    tsCutPending = 1ull << 8,
    tsDrawSelPending = 1ull << 9,
    tsDrawSelecting = 1ull << 10,
    tsEditing = 1ull << 11,
    tsEditPending = 1ull << 12,
    tsExpanding = 1ull << 13,
    tsHint = 1ull << 14,
    tsInAnimation = 1ull << 15,
    tsIncrementalSearching = 1ull << 16,
    tsIncrementalSearchPending = 1ull << 17,
    tsIterating = 1ull << 18,
    tsKeyCheckPending = 1ull << 19,
    tsLeftButtonDown = 1ull << 20,
    tsLeftDblClick = 1ull << 21,
    tsMouseCheckPending = 1ull << 22,
    tsMiddleButtonDown = 1ull << 23,
    tsMiddleDblClick = 1ull << 24,
    tsNeedRootCountUpdate = 1ull << 25,
    tsOLEDragging = 1ull << 26,
    tsOLEDragPending = 1ull << 27,
    tsPainting = 1ull << 28,
    tsRightButtonDown = 1ull << 29,
    tsRightDblClick = 1ull << 30,
    tsPopupMenuShown = 1ull << 31,
    tsScrolling = 1ull << 32,
    tsScrollPending = 1ull << 33,
    tsSizing = 1ull << 34,
    tsStopValidation = 1ull << 35,          // worker flag 1
    tsStructureChangePending = 1ull << 36,
    tsSynchMode = 1ull << 37,
    tsThumbTracking = 1ull << 38,
    tsToggling = 1ull << 39,
    tsUpdateHiddenChildrenNeeded = 1ull << 40,
    tsUpdating = 1ull << 41,
    tsUseCache = 1ull << 42,                // worker flag 2: the position cache is valid
    tsUserDragObject = 1ull << 43,
    tsUseThemes = 1ull << 44,
    tsValidating = 1ull << 45,              // worker flag 4
    tsValidationNeeded = 1ull << 46,        // worker flag 8
    tsVCLDragging = 1ull << 47,
    tsVCLDragPending = 1ull << 48,
    tsVCLDragFinished = 1ull << 49,
    tsPanning = 1ull << 50,
    tsWindowCreating = 1ull << 51,
    tsWheelPanning = 1ull << 52,
    tsWheelScrolling = 1ull << 53,
    tsChangingCheckStates = 1ull << 54,
    tsClearing = 1ull << 55,
};
using TVirtualTreeStates = uint64_t;

// The worker's notice to a tree: wParam entered, lParam left, each of these flags.
constexpr UINT WM_CHANGESTATE = 0x8020;
enum TWorkerStateFlag : unsigned {
    wsStopValidation = 1,
    wsCacheValid = 2,
    wsValidating = 4,
    wsValidationNeeded = 8,
};
// The tree states a set of worker flags stands for.
TVirtualTreeStates WorkerFlagsToStates(unsigned flags);

// Timers of the tree window.
enum TTreeTimer : UINT_PTR {
    ExpandTimer = 1,
    EditTimer = 2,
    HeaderTimer = 3,      // the header's own
    ScrollTimer = 4,
    ChangeTimer = 5,
    StructureChangeTimer = 6,
    SearchTimer = 7,
    ScrollBarTimer = 8,   // [scroll] draws the scroll bars once after a burst of scrolls
};

// Options of the scroll operation DoSetOffsetXY.
enum TScrollUpdateOption : unsigned {
    suoRepaintHeader = 1,
    suoRepaintScrollBars = 2,
    suoScrollClientArea = 4,
    suoUpdateNCArea = 8,
};
using TScrollUpdateOptions = unsigned;
constexpr TScrollUpdateOptions DefaultScrollUpdateFlags = 15;

// ---------------------------------------------------------------------------
// In-place editor

// An editor for one cell. Owned by shared_ptr; the tree releases its link
// when the edit has ended or was cancelled.
struct IVTEditLink {
    virtual ~IVTEditLink() = default;
    virtual bool BeginEdit() = 0;
    virtual bool CancelEdit() = 0;
    virtual bool EndEdit() = 0;
    virtual bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) = 0;
    virtual RECT GetBounds() = 0;
    virtual void ProcessMessage(TMessage& message) = 0;
    virtual void SetBounds(RECT r) = 0;
};
using TEditLinkPtr = std::shared_ptr<IVTEditLink>;

// ---------------------------------------------------------------------------
// Option objects

// The five option sets of a tree. Each setter stores the set and, unless
// the tree is loading or has no window, reacts to the members that changed.
class TCustomVirtualTreeOptions : public TPersistent {
public:
    explicit TCustomVirtualTreeOptions(TBaseVirtualTree* owner);

    TBaseVirtualTree* Owner() const { return owner_; }
    TVTPaintOptions PaintOptions() const { return paint_; }
    TVTAnimationOptions AnimationOptions() const { return animation_; }
    TVTAutoOptions AutoOptions() const { return auto_; }
    TVTSelectionOptions SelectionOptions() const { return selection_; }
    TVTMiscOptions MiscOptions() const { return misc_; }
    void SetPaintOptions(TVTPaintOptions value);
    void SetAnimationOptions(TVTAnimationOptions value);
    void SetAutoOptions(TVTAutoOptions value);
    void SetSelectionOptions(TVTSelectionOptions value);
    void SetMiscOptions(TVTMiscOptions value);

    // Copies the sets through the setters.
    virtual void Assign(const TCustomVirtualTreeOptions& source);

protected:
    friend class TBaseVirtualTree;
    TBaseVirtualTree* owner_;
    TVTPaintOptions paint_ = DefaultPaintOptions;
    TVTAnimationOptions animation_ = DefaultAnimationOptions;
    TVTAutoOptions auto_ = DefaultAutoOptions;
    TVTSelectionOptions selection_ = DefaultSelectionOptions;
    TVTMiscOptions misc_ = DefaultMiscOptions;
};

class TCustomStringTreeOptions : public TCustomVirtualTreeOptions {
public:
    explicit TCustomStringTreeOptions(TBaseVirtualTree* owner) : TCustomVirtualTreeOptions(owner) {}
    TVTStringOptions StringOptions() const { return string_; }
    void SetStringOptions(TVTStringOptions value);
    void Assign(const TCustomVirtualTreeOptions& source) override;

protected:
    TVTStringOptions string_ = DefaultStringOptions;
};

class TStringTreeOptions : public TCustomStringTreeOptions {
public:
    using TCustomStringTreeOptions::TCustomStringTreeOptions;
};

// The fifteen colours of a tree, each an indexed slot.
class TVTColors : public TPersistent {
public:
    enum Index {
        DisabledColorIndex, DropMarkColorIndex, DropTargetColorIndex, FocusedSelectionColorIndex,
        GridLineColorIndex, TreeLineColorIndex, UnfocusedSelectionColorIndex, BorderColorIndex,
        HotColorIndex, FocusedSelectionBorderColorIndex, UnfocusedSelectionBorderColorIndex,
        DropTargetBorderColorIndex, SelectionRectangleBlendColorIndex,
        SelectionRectangleBorderColorIndex, HeaderHotColorIndex, ColorCount
    };
    explicit TVTColors(TBaseVirtualTree* owner);

    COLORREF Color(int index) const
    {
        BX_ASSERT(index >= 0 && index < ColorCount, "Invalid colour index.");
        return colors_[index];
    }
    void SetColor(int index, COLORREF value);
    void Assign(const TVTColors& source);

    COLORREF DisabledColor() const { return colors_[DisabledColorIndex]; }
    COLORREF DropMarkColor() const { return colors_[DropMarkColorIndex]; }
    COLORREF DropTargetColor() const { return colors_[DropTargetColorIndex]; }
    COLORREF FocusedSelectionColor() const { return colors_[FocusedSelectionColorIndex]; }
    COLORREF GridLineColor() const { return colors_[GridLineColorIndex]; }
    COLORREF TreeLineColor() const { return colors_[TreeLineColorIndex]; }
    COLORREF UnfocusedSelectionColor() const { return colors_[UnfocusedSelectionColorIndex]; }
    COLORREF BorderColor() const { return colors_[BorderColorIndex]; }
    COLORREF HotColor() const { return colors_[HotColorIndex]; }
    COLORREF FocusedSelectionBorderColor() const { return colors_[FocusedSelectionBorderColorIndex]; }
    COLORREF UnfocusedSelectionBorderColor() const { return colors_[UnfocusedSelectionBorderColorIndex]; }
    COLORREF DropTargetBorderColor() const { return colors_[DropTargetBorderColorIndex]; }
    COLORREF SelectionRectangleBlendColor() const { return colors_[SelectionRectangleBlendColorIndex]; }
    COLORREF SelectionRectangleBorderColor() const { return colors_[SelectionRectangleBorderColorIndex]; }
    COLORREF HeaderHotColor() const { return colors_[HeaderHotColorIndex]; }

private:
    TBaseVirtualTree* owner_;
    COLORREF colors_[ColorCount];
};

using TVTScrollIncrement = uint16_t;   // 1 to 10000 pixels

class TScrollBarOptions : public TPersistent {
public:
    explicit TScrollBarOptions(TBaseVirtualTree* owner) : owner_(owner) {}

    bool AlwaysVisible() const { return alwaysVisible_; }
    void SetAlwaysVisible(bool value);
    TVTScrollIncrement HorizontalIncrement() const { return horizontalIncrement_; }
    void SetHorizontalIncrement(int value);
    TVTScrollIncrement VerticalIncrement() const { return verticalIncrement_; }
    void SetVerticalIncrement(int value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    TScrollBarStyle ScrollBarStyle() const { return style_; }
    // Only sbmRegular: other styles fail an assertion.
    void SetScrollBarStyle(TScrollBarStyle value);
    void Assign(const TScrollBarOptions& source);

private:
    TBaseVirtualTree* owner_;
    bool alwaysVisible_ = false;
    TVTScrollIncrement horizontalIncrement_ = 20;
    TVTScrollIncrement verticalIncrement_ = 20;
    TScrollStyle scrollBars_ = ssBoth;
    TScrollBarStyle style_ = sbmRegular;
};

// ---------------------------------------------------------------------------
// Clipboard formats

// Tells whether a tree belongs to a tree class (the class or a descendant).
using TTreeClassCheck = bool (*)(const TBaseVirtualTree* tree);
template <class T>
bool IsTreeOfClass(const TBaseVirtualTree* tree) {
    return dynamic_cast<const T*>(tree) != nullptr;
}

struct TClipboardFormatEntry {
    std::string Description;
    TTreeClassCheck TreeClass = nullptr;
    unsigned Priority = 0;
    FORMATETC FormatEtc{};
};

// The process-wide list of formats trees can render, sorted by priority
// (lower first). The first tree created fills it.
class TClipboardFormatList {
public:
    // Registers the name with the system and adds an entry; returns the format number.
    static CLIPFORMAT Add(const std::string& description, TTreeClassCheck treeClass, unsigned priority,
                          DWORD medium = TYMED_HGLOBAL, DVTARGETDEVICE* targetDevice = nullptr,
                          DWORD aspect = DVASPECT_CONTENT, LONG lindex = -1);
    // Adds a format by its number (standard formats under their fixed description).
    static void AddFormat(CLIPFORMAT format, TTreeClassCheck treeClass, unsigned priority);
    static const TClipboardFormatEntry* FindFormat(const std::string& description);
    static const TClipboardFormatEntry* FindFormat(CLIPFORMAT format);
    // Formats the tree may render in priority order; with `allowed` only those named there.
    static std::vector<const TClipboardFormatEntry*> EnumerateFormats(const TBaseVirtualTree* tree,
                                                                      const TStringList* allowed = nullptr);
    static int Count();
    // Empties the list (the shared resources' shut-down).
    static void Clear();
};

// The names of the clipboard formats a tree offers: sorted, no duplicates,
// only formats registered for the tree's class or one of its ancestors.
class TClipboardFormats : public TPersistent {
public:
    explicit TClipboardFormats(TBaseVirtualTree* owner) : owner_(owner) {}
    TBaseVirtualTree* Owner() const { return owner_; }

    // Index of the name, or -1 when it is not a format this tree can offer.
    int Add(const std::string& name);
    int Insert(int index, const std::string& name);
    void Delete(int index);
    void Clear() { list_.Clear(); }
    int Count() const { return list_.Count(); }
    const std::string& operator[](int index) const { return list_[index]; }
    int IndexOf(const std::string& name) const;
    const TStringList& Strings() const { return list_; }
    void Assign(const TClipboardFormats& source);

private:
    TBaseVirtualTree* owner_;
    TStringList list_;
};

// [ole] Keeps a tree in the process's list of live trees (VTDataObject.h)
// from its construction to its destruction; on the way out it lets go of the
// tree's drag manager.
class TVTLiveTreeEntry {
public:
    TVTLiveTreeEntry(const TBaseVirtualTree* tree, IVTDragManager** dragManager);
    ~TVTLiveTreeEntry();
    TVTLiveTreeEntry(const TVTLiveTreeEntry&) = delete;
    TVTLiveTreeEntry& operator=(const TVTLiveTreeEntry&) = delete;

private:
    const TBaseVirtualTree* tree_;
    IVTDragManager** dragManager_;
};

// ---------------------------------------------------------------------------
// Event types

using TVTAdvancedHeaderPaintEvent =
    std::function<void(TVTHeader* sender, THeaderPaintInfo& paintInfo, THeaderPaintElements elements)>;
using TVTAfterCellPaintEvent = std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas,
                                                  PVirtualNode node, TColumnIndex column, const RECT& cellRect)>;
using TVTBeforeCellPaintEvent = TVTAfterCellPaintEvent;
using TVTAfterItemEraseEvent =
    std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, PVirtualNode node, const RECT& itemRect)>;
using TVTAfterItemPaintEvent = TVTAfterItemEraseEvent;
using TVTBeforeItemEraseEvent =
    std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, PVirtualNode node, const RECT& itemRect,
                       COLORREF& itemColor, TItemEraseAction& eraseAction)>;
using TVTBeforeItemPaintEvent = std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas,
                                                   PVirtualNode node, const RECT& itemRect, bool& customDraw)>;
using TVTPaintEvent = std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas)>;
using TVTChangeEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node)>;
using TVTCheckChangingEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TCheckState& newState, bool& allowed)>;
using TVTChangingEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, bool& allowed)>;
using TVTColumnClickEvent = std::function<void(TBaseVirtualTree* sender, TColumnIndex column, TShiftState shift)>;
using TVTHeaderNotifyEvent = std::function<void(TVTHeader* sender, TColumnIndex column)>;
using TVTCompareEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node1, PVirtualNode node2,
                                           TColumnIndex column, int& result)>;
using TVTCreateDataObjectEvent = std::function<void(TBaseVirtualTree* sender, IDataObject*& dataObject)>;
using TVTCreateDragManagerEvent = std::function<void(TBaseVirtualTree* sender, IVTDragManager*& dragManager)>;
using TVTCreateEditorEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                                TEditLinkPtr& editLink)>;
using TVTDragAllowedEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& allowed)>;
using TVTDragOverEvent = std::function<void(TBaseVirtualTree* sender, TObject* source, TShiftState shift,
                                            TDragState state, POINT pt, TDropMode mode, DWORD& effect,
                                            bool& accept)>;
using TVTDragDropEvent = std::function<void(TBaseVirtualTree* sender, TObject* source, IDataObject* dataObject,
                                            const std::vector<CLIPFORMAT>& formats, TShiftState shift, POINT pt,
                                            DWORD& effect, TDropMode mode)>;
using TVTEditCancelEvent = std::function<void(TBaseVirtualTree* sender, TColumnIndex column)>;
using TVTEditChangeEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column)>;
using TVTEditChangingEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& allowed)>;
using TVTFocusChangeEvent = TVTEditChangeEvent;
using TVTFocusChangingEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode oldNode, PVirtualNode newNode,
                       TColumnIndex oldColumn, TColumnIndex newColumn, bool& allowed)>;
using TVTGetCellIsEmptyEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& isEmpty)>;
using TVTGetCursorEvent = std::function<void(TBaseVirtualTree* sender, HCURSOR& cursor)>;
using TVTGetHeaderCursorEvent = std::function<void(TVTHeader* sender, HCURSOR& cursor)>;
using TVTHelpContextEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, int& helpContext)>;
using TVSTGetHintEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                       TVTTooltipLineBreakStyle& lineBreakStyle, std::string& hintText)>;
using TVTGetImageEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind kind,
                                            TColumnIndex column, bool& ghosted, int& imageIndex)>;
using TVTGetImageExEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                       bool& ghosted, int& imageIndex, TCustomImageList*& imageList)>;
using TVTGetLineStyleEvent = std::function<void(TBaseVirtualTree* sender, const void*& bits)>;
using TVTGetNodeDataSizeEvent = std::function<void(TBaseVirtualTree* sender, int& nodeDataSize)>;
using TVTPopupEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                         POINT p, bool& askParent, TPopupMenu*& popupMenu)>;
using TVSTGetTextEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                            TVSTTextType textType, std::string& cellText)>;
using TVTGetUserClipboardFormatsEvent =
    std::function<void(TBaseVirtualTree* sender, std::vector<FORMATETC>& formats)>;
using TVTHeaderClickEvent = std::function<void(TVTHeader* sender, TColumnIndex column, TMouseButton button,
                                               TShiftState shift, int x, int y)>;
using TVTHeaderDraggedEvent = std::function<void(TVTHeader* sender, TColumnIndex column, int oldPosition)>;
using TVTHeaderDraggedOutEvent = std::function<void(TVTHeader* sender, TColumnIndex column, POINT dropPosition)>;
using TVTHeaderDraggingEvent = std::function<void(TVTHeader* sender, TColumnIndex column, bool& allowed)>;
using TVTHeaderPaintEvent =
    std::function<void(TVTHeader* sender, TCanvas& headerCanvas, TVirtualTreeColumn* column, const RECT& r,
                       bool hover, bool pressed, TVTDropMarkMode dropMark)>;
using TVTHeaderPaintQueryElementsEvent =
    std::function<void(TVTHeader* sender, THeaderPaintInfo& paintInfo, THeaderPaintElements& elements)>;
using TVTHeaderMouseEvent =
    std::function<void(TVTHeader* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TVTHeaderMouseMoveEvent = std::function<void(TVTHeader* sender, TShiftState shift, int x, int y)>;
using TVTHotNodeChangeEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode oldNode, PVirtualNode newNode)>;
using TVTIncrementalSearchEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, const std::string& searchText, int& result)>;
using TVTInitChildrenEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, unsigned& childCount)>;
using TVTInitNodeEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode parentNode, PVirtualNode node,
                                            TVirtualNodeInitStates& initialStates)>;
using TVTKeyActionEvent =
    std::function<void(TBaseVirtualTree* sender, WORD& charCode, TShiftState& shift, bool& doDefault)>;
using TVTSaveNodeEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TStream& stream)>;
using TVTMeasureItemEvent =
    std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, PVirtualNode node, int& nodeHeight)>;
using TVSTNewTextEvent = std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                            const std::string& newText)>;
using TVTNodeCopyingEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, PVirtualNode target, bool& allowed)>;
using TVTBackgroundPaintEvent =
    std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, const RECT& r, bool& handled)>;
using TVTPaintText = std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, PVirtualNode node,
                                        TColumnIndex column, TVSTTextType textType)>;
using TVTRenderOLEDataEvent = std::function<void(TBaseVirtualTree* sender, const FORMATETC& formatEtcIn,
                                                 STGMEDIUM& medium, bool forClipboard, HRESULT& result)>;
using TVTScrollEvent = std::function<void(TBaseVirtualTree* sender, int deltaX, int deltaY)>;
using TVTShortenStringEvent =
    std::function<void(TBaseVirtualTree* sender, TCanvas& targetCanvas, PVirtualNode node, TColumnIndex column,
                       const std::string& s, int textSpace, std::string& result, bool& done)>;
using TVTScrollbarShowEvent = std::function<void(TBaseVirtualTree* sender, int bar, bool show)>;
using TVTStateChangeEvent =
    std::function<void(TBaseVirtualTree* sender, TVirtualTreeStates enter, TVirtualTreeStates leave)>;
using TVTStructureChangeEvent =
    std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TChangeReason reason)>;
using TVTUpdatingEvent = std::function<void(TBaseVirtualTree* sender, TVTUpdateState state)>;

// ---------------------------------------------------------------------------
// Worker thread (VTWorker.cpp): one thread validates the position caches of
// every tree of the process. A tree registers on creation and releases on
// destruction; the thread goes with the last tree.

void WorkerAddThreadReference();
// Lowers the count, waits until the worker has left the tree (its
// InterruptValidation) and ends the thread with the last reference.
void WorkerReleaseThreadReference(TBaseVirtualTree* tree);
// Queues the tree (once) and wakes the worker.
void WorkerAddTree(TBaseVirtualTree* tree);
void WorkerRemoveTree(TBaseVirtualTree* tree);
// True while the worker is inside this tree's validation (any thread may ask).
bool WorkerIsValidating(const TBaseVirtualTree* tree);
// The worker exists (some tree holds a reference).
bool WorkerRunning();

// ---------------------------------------------------------------------------
// The tree

// Position cache entry: a node and the absolute top of its row.
struct TCacheEntry {
    PVirtualNode Node;
    uint32_t AbsoluteTop;
};
constexpr unsigned CacheThreshold = 2000;

// [stream] Node streams (VTStream.cpp): nested chunks of a 32-bit type and
// a 32-bit size (the bytes after the 8-byte header).
enum TChunkType : int32_t { NodeChunk = 1, BaseChunk = 2, CaptionChunk = 3, UserChunk = 4 };
// The format written; versions 1 and 2 are read.
constexpr int VTTreeStreamVersion = 2;
// The deepest nesting of nodes a stream may hold (the reader recurses per level).
constexpr unsigned MaxStreamNodeDepth = 512;

class TBaseVirtualTree : public TWinControl {
public:
    explicit TBaseVirtualTree(TComponent* owner);
    ~TBaseVirtualTree() override;
    // Freeing a tree (delete, also by its owner) first stops the worker on
    // it and keeps it from being queued again, then runs the destructors: a
    // derived class may validate the cache itself (DoValidateCache), and the
    // worker must be out of that code before the class's own parts go.
    void operator delete(TBaseVirtualTree* tree, std::destroying_delete_t);
    // The storage comes from the global allocation function, and goes back
    // to it when a constructor fails (delete prefers the destroying form).
    static void* operator new(std::size_t size);
    static void operator delete(void* storage);

    // ----- nodes and structure
    PVirtualNode RootNode() const { return root_; }
    unsigned RootNodeCount() const { return root_->ChildCount; }
    void SetRootNodeCount(unsigned value);
    unsigned TotalCount() const { return root_->TotalCount - 1; }
    unsigned VisibleCount() const { return visibleCount_; }
    int NodeDataSize() const { return nodeDataSize_; }
    void SetNodeDataSize(int value);
    // Size of the internal data areas subclasses reserved (multiple of 4).
    unsigned TotalInternalDataSize() const { return totalInternalDataSize_; }
    // The user data area; nil for nil and the root.
    void* NodeData(PVirtualNode node) const;
    template <class T>
    T* Data(PVirtualNode node) const { return static_cast<T*>(NodeData(node)); }
    // 0 for top-level nodes (and for nil and the root).
    unsigned NodeLevel(PVirtualNode node) const;

    PVirtualNode AddChildNode(PVirtualNode parent, const void* userData = nullptr);
    PVirtualNode InsertNodeAt(PVirtualNode node, TVTNodeAttachMode mode, const void* userData = nullptr);
    void DeleteNode(PVirtualNode node, bool reindex = true);
    void DeleteChildNodes(PVirtualNode node, bool resetHasChildren);
    virtual void ClearNodes();
    virtual void DeleteSelection();
    // True when the node moved (OnNodeMoving may refuse).
    bool MoveNode(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode, bool childrenOnly);
    virtual void BeginUpdate();
    virtual void EndUpdate();
    unsigned UpdateCount() const { return updateCount_; }
    void ValidateNode(PVirtualNode node, bool recursive);
    void ValidateChildNodes(PVirtualNode node, bool recursive);
    void ToggleExpanded(PVirtualNode node);
    void ToggleNode(PVirtualNode node) { ToggleExpanded(node); }
    virtual void CollapseAll(PVirtualNode node);
    virtual void ExpandAll(PVirtualNode node);
    virtual void ReinitializeNode(PVirtualNode node, bool recursive);
    virtual void ReinitializeChildren(PVirtualNode node, bool recursive);
    virtual void ResetNodeState(PVirtualNode node);
    void MeasureNodeHeight(TCanvas* canvas, PVirtualNode node);

    // Node properties.
    bool Expanded(PVirtualNode node) const;
    void SetExpanded(PVirtualNode node, bool value);
    bool IsVisible(PVirtualNode node) const;
    void SetVisible(PVirtualNode node, bool value);
    bool HasChildren(PVirtualNode node) const;
    void SetHasChildren(PVirtualNode node, bool value);
    unsigned ChildCount(PVirtualNode node) const { return (node ? node : root_)->ChildCount; }
    void SetChildCountOf(PVirtualNode node, unsigned count) { SetChildCount(node, count); }
    unsigned NodeHeight(PVirtualNode node) { return NodeHeightOf(node); }
    void SetNodeHeight(PVirtualNode node, unsigned height);
    bool IsDisabled(PVirtualNode node) const;
    void SetDisabled(PVirtualNode node, bool value);
    bool MultiLine(PVirtualNode node) const;
    void SetMultiLine(PVirtualNode node, bool value);
    TCheckState CheckState(PVirtualNode node) const;
    void SetCheckStateOf(PVirtualNode node, TCheckState state);
    TCheckType CheckType(PVirtualNode node) const;
    void SetCheckType(PVirtualNode node, TCheckType type);
    bool FullyVisible(PVirtualNode node) const;
    bool IsInitialized(PVirtualNode node) const { return node && (node->States & vsInitialized); }

    // ----- navigation (VTNavigation.cpp). Every walk follows pre-order over
    // the node links and never returns the hidden root. The plain ones
    // initialize the nodes they land on (and create the children of a node
    // before stepping into it); the NoInit ones only follow existing links.
    // The visible ones treat the subtree of a collapsed or hidden node as absent.
    PVirtualNode FirstNode();
    PVirtualNode FirstNodeNoInit() const { return root_->FirstChild; }
    PVirtualNode FirstInitializedNode() const;
    PVirtualNode NextNode(PVirtualNode node);
    PVirtualNode NextNodeNoInit(PVirtualNode node) const;
    PVirtualNode NextInitializedNode(PVirtualNode node) const;
    PVirtualNode PreviousNode(PVirtualNode node);
    PVirtualNode PreviousNodeNoInit(PVirtualNode node) const;
    // The deepest last descendant (nil = of the whole tree); nil without children.
    PVirtualNode LastNode(PVirtualNode node = nullptr);
    PVirtualNode LastNodeNoInit(PVirtualNode node = nullptr) const;
    PVirtualNode FirstChildNode(PVirtualNode node);
    PVirtualNode LastChildNode(PVirtualNode node);
    PVirtualNode LastChildNodeNoInit(PVirtualNode node) const { return (node ? node : root_)->LastChild; }
    PVirtualNode NextSiblingNode(PVirtualNode node);
    PVirtualNode PreviousSiblingNode(PVirtualNode node);
    PVirtualNode FirstVisibleNode();
    PVirtualNode FirstVisibleNodeNoInit() const;
    PVirtualNode FirstVisibleChildNode(PVirtualNode node);
    PVirtualNode NextVisibleNode(PVirtualNode node);
    PVirtualNode NextVisibleNodeNoInit(PVirtualNode node) const;
    PVirtualNode PreviousVisibleNode(PVirtualNode node);
    PVirtualNode PreviousVisibleNodeNoInit(PVirtualNode node) const;
    PVirtualNode LastVisibleNode(PVirtualNode node = nullptr);
    PVirtualNode LastVisibleNodeNoInit(PVirtualNode node = nullptr) const;
    PVirtualNode LastVisibleChildNode(PVirtualNode node);
    PVirtualNode LastVisibleChildNodeNoInit(PVirtualNode node) const;
    PVirtualNode NextVisibleSiblingNode(PVirtualNode node);
    PVirtualNode PreviousVisibleSiblingNode(PVirtualNode node);
    PVirtualNode PreviousVisibleSiblingNodeNoInit(PVirtualNode node) const;
    PVirtualNode FirstSelected();
    PVirtualNode NextSelected(PVirtualNode node);
    PVirtualNode FirstCutCopyNode();
    PVirtualNode NextCutCopyNode(PVirtualNode node);
    // The node the display shows in place of a node that is not fully
    // visible: its nearest fully visible ancestor (the hidden root at most).
    PVirtualNode VisibleParentNode(PVirtualNode node) const;
    // Whether potentialParent lies on the path from node up to the hidden root.
    bool HasAncestor(PVirtualNode node, PVirtualNode potentialParent) const;
    // The selected (cut or copy marked) nodes in tree order; with resolve,
    // nodes below a node in the set are left out.
    TNodeArray SortedSelection(bool resolve) const;
    TNodeArray SortedCutCopySet(bool resolve) const;
    // The parent, nil for top-level nodes.
    PVirtualNode NodeParent(PVirtualNode node) const;
    // Shorter names the first parts of the control use.
    PVirtualNode GetFirst() const { return FirstNodeNoInit(); }
    PVirtualNode GetFirstNoInit() const { return FirstNodeNoInit(); }
    PVirtualNode GetLast(PVirtualNode node = nullptr) const { return LastNodeNoInit(node); }
    // Initializes the node itself first (then NextNode).
    PVirtualNode GetNext(PVirtualNode node)
    {
        if (node && node != root_ && !(node->States & vsInitialized))
            InitNode(node);
        return NextNode(node);
    }
    PVirtualNode GetNextNoInit(PVirtualNode node) const { return NextNodeNoInit(node); }
    PVirtualNode GetPrevious(PVirtualNode node) const { return PreviousNodeNoInit(node); }
    PVirtualNode GetFirstChild(PVirtualNode node) const { return (node ? node : root_)->FirstChild; }
    PVirtualNode GetLastChild(PVirtualNode node) const { return (node ? node : root_)->LastChild; }
    PVirtualNode GetNextSibling(PVirtualNode node) const { return node ? node->NextSibling : nullptr; }
    PVirtualNode GetPreviousSibling(PVirtualNode node) const { return node ? node->PrevSibling : nullptr; }
    PVirtualNode GetFirstVisibleNoInit() const { return FirstVisibleNodeNoInit(); }
    PVirtualNode GetNextVisibleNoInit(PVirtualNode node) const { return NextVisibleNodeNoInit(node); }
    PVirtualNode GetPreviousVisibleNoInit(PVirtualNode node) const { return PreviousVisibleNodeNoInit(node); }
    PVirtualNode GetLastVisibleNoInit() const { return LastVisibleNodeNoInit(nullptr); }
    PVirtualNode GetFirstVisible() { return FirstVisibleNode(); }
    PVirtualNode GetNextVisible(PVirtualNode node) { return NextVisibleNode(node); }
    PVirtualNode GetPreviousVisible(PVirtualNode node) { return PreviousVisibleNode(node); }
    PVirtualNode GetLastVisible() { return LastVisibleNode(nullptr); }
    PVirtualNode GetFirstSelected() { return FirstSelected(); }
    PVirtualNode GetNextSelected(PVirtualNode node) { return NextSelected(node); }
    // Whether the node is the hidden root or lies below it in this tree.
    bool ContainsNode(PVirtualNode node) const;
    // Order of two nodes in the tree: < 0, 0, > 0.
    int CompareNodePositions(PVirtualNode node1, PVirtualNode node2) const;

    // ----- geometry and hit testing (VTNavigation.cpp, VTHitTest.cpp).
    // Positions without "relative" are absolute in the virtual area; relative
    // ones are client coordinates (the scroll offsets applied).
    // The absolute top of a node's row (of the row shown in its place when
    // the node is not fully visible).
    unsigned NodeTop(PVirtualNode node) const;
    unsigned GetDisplayTop(PVirtualNode node) const { return NodeTop(node); }
    // The visible node whose row holds the vertical position, and that row's
    // top (relative: in client coordinates); nil below the last row.
    PVirtualNode NodeAtPosition(int x, int y, bool relative, int& nodeTop) const;
    PVirtualNode NodeAtPoint(int x, int y) const;
    PVirtualNode GetNodeAtOffset(int y, int* nodeTop = nullptr) const;
    // The row, cell or text rectangle of a node in client coordinates; empty
    // when the node is not shown.
    RECT NodeDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped = false);
    virtual void HitTestAt(int x, int y, THitInfo& hitInfo, bool relative);
    // The width the widest cell of a column among the visible rows needs to
    // show whole, laid out as it is painted: what fitting a column gives it.
    int MaxColumnWidth(TColumnIndex column);
    // Font, rectangle and text of a cell (the string tree fills them).
    virtual void TextInfo(PVirtualNode node, TColumnIndex column, TFont& font, RECT& r, std::string& text);

    // ----- selection
    unsigned SelectedCount() const { return selectionCount_ - markedCount_; }
    bool Selected(PVirtualNode node) const { return node && (node->States & vsSelected); }
    void SetSelected(PVirtualNode node, bool value);
    // The selected nodes in array (address) order.
    std::vector<PVirtualNode> GetSelection() const;
    virtual void ClearSelection();
    virtual void SelectAll(bool visibleOnly);
    virtual void AddToSelection(PVirtualNode node);
    virtual void AddToSelection(PVirtualNode* newItems, int newLength, bool forceInsert = false);
    virtual void RemoveFromSelection(PVirtualNode node);
    virtual void SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly);
    virtual void ToggleSelection(PVirtualNode startNode, PVirtualNode endNode);
    virtual void UnselectNodes(PVirtualNode startNode, PVirtualNode endNode);
    virtual void ResetRangeAnchor();
    PVirtualNode RangeAnchor() const { return rangeAnchor_; }
    int LastSelectionLevel() const { return lastSelectionLevel_; }

    // ----- focus and hot node
    PVirtualNode FocusedNode() const { return focusedNode_; }
    void SetFocusedNode(PVirtualNode node);
    TColumnIndex FocusedColumn() const { return focusedColumn_; }
    void SetFocusedColumn(TColumnIndex column);
    virtual void SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column);
    PVirtualNode HotNode() const { return currentHotNode_; }
    PVirtualNode DropTargetNode() const { return dropTargetNode_; }
    void SetDropTargetNode(PVirtualNode node) { dropTargetNode_ = node; }
    PVirtualNode EditNode() const { return editNode_; }
    TColumnIndex EditColumn() const { return editColumn_; }
    // The node the incremental search hit last.
    PVirtualNode LastSearchNode() const { return lastSearchNode_; }
    void SetLastSearchNode(PVirtualNode node) { lastSearchNode_ = node; }
    // A check state waiting for the button or key release.
    PVirtualNode PendingCheckNode() const { return pendingCheckNode_; }
    TCheckState PendingCheckState() const { return pendingCheckState_; }
    void SetPendingCheck(PVirtualNode node, TCheckState state);
    // The remembered node of a delayed change and structure change.
    PVirtualNode LastChangedNode() const { return lastChangedNode_; }
    PVirtualNode LastStructureChangeNode() const { return lastStructureChangeNode_; }
    TChangeReason LastStructureChangeReason() const { return lastStructureChangeReason_; }
    // Sets the hot node, firing OnHotChange when it changed.
    void SetHotNode(PVirtualNode node);
    bool IsEditing() const { return (states_ & tsEditing) != 0; }
    bool EditNodeHit(PVirtualNode node) const { return IsEditing() && node == focusedNode_; }
    // Ends (or cancels) a running edit; true when no edit is left.
    bool EndEditNode();
    bool CancelEditNode();
    // ----- [edit] Starting an edit from code (VTEditLink.cpp): focuses the
    // node in the column when CanEdit agrees and starts the editor; false
    // while editing, on a read-only tree or when the editor refused.
    bool StartNodeEdit(PVirtualNode node, TColumnIndex column);
    bool EndNodeEdit() { return EndEditNode(); }
    bool CancelNodeEdit() { return CancelEditNode(); }
    bool IsEditingNode() const { return IsEditing(); }
    // The running editor's link, nullptr when none.
    IVTEditLink* EditLink() const { return editLink_.get(); }
    // Places a running editor over its cell's text (the whole cell with
    // toGridExtensions or for multiline nodes).
    void UpdateEditBounds();

    // ----- [accessibility] The tree's accessible object and that of its
    // focused item, made on first use through the accessibility factory
    // (VTAccessibility.h); the code that makes them also releases them.
    IAccessible* Accessible() const { return accessible_; }
    void SetAccessible(IAccessible* value) { accessible_ = value; }
    IAccessible* AccessibleItem() const { return accessibleItem_; }
    void SetAccessibleItem(IAccessible* value) { accessibleItem_ = value; }

    // ----- states
    TVirtualTreeStates TreeStates() const { return states_; }
    bool HasState(TVirtualTreeStates s) const { return (states_ & s) != 0; }

    // ----- owned objects
    TVTHeader& Header() const { return *header_; }
    TStringTreeOptions& TreeOptions() const { return *options_; }
    void SetTreeOptions(const TCustomVirtualTreeOptions& value) { options_->Assign(value); }
    TVTColors& Colors() const { return *colors_; }
    TScrollBarOptions& ScrollBarOptions() const { return *scrollBarOptions_; }
    TClipboardFormats& ClipboardFormats() const { return *clipboardFormats_; }
    TVTDragImage* DragImage() const { return dragImage_; }
    // [scroll] The owned objects take the values of others (Assign).
    void SetHeader(const TVTHeader& value);
    void SetColors(const TVTColors& value) { colors_->Assign(value); }
    void SetScrollBarOptions(const TScrollBarOptions& value) { scrollBarOptions_->Assign(value); }
    // Cleared, then each name added that the tree can offer.
    void SetClipboardFormats(const TStringList& names);

    // ----- published properties
    const std::string& AccessibleName() const { return accessibleName_; }
    void SetAccessibleName(const std::string& v) { accessibleName_ = v; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    unsigned AnimationDuration() const { return animationDuration_; }
    void SetAnimationDuration(unsigned v);
    unsigned AutoExpandDelay() const { return autoExpandDelay_; }
    void SetAutoExpandDelay(unsigned v) { autoExpandDelay_ = v; }
    unsigned AutoScrollDelay() const { return autoScrollDelay_; }
    void SetAutoScrollDelay(unsigned v) { autoScrollDelay_ = v; }
    unsigned AutoScrollInterval() const { return autoScrollInterval_; }
    void SetAutoScrollInterval(unsigned v) { autoScrollInterval_ = v; }
    TBitmap& Background() { return background_; }
    void SetBackground(const TBitmap& value);
    int BackgroundOffsetX() const { return backgroundOffsetX_; }
    void SetBackgroundOffsetX(int v);
    int BackgroundOffsetY() const { return backgroundOffsetY_; }
    void SetBackgroundOffsetY(int v);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v);
    unsigned BottomSpace() const { return bottomSpace_; }
    void SetBottomSpace(unsigned v);
    TVTButtonFillMode ButtonFillMode() const { return buttonFillMode_; }
    void SetButtonFillMode(TVTButtonFillMode v);
    TVTButtonStyle ButtonStyle() const { return buttonStyle_; }
    void SetButtonStyle(TVTButtonStyle v);
    unsigned ChangeDelay() const { return changeDelay_; }
    void SetChangeDelay(unsigned v) { changeDelay_ = v; }
    TCheckImageKind CheckImageKind() const { return checkImageKind_; }
    void SetCheckImageKind(TCheckImageKind v);
    TCustomImageList* CheckImages() const { return checkImages_; }
    TCustomImageList* CustomCheckImages() const { return customCheckImages_; }
    void SetCustomCheckImages(TCustomImageList* v);
    TCustomImageList* Images() const { return images_; }
    void SetImages(TCustomImageList* v);
    TCustomImageList* StateImages() const { return stateImages_; }
    void SetStateImages(TCustomImageList* v);
    unsigned DefaultNodeHeight() const { return defaultNodeHeight_; }
    void SetDefaultNodeHeight(unsigned v);
    TVTNodeAttachMode DefaultPasteMode() const { return defaultPasteMode_; }
    void SetDefaultPasteMode(TVTNodeAttachMode v) { defaultPasteMode_ = v; }
    int DragHeight() const { return dragHeight_; }
    void SetDragHeight(int v) { dragHeight_ = v; }
    int DragWidth() const { return dragWidth_; }
    void SetDragWidth(int v) { dragWidth_ = v; }
    TVTDragImageKind DragImageKind() const { return dragImageKind_; }
    void SetDragImageKind(TVTDragImageKind v) { dragImageKind_ = v; }
    TDragOperations DragOperations() const { return dragOperations_; }
    void SetDragOperations(TDragOperations v) { dragOperations_ = v; }
    TVTDragType DragType() const { return dragType_; }
    void SetDragType(TVTDragType v) { dragType_ = v; }
    TVTDrawSelectionMode DrawSelectionMode() const { return drawSelectionMode_; }
    void SetDrawSelectionMode(TVTDrawSelectionMode v) { drawSelectionMode_ = v; }
    unsigned EditDelay() const { return editDelay_; }
    void SetEditDelay(unsigned v) { editDelay_ = v; }
    THintAnimationType HintAnimation() const { return hintAnimation_; }
    void SetHintAnimation(THintAnimationType v) { hintAnimation_ = v; }
    TVTHintMode HintMode() const { return hintMode_; }
    void SetHintMode(TVTHintMode v) { hintMode_ = v; }
    HCURSOR HotCursor() const { return hotCursor_; }
    void SetHotCursor(HCURSOR v) { hotCursor_ = v; }
    TVTIncrementalSearch IncrementalSearch() const { return incrementalSearch_; }
    void SetIncrementalSearch(TVTIncrementalSearch v);
    TVTSearchDirection IncrementalSearchDirection() const { return searchDirection_; }
    void SetIncrementalSearchDirection(TVTSearchDirection v) { searchDirection_ = v; }
    TVTSearchStart IncrementalSearchStart() const { return searchStart_; }
    void SetIncrementalSearchStart(TVTSearchStart v) { searchStart_ = v; }
    unsigned IncrementalSearchTimeout() const { return searchTimeout_; }
    void SetIncrementalSearchTimeout(unsigned v) { searchTimeout_ = v; }
    unsigned Indent() const { return indent_; }
    void SetIndent(unsigned v);
    TVTLineMode LineMode() const { return lineMode_; }
    void SetLineMode(TVTLineMode v);
    TVTLineStyle LineStyle() const { return lineStyle_; }
    void SetLineStyle(TVTLineStyle v);
    int Margin() const { return margin_; }
    void SetMargin(int v);
    TVTNodeAlignment NodeAlignment() const { return nodeAlignment_; }
    void SetNodeAlignment(TVTNodeAlignment v);
    uint8_t SelectionBlendFactor() const { return selectionBlendFactor_; }
    void SetSelectionBlendFactor(uint8_t v);
    unsigned SelectionCurveRadius() const { return selectionCurveRadius_; }
    void SetSelectionCurveRadius(unsigned v);
    int TextMargin() const { return textMargin_; }
    void SetTextMargin(int v);
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool v) { wantTabs_ = v; }
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* v) { popupMenu_ = v; }
    // [scroll] The node whose row is at the top of the window; setting it
    // opens its collapsed ancestors and scrolls its row to the top.
    PVirtualNode TopNode() const;
    void SetTopNode(PVirtualNode node);
    // Scaling by m / d with toAutoChangeScale: node height and header.
    void ChangeScale(int m, int d);

    // ----- scrolling and geometry
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    void SetOffsetX(int value);
    void SetOffsetY(int value);
    // Horizontal offset as painting uses it (mirrored for right-to-left).
    int EffectiveOffsetX() const { return effectiveOffsetX_; }
    int RangeX() const { return rangeX_; }
    // The height of everything below the hidden root, plus BottomSpace.
    int RangeY() const
    {
        const int64_t range = int64_t{root_->TotalHeight} - root_->NodeHeight + bottomSpace_;
        return range < 0x7FFFFFFF ? static_cast<int>(range) : 0x7FFFFFFF;
    }
    TBiDiMode BiDiMode() const { return bidiMode_; }
    void SetBiDiMode(TBiDiMode v);
    bool UseRightToLeftReading() const { return bidiMode_ != bdLeftToRight; }
    bool UseRightToLeftAlignment() const { return bidiMode_ == bdRightToLeft; }
    // The header rectangle in window coordinates (height 0 with a hidden header).
    RECT HeaderRect();
    virtual void UpdateScrollBars(bool doRepaint);
    void UpdateHorizontalScrollBar(bool doRepaint);
    void UpdateVerticalScrollBar(bool doRepaint);
    bool ScrollIntoView(PVirtualNode node, bool center, bool horizontally = false);
    // [scroll] Selects every node (with visibleOnly the visible ones) in one
    // step; only with toMultiSelect.
    virtual void SelectAllNodes(bool visibleOnly);
    // Repainting of rows. InvalidateNode invalidates one row (the string
    // tree extends it: its cached width goes too).
    virtual void InvalidateNode(PVirtualNode node);
    void InvalidateToBottom(PVirtualNode node);
    void InvalidateChildren(PVirtualNode node, bool recursive);
    void InvalidateColumn(TColumnIndex column);
    void Invalidate() override;
    // A canvas on the window's device context (or a screen one without window).
    TCanvas& Canvas();

    // ----- [paint] painting (VTPaint.cpp, VTPaintCell.cpp, VTPaintWindow.cpp)
    // Paints the part `window` of the content (tree coordinates: the virtual
    // area, unscrolled) onto the canvas with its top left corner at
    // `target`, row by row through an off-screen row bitmap.
    virtual void PaintTreeArea(TCanvas& targetCanvas, const RECT& window, POINT target,
                               TPaintRequestOptions paintOptions);
    // Redraws one row now (nothing for nil and the hidden root).
    void RepaintNode(PVirtualNode node);
    // Invalidates one row without erasing (outside updates, with a window).
    void InvalidateNodeRow(PVirtualNode node) { InvalidateNode(node); }
    // Invalidates from a node's row to the bottom (nil: the whole window).
    void InvalidateBelow(PVirtualNode node);
    // Invalidates one column's strip of the client area.
    void InvalidateColumnArea(TColumnIndex column);
    // Renders the selected rows around the hot spot (client coordinates)
    // into the drag image.
    void PrepareDragImage(POINT hotSpot, IDataObject* dataObject);
    // The cell painters, in the order a cell is built.
    virtual void PrepareCell(TVTPaintInfo& paintInfo, int windowOrgX, int maxWidth);
    virtual void PaintTreeLines(const TVTPaintInfo& paintInfo, int vAlignment, int indentSize,
                                const TLineImage& lineImage);
    virtual void DrawLineImage(const TVTPaintInfo& paintInfo, int x, int y, int h, int vAlign, TVTLineType style,
                               bool reverse);
    // A one-pixel line in the line pattern, both ends included, in the
    // canvas font's colour over the tree colour.
    void DrawDottedHLine(const TVTPaintInfo& paintInfo, int left, int right, int top);
    void DrawDottedVLine(const TVTPaintInfo& paintInfo, int top, int bottom, int left);
    virtual void PaintNodeButton(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& r,
                                 int buttonX, int buttonY, TBiDiMode bidiMode);
    virtual void PaintCheckImage(TCanvas& canvas, const TVTImageInfo& imageInfo, bool selected);
    virtual void PaintImage(TVTPaintInfo& paintInfo, TVTImageInfoIndex imageInfoIndex, bool doOverlay);
    virtual void PaintSelectionRectangle(TCanvas& canvas, int windowOrgX, const RECT& selectionRect,
                                         const RECT& targetRect);
    // Index into the check images for a node (-1: no check image).
    virtual int GetCheckImage(PVirtualNode node);
    // Fills one image slot of the paint info through OnGetImageIndex(Ex).
    virtual void GetImageIndex(TVTPaintInfo& paintInfo, TVTImageKind kind, TVTImageInfoIndex infoIndex,
                               TCustomImageList* defaultImages);
    bool HasImage(PVirtualNode node, TVTImageKind kind, TColumnIndex column);
    // The border sizes (negative) the window style takes from the window.
    virtual SIZE GetBorderDimensions();
    // Without columns: the widest right edge of the rows in the client area.
    virtual int GetMaxRightExtend();
    // Runs the callback stepCount steps spread over duration ms (expanding
    // and collapsing); false when it was not run.
    bool Animate(unsigned stepCount, unsigned duration, const TVTAnimationCallback& callback, void* data);
    // Widens a cell over empty neighbours; nextNonEmpty: the column to paint next.
    virtual void AdjustPaintCellRect(TVTPaintInfo& paintInfo, TColumnIndex& nextNonEmpty);
    // The rubber band being drawn (absolute tree coordinates).
    const RECT& SelectionRect() const { return selectionRect_; }
    void SetSelectionRect(const RECT& r) { selectionRect_ = r; }
    // Where the last drag-over would drop (the drag code sets it): the drop
    // target shows as such on the node or when selected, and gets its drop
    // mark above or below.
    TDropMode LastDropMode() const { return lastDropMode_; }
    void SetLastDropMode(TDropMode mode) { lastDropMode_ = mode; }
    // Redraws r (client coordinates) now, with the frame when asked; a drag
    // image shown over it takes the new picture under it in the parts of
    // the window that are visible on the screen.
    void UpdateWindowAndDragImage(const RECT& r, bool updateNCArea, bool reshowDragImage);

    // ----- position cache and the worker
    // Fills the position cache; true when completed. Runs on the worker thread.
    virtual bool DoValidateCache();
    // Stops a running validation, keeps the entries no change since the last
    // validation reached and, when that leaves only a short walk to the end,
    // completes the cache at once; otherwise queues the tree for the worker.
    virtual void ValidateCache();
    // Marks the cache stale. Without a node nothing of it is kept; with one
    // only the entries before the node's row (InvalidateCacheFrom: the node
    // itself is new, goes or appears; it must still be linked) or up to it
    // (InvalidateCacheBelow: only the rows after it moved) are kept.
    void InvalidateCache();
    void InvalidateCacheFrom(PVirtualNode node);
    void InvalidateCacheBelow(PVirtualNode node);
    // Stops the worker on this tree and waits for it, handling only sent messages.
    void InterruptValidation();
    // True once InterruptValidation asked the worker to stop (read by the worker).
    bool ValidationStopRequested() const { return stopValidation_.load(); }
    const std::vector<TCacheEntry>& PositionCache() const { return positionCache_; }
    unsigned PositionCacheValidCount() const { return positionCacheValid_; }
    // The cache may be read: the worker filled it and nothing changed since.
    bool PositionCacheUsable() const;
    // The last cached node at or before the node in tree order, and its top;
    // nil without a usable cache.
    PVirtualNode FindInPositionCache(PVirtualNode node, unsigned& top) const;
    // The last cached node whose top is at or above the position, and its
    // top; nil without a usable cache or at and below the end of the rows.
    PVirtualNode FindInPositionCache(unsigned position, unsigned& top) const;
    // Applies a worker notice (message 0x8020).
    void ChangeStateFromWorker(unsigned enterFlags, unsigned leaveFlags);
    // The walk behind DoValidateCache: on from the last valid regular entry,
    // at most `budget` rows; stopped by the tree's stop request only when
    // run by the worker. True when it reached the end.
    bool WalkPositionCache(unsigned budget, bool inWorker);
    // The number of valid regular entries before the node's row (or up to
    // and including it), the window thread's view.
    unsigned CacheEntriesBefore(PVirtualNode node, bool includingNode);
    void KeepCacheEntries(unsigned count);

    // ----- [stream] node streams (VTStream.cpp). A stream from elsewhere is
    // untrusted: a broken one raises EVirtualTreeError (2002 to 2006) and
    // leaves the nodes read so far in the tree, their totals right.
    // The stream header, a count and the node (nil: every top-level node).
    void SaveNodesToStream(TStream& stream, PVirtualNode node = nullptr);
    void SaveNodesToFile(const std::string& fileName, PVirtualNode node = nullptr);
    // Clears the tree and loads the nodes of a stream (not a read-only tree).
    void LoadNodesFromStream(TStream& stream);
    void LoadNodesFromFile(const std::string& fileName);
    // One node and its subtree as a node chunk.
    void WriteNode(TStream& stream, PVirtualNode node);
    // Reads a node chunk into a node that is already linked in the tree (not
    // the root), then puts counts, heights, the visible count, hidden-children
    // flags and the selection right (also when reading fails).
    void AddFromStream(TStream& stream, int version, PVirtualNode node);
    // Moves past a node chunk (error 2005 when there is none).
    static void SkipNode(TStream& stream);

    // ----- check states
    virtual bool DoCheckClick(PVirtualNode node, TCheckState newCheckState);
    // Applies a check state with propagation; false when it was refused.
    bool SetCheckState(PVirtualNode node, TCheckState value);

    // ----- internal data areas
    // Reserves bytes in every node for a subclass; returns their offset from the node start.
    unsigned AllocateInternalDataArea(unsigned size);

    // ----- header and column support for the header
    // The header's main column changed: the focused column follows.
    virtual void MainColumnChanged();
    // The tree's column class (the header makes its columns through it).
    virtual TVirtualTreeColumn* NewColumn(TVirtualTreeColumns* owner);
    // Updates the header's position in the non-client area.
    void UpdateHeaderRect();
    // The header's column-resize operation.
    virtual void DoColumnResize(TColumnIndex column);
    // Repaints the window frame (the header is painted with it).
    void RedrawFrame();

    // ----- events
    TVTAdvancedHeaderPaintEvent OnAdvancedHeaderDraw;
    TVTAfterCellPaintEvent OnAfterCellPaint;
    TVTAfterItemEraseEvent OnAfterItemErase;
    TVTAfterItemPaintEvent OnAfterItemPaint;
    TVTPaintEvent OnAfterPaint;
    TVTBeforeCellPaintEvent OnBeforeCellPaint;
    TVTBeforeItemEraseEvent OnBeforeItemErase;
    TVTBeforeItemPaintEvent OnBeforeItemPaint;
    TVTPaintEvent OnBeforePaint;
    TVTChangeEvent OnChange;
    TVTChangeEvent OnChecked;
    TVTCheckChangingEvent OnChecking;
    TVTChangeEvent OnCollapsed;
    TVTChangingEvent OnCollapsing;
    TVTColumnClickEvent OnColumnClick;
    TVTColumnClickEvent OnColumnDblClick;
    TVTHeaderNotifyEvent OnColumnResize;
    TVTCompareEvent OnCompareNodes;
    TVTCreateDataObjectEvent OnCreateDataObject;
    TVTCreateDragManagerEvent OnCreateDragManager;
    TVTCreateEditorEvent OnCreateEditor;
    TVTDragAllowedEvent OnDragAllowed;
    TVTDragOverEvent OnDragOver;
    TVTDragDropEvent OnDragDrop;
    TVTEditCancelEvent OnEditCancelled;
    TVTEditChangeEvent OnEdited;
    TVTEditChangingEvent OnEditing;
    TVTChangeEvent OnExpanded;
    TVTChangingEvent OnExpanding;
    TVTFocusChangeEvent OnFocusChanged;
    TVTFocusChangingEvent OnFocusChanging;
    TVTChangeEvent OnFreeNode;
    TVTGetCellIsEmptyEvent OnGetCellIsEmpty;
    TVTGetCursorEvent OnGetCursor;
    TVTGetHeaderCursorEvent OnGetHeaderCursor;
    TVTHelpContextEvent OnGetHelpContext;
    TVTGetImageEvent OnGetImageIndex;
    TVTGetImageExEvent OnGetImageIndexEx;
    TVTGetLineStyleEvent OnGetLineStyle;
    TVTGetNodeDataSizeEvent OnGetNodeDataSize;
    TVTPopupEvent OnGetPopupMenu;
    TVTGetUserClipboardFormatsEvent OnGetUserClipboardFormats;
    TVTHeaderClickEvent OnHeaderClick;
    TVTHeaderClickEvent OnHeaderDblClick;
    TVTHeaderDraggedEvent OnHeaderDragged;
    TVTHeaderDraggedOutEvent OnHeaderDraggedOut;
    TVTHeaderDraggingEvent OnHeaderDragging;
    TVTHeaderPaintEvent OnHeaderDraw;
    TVTHeaderPaintQueryElementsEvent OnHeaderDrawQueryElements;
    TVTHeaderMouseEvent OnHeaderMouseDown;
    TVTHeaderMouseMoveEvent OnHeaderMouseMove;
    TVTHeaderMouseEvent OnHeaderMouseUp;
    TVTHotNodeChangeEvent OnHotChange;
    TVTIncrementalSearchEvent OnIncrementalSearch;
    TVTInitChildrenEvent OnInitChildren;
    TVTInitNodeEvent OnInitNode;
    TVTKeyActionEvent OnKeyAction;
    TVTSaveNodeEvent OnLoadNode;
    TVTMeasureItemEvent OnMeasureItem;
    TVTChangeEvent OnNodeCopied;
    TVTNodeCopyingEvent OnNodeCopying;
    TVTChangeEvent OnNodeMoved;
    TVTNodeCopyingEvent OnNodeMoving;
    TVTBackgroundPaintEvent OnPaintBackground;
    TVTRenderOLEDataEvent OnRenderOLEData;
    TVTChangeEvent OnResetNode;
    TVTSaveNodeEvent OnSaveNode;
    TVTScrollEvent OnScroll;
    TVTScrollbarShowEvent OnShowScrollbar;
    TVTStateChangeEvent OnStateChange;
    TVTStructureChangeEvent OnStructureChange;
    TVTUpdatingEvent OnUpdating;

    // ----- event dispatchers (each sets the defaults, then calls the
    // handler when one is assigned; descendants override them)
    virtual void DoAdvancedHeaderDraw(THeaderPaintInfo& paintInfo, THeaderPaintElements elements);
    virtual void DoAfterCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& cellRect);
    virtual void DoAfterItemErase(TCanvas& canvas, PVirtualNode node, const RECT& itemRect);
    virtual void DoAfterItemPaint(TCanvas& canvas, PVirtualNode node, const RECT& itemRect);
    virtual void DoAfterPaint(TCanvas& canvas);
    virtual void DoAutoScroll(int x, int y);
    virtual bool DoDragAllowed(PVirtualNode node, TColumnIndex column);
    virtual void DoBeforeCellPaint(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const RECT& cellRect);
    virtual void DoBeforeItemErase(TCanvas& canvas, PVirtualNode node, const RECT& itemRect, COLORREF& color,
                                   TItemEraseAction& eraseAction);
    virtual bool DoBeforeItemPaint(TCanvas& canvas, PVirtualNode node, const RECT& itemRect);
    virtual void DoBeforePaint(TCanvas& canvas);
    virtual bool DoEditCancelled();
    virtual void DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed);
    virtual void DoChange(PVirtualNode node);
    virtual void DoChecked(PVirtualNode node);
    virtual bool DoChecking(PVirtualNode node, TCheckState& newCheckState);
    virtual void DoCollapsed(PVirtualNode node);
    virtual bool DoCollapsing(PVirtualNode node);
    virtual void DoColumnClick(TColumnIndex column, TShiftState shift);
    virtual void DoColumnDblClick(TColumnIndex column, TShiftState shift);
    virtual int DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column);
    virtual IDataObject* DoCreateDataObject();
    virtual IVTDragManager* DoCreateDragManager();
    virtual TEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column);
    virtual void DoDragging(POINT p);
    virtual void DoDragExpand();
    virtual bool DoDragOver(TObject* source, TShiftState shift, TDragState state, POINT pt, TDropMode mode,
                            DWORD& effect);
    virtual void DoDragDrop(TObject* source, IDataObject* dataObject, const std::vector<CLIPFORMAT>& formats,
                            TShiftState shift, POINT pt, DWORD& effect, TDropMode mode);
    virtual void DoEdit();
    // After an edit ended or was cancelled: accessibility clients hear of the new name.
    virtual void DoEndEdit();
    virtual bool DoEdited();
    virtual void DoExpanded(PVirtualNode node);
    virtual bool DoExpanding(PVirtualNode node);
    virtual void DoFocusChanged(PVirtualNode node, TColumnIndex column);
    virtual bool DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                                 TColumnIndex newColumn);
    virtual void DoFocusNode(PVirtualNode node, bool ask);
    virtual void DoFreeNode(PVirtualNode node);
    virtual THintAnimationType DoGetAnimationType();
    virtual void DoGetCursor(HCURSOR& cursor);
    virtual void DoGetHeaderCursor(HCURSOR& cursor);
    virtual TCustomImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                              bool& ghosted, int& index);
    virtual void DoGetLineStyle(const void*& bits);
    virtual std::string DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                                      TVTTooltipLineBreakStyle& lineBreakStyle);
    virtual std::string DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                         TVTTooltipLineBreakStyle& lineBreakStyle);
    virtual int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr);
    virtual TPopupMenu* DoGetPopupMenu(PVirtualNode node, TColumnIndex column, POINT position);
    virtual void DoGetUserClipboardFormats(std::vector<FORMATETC>& formats);
    virtual void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition);
    virtual void DoHeaderDraggedOut(TColumnIndex column, POINT dropPosition);
    virtual bool DoHeaderDragging(TColumnIndex column);
    virtual void DoHeaderDraw(TCanvas& canvas, TVirtualTreeColumn* column, const RECT& r, bool hover,
                              bool pressed, TVTDropMarkMode dropMark);
    virtual void DoHeaderDrawQueryElements(THeaderPaintInfo& paintInfo, THeaderPaintElements& elements);
    virtual void DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHeaderMouseMove(TShiftState shift, int x, int y);
    virtual void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void DoHotChange(PVirtualNode oldNode, PVirtualNode newNode);
    virtual int DoIncrementalSearch(PVirtualNode node, const std::string& text);
    virtual bool DoInitChildren(PVirtualNode node, unsigned& childCount);
    virtual void DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates);
    virtual bool DoKeyAction(WORD& charCode, TShiftState& shift);
    virtual void DoLoadNode(PVirtualNode node, TStream& stream);
    virtual void DoMeasureItem(TCanvas& canvas, PVirtualNode node, int& nodeHeight);
    virtual void DoNodeCopied(PVirtualNode node);
    virtual bool DoNodeCopying(PVirtualNode node, PVirtualNode newParent);
    virtual void DoNodeMoved(PVirtualNode node);
    virtual bool DoNodeMoving(PVirtualNode node, PVirtualNode newParent);
    virtual bool DoPaintBackground(TCanvas& canvas, const RECT& r);
    virtual void DoPaintDropMark(TCanvas& canvas, PVirtualNode node, const RECT& r, TDropMode mode);
    // The cell's content (the string tree its text, the owner-draw tree its event).
    virtual void DoPaintNode(TVTPaintInfo& paintInfo);
    virtual void DoPopupMenu(PVirtualNode node, TColumnIndex column, POINT position);
    virtual HRESULT DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
    // [ole] OLE data transfer (VTDataObject.cpp, VTDragManager.cpp).
    // The formats the tree offers: those of its class (filtered by
    // ClipboardFormats when that list is used), then the user's.
    virtual void GetNativeClipboardFormats(std::vector<FORMATETC>& formats);
    // Renders a format: the native node format from the cut/copy set or the
    // selection, anything else through OnRenderOLEData.
    virtual HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
    // RenderOLEData once OnRenderOLEData had its turn (a data object's
    // GetData): the handler is not asked a second time.
    HRESULT RenderOwnOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard);
    // A live tree of this process named by the data's same-process reference; else nil.
    virtual TBaseVirtualTree* GetTreeFromDataObject(IDataObject* dataObject);
    // The drag manager (made on first use; OnCreateDragManager may supply it).
    IVTDragManager* DragManager();
    // Drop-target callbacks the drag manager forwards (points in screen coordinates).
    virtual HRESULT DragEnter(DWORD keyState, POINT pt, DWORD& effect);
    virtual HRESULT DragOver(TObject* source, DWORD keyState, TDragState state, POINT pt, DWORD& effect);
    virtual void DragLeave();
    virtual HRESULT DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect);
    // [/ole]
    virtual void DoReset(PVirtualNode node);
    virtual void DoSaveNode(PVirtualNode node, TStream& stream);
    virtual void DoScroll(int deltaX, int deltaY);
    virtual bool DoSetOffsetXY(POINT value, TScrollUpdateOptions options, const RECT* clipRect = nullptr);
    virtual void DoShowScrollbar(int bar, bool show);
    virtual void DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave = 0);
    virtual void DoStructureChange(PVirtualNode node, TChangeReason reason);
    virtual void DoTimerScroll();
    virtual void DoUpdating(TVTUpdateState state);

    // When the change events fire (delayed by ChangeDelay, held while updating).
    virtual void Change(PVirtualNode node);
    virtual void StructureChanged(PVirtualNode node, TChangeReason reason);
    virtual bool CanEdit(PVirtualNode node, TColumnIndex column);
    virtual bool ColumnIsEmpty(PVirtualNode node, TColumnIndex column);

    // ----- core operations the other parts of the control use
    void AdjustTotalCount(PVirtualNode node, int64_t value, bool relative = false);
    void AdjustTotalHeight(PVirtualNode node, int64_t value, bool relative = false);
    void RecountTotals(PVirtualNode node);
    // False when some node's total would pass MaxTreeHeight (it is stored cut).
    bool RecalcTotalHeights(PVirtualNode node);
    // How much the TotalHeight of `node` may grow: the least room along the
    // chain AdjustTotalHeight walks from it.
    int64_t HeightRoom(PVirtualNode node) const;
    // Raises the too-tall error unless `delta` fits at `node`.
    void CheckHeightRoom(PVirtualNode node, int64_t delta) const;
    // A new node linked at the destination (freed again when it can't be).
    PVirtualNode NewConnectedNode(PVirtualNode destination, TVTNodeAttachMode mode);
    bool ParentsVisibleAndExpanded(PVirtualNode node) const;
    unsigned NodeHeightOf(PVirtualNode node);
    bool IsVisibleInitialized(PVirtualNode node);
    bool HasVisibleNextSibling(PVirtualNode node) const;
    PVirtualNode MakeNewNode();
    void SetChildCount(PVirtualNode node, unsigned newChildCount);
    // Returns the number of selected ancestors.
    int DetermineLineImages(PVirtualNode node, TLineImage& lineImage);
    // Removes the entries marked for removal (lowest pointer bit set); -1 for an empty array.
    static int CompactNodeArray(std::vector<PVirtualNode>& nodes, int count);
    void SetUpdateState(bool updating);
    void InternalConnectNode(PVirtualNode node, PVirtualNode destination, TVTNodeAttachMode mode);
    void InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex = true);
    void InitNode(PVirtualNode node);
    void InitChildren(PVirtualNode node);
    unsigned CountVisibleChildren(PVirtualNode node) const;
    int CountLevelDifference(PVirtualNode node1, PVirtualNode node2) const;
    // Recomputes vsAllChildrenHidden of one node, or of every initialized node.
    void UpdateHiddenChildrenFlag(PVirtualNode node);
    void UpdateAllHiddenChildrenFlags();
    // Vertical centre of the tree lines and button in a row of that height.
    int NodeAlignmentCenter(PVirtualNode node, int rowHeight, int imageHeight) const;
    // The selection store's operations (batches of nodes).
    bool InternalAddToSelection(PVirtualNode* newItems, int newLength, bool forceInsert);
    bool InternalAddToSelection(PVirtualNode node, bool forceInsert);
    void InternalClearSelection();
    void InternalRemoveFromSelection(PVirtualNode node);
    void InternalCacheNode(PVirtualNode node);
    void ClearTempCache();
    // Removes the entries marked for removal from the selection.
    void CompactSelection();
    // Takes a node out of the selection at once, without notification.
    void RemoveSelectionEntry(PVirtualNode node);
    // Index of the node's entry in the selection array, or -1.
    int FindNodeInSelection(PVirtualNode node) const;
    int TempCacheCount() const { return tempNodeCount_; }
    // ----- [sort] (VTSort.cpp) Relinks the children of a node (nil = the
    // hidden root) in the order OnCompareNodes gives, stable in both
    // directions; column -2 sorts nothing, -1 asks the handler with -1.
    virtual void SortChildNodes(PVirtualNode node, TColumnIndex column, TSortDirection direction,
                                bool doInit = true);
    // Every parent's children, from the hidden root down (with doInit the
    // nodes are initialized on the way; without it uninitialized nodes are
    // not descended into).
    void SortByColumn(TColumnIndex column, TSortDirection direction, bool doInit = true);
    // Shorter names the first parts of the control use.
    void SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit)
    {
        SortChildNodes(node, column, direction, doInit);
    }
    void SortTree(TColumnIndex column, TSortDirection direction, bool doInit)
    {
        SortByColumn(column, direction, doInit);
    }
    void SelectDefaultFocusColumn();

    // ----- [keys public] Keyboard and incremental search (VTKeyboard.cpp).
    // Keys after OnKeyDown (OnKeyUp): navigation and selection, check boxes
    // by the space key, editing, expanding and the incremental search. A
    // key set to 0 by the event goes no further.
    void KeyDown(WORD& key, TShiftState shift) override;
    void KeyUp(WORD& key, TShiftState shift) override;
    // The text typed so far in the incremental search under way ("" when none).
    std::string IncrementalSearchText() const;
protected:
    // The incremental search found nothing: a beep.
    virtual void IncrementalSearchFailed();
public:
    // ----- [mouse public] Mouse handling and selection (VTMouse.cpp).
    // Automatic drags start from any click on a node; manual ones only
    // where OnDragAllowed agrees.
    enum TDragMode { dmManual, dmAutomatic };
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode value) { dragMode_ = value; }
    // The effect a drop should have (1 copy, 2 move, 4 link): copy from
    // elsewhere, move within the tree; Ctrl asks for a copy, Shift for a
    // move, both or Alt for a link, each only when allowed.
    virtual DWORD SuggestDropEffect(TObject* source, TShiftState shift, POINT pt, DWORD allowedEffects);
    // The state a click (or the space key) gives a check control: boxes
    // toggle between ticked and unticked, a radio button is ticked, a
    // button type goes back to unticked.
    static TCheckState DetermineNextCheckState(TCheckType type, TCheckState state);
    // The node under a client point becomes the hot node: on its label or
    // check box (anywhere on its row with toFullRowSelect), else none.
    void HandleHotTrack(int x, int y);
    HCURSOR ChosenCursor();   // the tree's own cursor for where the mouse is
    // Ends wheel panning: timer, capture, states and the panning window.
    void StopWheelPanning();
    // ----- [dnd public] Drag and drop, clipboard, stream and edit entry points (VTDragDrop.cpp).
    // Starts a drag from code. dtOLE (unless an OLE drag is pending or
    // running): immediate starts it at the last click position, otherwise it
    // becomes pending until the mouse moved threshold pixels (negative: the
    // system's drag threshold). dtVCL: the component drag needs support the
    // windowing layer does not have, so nothing starts.
    void BeginDrag(bool immediate, int threshold = -1);
    // An OLE drag is pending or running (or a component drag).
    bool IsDragging() const;
    // A rubber-band selection is pending or being drawn.
    bool IsDrawSelecting() const { return (states_ & (tsDrawSelPending | tsDrawSelecting)) != 0; }
    // The mouse-down point a pending drag starts from and the distance the
    // mouse must move first (the mouse handling keeps both up to date).
    POINT LastClickPos() const { return lastClickPos_; }
    void SetLastClickPos(POINT p) { lastClickPos_ = p; }
    int DragThreshold() const { return dragThreshold_; }
    void SetDragThreshold(int value) { dragThreshold_ = value < 0 ? GetSystemMetrics(SM_CXDRAG) : value; }
    // The drag states end and the button that dragged is released in the
    // tree (its button-up message at the cursor).
    virtual void DragFinished();
    // Runs the system's drag loop with the drag manager as drop source.
    virtual HRESULT RunOLEDragLoop(DWORD allowedEffects, IDataObject* dataObject, DWORD& effect);
    // Every selected node that is not disabled gets vsCutOrCopy.
    virtual void MarkCutCopyNodes();
    // The selection goes to the clipboard (cut: not on a read-only tree);
    // the nodes stay marked until the clipboard lets go of them.
    void CopyNodesToClipboard();
    void CutNodesToClipboard();
    void CancelPendingCutCopy();
    // A pending cut ends: the marked nodes are deleted.
    void FinishPendingCutCopy();
    // Inserts the clipboard's nodes at the focused node (DefaultPasteMode);
    // "Clipboard operation failed." when the clipboard cannot be read.
    bool PasteNodesFromClipboard();
    // Inserts the native node data of a data object at the target (nil:
    // the hidden root). Optimized: the source's nodes are moved (a tree of
    // this process, a move); else the data is read as a node stream.
    virtual bool ProcessClipboardData(TBaseVirtualTree* source, IDataObject* dataObject, PVirtualNode targetNode,
                                      TVTNodeAttachMode mode, bool optimized);
    // The clipboard keeps what a pending copy or cut offered (rendered now,
    // while the nodes exist) when our object is still on it.
    void FlushClipboard();
    // The properties of another tree (not on a read-only tree).
    virtual void Assign(const TBaseVirtualTree& source);
    // A program's standard edit actions (TEditAction) reach the focused tree:
    // select all and copy, and unless the tree is read-only cut, paste and
    // delete of the selection (VTEditActions.cpp). UpdateAction enables them
    // by the tree's state while it has the focus.
    bool ExecuteAction(TBasicAction* action) override;
    bool UpdateAction(TBasicAction* action) override;
    // The clipboard let go of a data object: when it was the pending cut's or
    // copy's (and the tree is not flushing the clipboard itself), the marks
    // and the pending state end.
    void ClipboardObjectReleased(IDataObject* object);
    IDataObject* ClipboardDataObject() const { return clipboardObject_; }
    // ----- [msgs public] Item queries, accessibility, cursor and hints (VTMessages.cpp).
    // The hint decision: what the application's hint shows over the tree
    // (info.CursorPos in client coordinates); node hints and cell tooltips
    // show in the tree's own hint window (VTHintWindow.h).
    bool HintShow(THintInfo& info) override;
    void HintShowPause(bool hintShown, int& pause) override;
    bool HasOwnHints() const override { return true; }
    bool ShowOwnHint(const THintInfo& info) override;
    void HideOwnHint() override;
    // The window showing the tree's node hints (nullptr before the first).
    TVirtualTreeHintWindow* HintWindow() const { return hintWindow_; }
    // The text of a node in the main column, as accessibility and
    // TVM_GETITEM report it.
    std::string AccessibleText(PVirtualNode node);

protected:
    // [paint] Whether the tree has the keyboard, as decided once when the
    // paint under way began (asked anew outside a paint).
    bool FocusedForPaint() const { return (states_ & tsPainting) ? paintFocused_ : Focused(); }
    // [stream] The chunks of a node after its node chunk header: the base
    // chunk with the children, then the user chunk (the string tree adds its
    // captions). ReadChunk gets a stream that ends with the chunk and returns
    // whether it understood the chunk; the reader moves to the chunk's end
    // afterwards whatever was read.
    virtual void WriteChunks(TStream& stream, PVirtualNode node);
    virtual bool ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize);
    // Reads one node chunk (no repair of the totals: AddFromStream does that).
    void ReadNode(TStream& stream, int version, PVirtualNode node);
    // Writes the size of the chunk that starts at startPos and moves to endPos.
    static void FinishChunkHeader(TStream& stream, int64_t startPos, int64_t endPos);

    // Class factories of the owned objects.
    virtual TVTHeader* GetHeaderClass();
    virtual TStringTreeOptions* GetOptionsClass();
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void WndProc(TMessage& message) override;
    void Loaded() override;
    void Notification(TComponent* component, TOperation operation) override;
    UINT DialogCodes() const override;
    void Paint(TCanvas& canvas) override;
    // [paint] WM_PAINT, WM_ERASEBKGND, WM_PRINT, WM_PRINTCLIENT and
    // WM_NCPAINT; true when the message was answered.
    bool PaintMessage(TMessage& message);
    // The buttons take the new colour or font; the header hears of the font,
    // columns with the parent's colour of the colour.
    void FontChanged() override;
    void ColorChanged() override;

    // The options object tells the tree what changed.
    friend class TCustomVirtualTreeOptions;
    friend class TCustomStringTreeOptions;
    friend class TVTColors;
    friend class TScrollBarOptions;
    // Reactions of the option setters (the tree has a window and is not loading).
    virtual void PaintOptionsChanged(TVTPaintOptions oldValue, TVTPaintOptions newValue);
    virtual void SelectionOptionsChanged(TVTSelectionOptions oldValue, TVTSelectionOptions newValue);
    virtual void MiscOptionsChanged(TVTMiscOptions oldValue, TVTMiscOptions newValue);
    // Option setters react only when this holds.
    bool OptionsReact() const { return !IsLoading() && HandleAllocated(); }
    // The pattern brush for the tree lines and the button bitmaps.
    virtual void PrepareBitmaps(bool needButtons, bool needLines);
    void StopTimer(UINT_PTR id);
    void StartTimer(UINT_PTR id, UINT ms);
    // The tree's own timers (ids below 32) that StartTimer started.
    unsigned runningTimers_ = 0;
    // Frees one node record (OnFreeNode first) after forgetting every reference to it.
    void FreeNodeRecord(PVirtualNode node);
    // Tells whether a node is still there after handlers ran (any handler
    // may delete nodes or clear the list): FreeNodeRecord clears the watch.
    class TNodeWatch {
    public:
        TNodeWatch(TBaseVirtualTree& tree, PVirtualNode node);
        ~TNodeWatch();
        TNodeWatch(const TNodeWatch&) = delete;
        TNodeWatch& operator=(const TNodeWatch&) = delete;
        bool Alive() const { return node_ != nullptr; }

    private:
        friend class TBaseVirtualTree;
        TBaseVirtualTree& tree_;
        PVirtualNode node_;
        TNodeWatch* next_;
    };
    // Deleting: a subtree is first taken out of the tree whole (marked
    // vsDeleting, out of the selection, forgotten), so that the tree is
    // consistent again before any OnFreeNode runs; then its nodes are freed,
    // children before parents, without recursion. MarkForDeletion is true
    // when selected nodes were among them (out of the selection without a
    // change event).
    bool MarkForDeletion(PVirtualNode top);
    // Deleting from a handler while nodes are read from a stream is an error.
    void RefuseDeletingWhileReading() const;
    // Returns how many nodes it freed itself (handlers may free more).
    uint64_t FreeDetached(PVirtualNode top);
    // Deletes the nodes of a sorted list from the last one back. Handlers
    // may free nodes of the list meanwhile: once any node but the one
    // deleted and its subtree is freed, the rest is what `remaining` (the
    // selection, the cut set) lists then.
    void DeleteSortedNodes(TNodeArray nodes, TNodeArray (TBaseVirtualTree::*remaining)(bool) const);
    // Moves the focus away from a node that is going or from below it; false
    // when a handler deleted `watched` meanwhile.
    bool ReleaseFocusInside(PVirtualNode node, bool itself, const TNodeWatch& watched);
    // Ends an edit of the node or of a node below it (any edit for the
    // root) by cancelling it, never by storing its text.
    void CancelEditInside(PVirtualNode node);
    // MoveNode into another tree: through a node stream, then deleted here.
    void MoveToOtherTree(PVirtualNode source, TBaseVirtualTree& targetTree, PVirtualNode target,
                         TVTNodeAttachMode mode, bool childrenOnly);
    // Forgets the tree's remembered references to a node that is going.
    void ForgetNode(PVirtualNode node);
    // Everything the tree remembers about nodes is cleared (nine references).
    void ResetNodeReferences();
    void InitRootNode(unsigned oldSize = 0);
    // The hidden-children flag of a parent after a child went away.
    void FixupParentAfterDelete(PVirtualNode parent);

private:
    // Each answers the messages of its own file; true when the message was answered.
    // ----- [keys] (VTKeyboard.cpp)
    bool KeyboardMessage(TMessage& message);
    // One key of WM_KEYDOWN after OnKeyAction.
    void HandleKey(WORD key, TShiftState shift);
    // The navigation keys; false when the key is none of them.
    bool NavigationKey(WORD key, TShiftState shift);
    // One character of the incremental search (WM_CHAR), and its end.
    void IncrementalSearchChar(wchar_t ch);
    void EndIncrementalSearch();
    // The next (previous) node the search may look at; wraps to the first
    // (last) of its kind. Nil after nil: the first (last) of its kind.
    PVirtualNode SearchStep(PVirtualNode node);
    // A check pressed with the space key goes back to its normal look.
    void DropKeyCheck();
    // Focus loss and cancel mode: the timers of pending actions stop.
    void StopPendingTimers();
    // The search text (UTF-16, as WM_CHAR brings it); the first half of a
    // surrogate pair waiting for its second.
    std::wstring searchBuffer_;
    wchar_t searchHighSurrogate_ = 0;
    // ----- [mouse] (VTMouse.cpp)
    bool MouseMessage(TMessage& message);
    void HandleMouseDown(TMessage& message, const THitInfo& hitInfo);
    void HandleMouseUp(TMessage& message, const THitInfo& hitInfo);
    void HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo);
    // True when the move was used up (a drag started).
    bool HandleMouseMove(TMessage& message);
    void HandleClickSelection(PVirtualNode lastFocused, PVirtualNode newNode, TShiftState shift, bool dragPending);
    // A press on a node's check box: the pressed look and the state to
    // apply on release; false when nothing is pending.
    bool StartCheckClick(PVirtualNode node);
    // The rubber band's moving corner goes to the client point.
    void UpdateRubberBand(POINT clientPoint, bool pending);
    // Selects and unselects by the old and new band (normalised, virtual
    // coordinates); true when the selection changed.
    bool HandleDrawSelection(const RECT& oldRect, const RECT& newRect);
    bool CanAutoScroll() const;
    void StartWheelPanning(POINT position);
    void PanningStep();
    void AdjustPanningCursor(int x, int y);
    bool HandleSetCursor(TMessage& message);
    // The tree's PopupMenu at a screen point (-1, -1: at the focused node).
    bool ShowContextPopup(POINT screen);
    void ReleaseTreeCapture();
    // The pending click states of a press that went no further.
    void ClearPendingClickStates();
    TDragMode dragMode_ = dmManual;
    // The rubber band's corners (virtual coordinates) and the keys held when it started.
    POINT bandStart_{}, bandEnd_{};
    TShiftState drawSelShiftState_ = 0;
    // A press on a selected node that may still become a drag.
    bool clearPendingDrag_ = false;
    bool releasingCapture_ = false;
    bool inRightButtonUp_ = false;
    bool contextMenuAsked_ = false;
    POINT contextMenuPoint_{};
    // The small window that shows where panning started (destroyed with the tree).
    struct TPanningWindow {
        HWND handle = nullptr;
        bool canScrollX = false, canScrollY = false;
        ~TPanningWindow();
        void Destroy();
    } panning_;
    // ----- [dnd] (VTDragDrop.cpp)
    bool DragDropMessage(TMessage& message);
    // A node that goes leaves the dragged selection.
    void ForgetDraggedNode(PVirtualNode node);
    // The drop target and mode for a client point (dmNowhere without a node).
    PVirtualNode DropTargetAt(POINT client, TDropMode& mode, bool reportMode);
    // Scrolls towards the edges the point is near; true when it scrolled.
    bool DragScroll(POINT client);
    void RepaintDropRow(PVirtualNode node);
    // Timer 1 for a collapsed drop target with children (toAutoDropExpand).
    void StartDropExpandTimer(PVirtualNode node);
    void ShowSourceDragImage(TObject* source, bool show);
    // Registers the window as drop target through the drag manager, or revokes it.
    void SetDropTargetRegistered(bool value);
    POINT lastClickPos_{};
    int dragThreshold_ = GetSystemMetrics(SM_CXDRAG);
    // The selection being dragged (nodes that go are taken out, ForgetNode).
    TNodeArray dragSelection_;
    bool droppedOnSelf_ = false;
    bool dropTargetRegistered_ = false;
    // The object a pending cut or copy put on the clipboard (not owned).
    IDataObject* clipboardObject_ = nullptr;
    // ----- [msgs] (VTMessages.cpp)
    bool OtherMessage(TMessage& message);
    LRESULT GetItemRectMessage(WPARAM wParam, LPARAM lParam);
    LRESULT GetNextItemMessage(WPARAM wParam, LPARAM lParam);
    LRESULT GetItemMessage(LPARAM lParam);
    LRESULT GetObjectMessage(WPARAM wParam, LPARAM lParam);
    // The accessible objects forget the tree (its window goes).
    void ReleaseAccessibleObjects();
    // Whether a node handle handed in by other code is a node of this tree
    // (read only where memory is readable; the hidden root counts).
    bool IsNodeOfTree(PVirtualNode node) const;
    TVirtualTreeHintWindow* hintWindow_ = nullptr;   // owned (component owner)
    RECT lastHintRect_{};                            // client coordinates
    // What the hint decision found for the tree's own hint window.
    struct TPendingHint {
        bool active = false;
        PVirtualNode node = nullptr;
        TColumnIndex column = NoColumn;
        RECT textRect{};   // a tooltip's text rectangle (client coordinates)
        std::string text;
        TVTTooltipLineBreakStyle lineBreak = hlbDefault;
    } pendingHint_;
    // ----- end of the message files' private parts
    void CheckStateFromChildren(PVirtualNode node, TCheckState& state);
    bool InternalSetCheckState(PVirtualNode node, TCheckState value, bool propagateDown);
    void HandleTimer(UINT_PTR id);
    // [scroll] Scroll bar and wheel messages (VTScroll.cpp).
    void WMScroll(TMessage& message);
    void WMMouseWheel(TMessage& message);
    // Sets a bar's position without drawing it; with redraw it is drawn
    // once the burst of scrolls is over.
    void SetScrollBarPosition(int bar, int position, bool redraw);
    void ScrollBarsMoved();
    // (Re)starts the timer that ends a burst of scrolls.
    void KeepScrollBarTimer();
    // Whether a scroll by (dx, dy) moves child windows along (see
    // hasChildWindows_); a scroll that does not is counted in childScrollMissed_.
    bool ChildWindowsToMove(int dx, int dy);
    // Asks the system whether there are child windows; any found after
    // scrolls that moved none are moved by what those scrolls missed.
    void LookForChildWindows();
    void RedrawScrollBarsNow();
    // What the frame shows besides the header: the window's and the client
    // area's place, the styles, the theme and both scroll bars as drawn.
    struct TFrameLook {
        RECT window{}, client{};
        LONG_PTR style = 0, exStyle = 0;
        bool themed = false;
        SCROLLBARINFO bars[2]{};
        bool operator==(const TFrameLook& other) const;
    };
    TFrameLook FrameLook();
    // After WM_NCPAINT: the look the frame was drawn with, as far as the
    // painted region took in the scroll bars.
    void NoteFrameDrawn(HRGN region, bool whole);
    // The end of an update: the frame is drawn again when it looks other
    // than when it was last drawn or was asked for meanwhile; otherwise
    // only the header, which costs little to draw.
    void RedrawFrameAfterUpdate();
    // The horizontal range of a tree without header columns.
    int HorizontalRangeWithoutColumns();
    // [scroll] Moves an image list's change link and free notification.
    void MoveImageList(TCustomImageList*& field, TChangeLink& link, TCustomImageList* value);
    void ExpandNodeCore(PVirtualNode node);
    void CollapseNodeCore(PVirtualNode node);

    PVirtualNode root_ = nullptr;
    unsigned totalInternalDataSize_ = 0;
    int nodeDataSize_ = -1;
    unsigned updateCount_ = 0;
    unsigned visibleCount_ = 0;
    TVirtualTreeStates states_ = 0;
    // [accessibility] See Accessible().
    IAccessible* accessible_ = nullptr;
    IAccessible* accessibleItem_ = nullptr;
    // [worker file] The worker clears the stop request when it queues the tree.
    friend class TWorkerThread;
    std::atomic<bool> stopValidation_{false};
    // [stream] Nesting of the node being read.
    unsigned streamDepth_ = 0;

    // The nodes that callers wait to see gone or alive (TNodeWatch).
    TNodeWatch* nodeWatches_ = nullptr;
    // Above 0 while SetChildCount deletes children one by one: it brings the
    // cache and the scroll bars up to date once, afterwards.
    unsigned batchedDeletes_ = 0;
    // The node records freed so far, and how many of them the last DeleteNode
    // to finish freed of its own subtree (DeleteSortedNodes).
    uint64_t freedCount_ = 0;
    uint64_t lastDeletedCount_ = 0;
    // RenderOwnOLEData is running.
    bool renderingOwnFormats_ = false;

    // Selection.
    std::vector<PVirtualNode> selection_;
    unsigned selectionCount_ = 0;   // entries in selection_, marked ones included
    unsigned markedCount_ = 0;      // entries marked for removal
    std::vector<PVirtualNode> tempNodeCache_;
    int tempNodeCount_ = 0;
    PVirtualNode rangeAnchor_ = nullptr;
    int lastSelectionLevel_ = -1;

    // Remembered nodes (every one is forgotten when its node goes).
    PVirtualNode focusedNode_ = nullptr;
    PVirtualNode editNode_ = nullptr;
    PVirtualNode dropTargetNode_ = nullptr;
    PVirtualNode currentHotNode_ = nullptr;
    HCURSOR shownCursor_ = nullptr;   // what the last WM_SETCURSOR set
    PVirtualNode lastChangedNode_ = nullptr;
    PVirtualNode lastStructureChangeNode_ = nullptr;
    PVirtualNode lastSearchNode_ = nullptr;
    PVirtualNode pendingCheckNode_ = nullptr;
    PVirtualNode lastDropTarget_ = nullptr;
    TChangeReason lastStructureChangeReason_ = crIgnore;
    TCheckState pendingCheckState_ = csUncheckedNormal;
    TColumnIndex focusedColumn_ = NoColumn;
    TColumnIndex editColumn_ = NoColumn;
    unsigned checkNesting_ = 0;

    // Scrolling.
    int offsetX_ = 0, offsetY_ = 0, effectiveOffsetX_ = 0;
    unsigned scrollDirections_ = 0;
    POINT panningStart_{};
    // [scroll] A drawing of the scroll bars is due; UpdateScrollBars is running.
    bool scrollBarRedrawPending_ = false;
    bool inScrollBarUpdate_ = false;
    // [scroll] The frame as it was last drawn (when that is known), and
    // whether it was asked to be drawn again while an update kept drawing off.
    TFrameLook frameDrawn_{};
    bool frameDrawnKnown_ = false;
    bool frameRedrawInUpdate_ = false;
    // [scroll] When the bars' timer was last (re)started (timeGetTime).
    DWORD scrollBarTimerStart_ = 0;
    // [scroll] Where the mouse last moved (client coordinates): the row under
    // a resting mouse is found there after a scroll.
    POINT lastMouseMove_{-1, -1};
    // [scroll] Whether the tree's window has child windows to move along
    // with the rows, as asked at the start of the current burst of scrolls
    // (when its last scroll was), or as a child made since told
    // (WM_PARENTNOTIFY).
    bool hasChildWindows_ = false;
    bool childWindowsKnown_ = false;
    DWORD lastScrollTime_ = 0;
    // [scroll] How far the rows scrolled since the system was last asked for
    // child windows and said there were none: a child that came meanwhile
    // without telling (WS_EX_NOPARENTNOTIFY, SetParent) is moved by this
    // when the burst ends.
    POINT childScrollMissed_{0, 0};
    int rangeX_ = 0;

    // Position cache.
    std::vector<TCacheEntry> positionCache_;
    unsigned positionCacheValid_ = 0;
    // The last valid entry is the end marker (the walk reached the end).
    bool positionCacheEnded_ = false;
    // How many leading entries the changes since the last validation left
    // valid (window thread only).
    unsigned positionCacheKept_ = ~0u;

    // Owned objects.
    TVTHeader* header_ = nullptr;
    std::unique_ptr<TStringTreeOptions> options_;
    std::unique_ptr<TVTColors> colors_;
    std::unique_ptr<TScrollBarOptions> scrollBarOptions_;
    std::unique_ptr<TClipboardFormats> clipboardFormats_;
    TVTDragImage* dragImage_ = nullptr;
    TEditLinkPtr editLink_;
    IVTDragManager* dragManager_ = nullptr;
    TBitmap background_;
    TBitmap plusBM_, minusBM_;
    HBRUSH lineBrush_ = nullptr;
    // [paint] The rubber band (absolute tree coordinates); the tree had the
    // focus when the paint began.
    RECT selectionRect_{};
    bool paintFocused_ = false;
    TDropMode lastDropMode_ = dmNowhere;
    struct TPaintPass;
    void PaintRows(TCanvas& targetCanvas, const RECT& window, POINT target, TPaintRequestOptions paintOptions);
    void PaintCell(TVTPaintInfo& info, const TPaintPass& pass, bool isMain);
    std::unique_ptr<TCanvas> canvas_;
    HDC canvasDC_ = nullptr;
    bool workerRegistered_ = false;

    // Properties.
    std::string accessibleName_;
    TPopupMenu* popupMenu_ = nullptr;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    unsigned animationDuration_ = 200;
    unsigned autoExpandDelay_ = 1000;
    unsigned autoScrollDelay_ = 1000;
    unsigned autoScrollInterval_ = 1;
    int backgroundOffsetX_ = 0, backgroundOffsetY_ = 0;
    TBorderStyle borderStyle_ = bsSingle;
    unsigned bottomSpace_ = 0;
    TVTButtonFillMode buttonFillMode_ = fmTreeColor;
    TVTButtonStyle buttonStyle_ = bsRectangle;
    unsigned changeDelay_ = 0;
    TCheckImageKind checkImageKind_ = ckLightCheck;
    TCustomImageList* checkImages_ = nullptr;
    TCustomImageList* customCheckImages_ = nullptr;
    // [scroll] Changes of the image lists repaint the tree.
    TChangeLink imagesLink_, stateImagesLink_, customCheckImagesLink_;
    TCustomImageList* images_ = nullptr;
    TCustomImageList* stateImages_ = nullptr;
    unsigned defaultNodeHeight_ = 18;
    TVTNodeAttachMode defaultPasteMode_ = amAddChildLast;
    int dragHeight_ = 350, dragWidth_ = 200;
    TVTDragImageKind dragImageKind_ = diComplete;
    TDragOperations dragOperations_ = doCopy | doMove;
    TVTDragType dragType_ = dtOLE;
    TVTDrawSelectionMode drawSelectionMode_ = smDottedRectangle;
    unsigned editDelay_ = 1000;
    THintAnimationType hintAnimation_ = hatSystemDefault;
    TVTHintMode hintMode_ = hmDefault;
    HCURSOR hotCursor_ = nullptr;
    TVTIncrementalSearch incrementalSearch_ = isNone;
    TVTSearchDirection searchDirection_ = sdForward;
    TVTSearchStart searchStart_ = ssFocusedNode;
    unsigned searchTimeout_ = 1000;
    unsigned indent_ = 18;
    TVTLineMode lineMode_ = lmNormal;
    TVTLineStyle lineStyle_ = lsDotted;
    int margin_ = 4;
    TVTNodeAlignment nodeAlignment_ = naProportional;
    uint8_t selectionBlendFactor_ = 128;
    unsigned selectionCurveRadius_ = 0;
    int textMargin_ = 4;
    bool wantTabs_ = false;
    unsigned pendingRootCount_ = 0;
    TBiDiMode bidiMode_ = bdLeftToRight;
    // [ole] Last member, so the tree leaves the live list first.
    TVTLiveTreeEntry liveTreeEntry_{this, &dragManager_};
};

// ---------------------------------------------------------------------------
// String, published and owner-draw trees (VTStringTree.cpp, VTEditLink.cpp,
// VTDrawTree.cpp)

// A list of text cells: the application hands each cell's text through
// OnGetText, may change fonts and colours in OnPaintText and receives edited
// text through OnNewText. Every node carries the cached width of its text in
// the main column (4 bytes of internal data; 0 = not measured).
class TCustomVirtualStringTree : public TBaseVirtualTree {
public:
    explicit TCustomVirtualStringTree(TComponent* owner);
    // A running edit is cancelled while the string tree is still whole.
    ~TCustomVirtualStringTree() override;
    // [ole] The text formats (export) as global memory, the rest as the base tree.
    HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) override;

    // The text a cell has before OnGetText changes it ("Node").
    const std::string& DefaultText() const { return defaultText_; }
    void SetDefaultText(const std::string& value);

    // A cell's text: DefaultText, then OnGetText (normal text). The node is
    // initialized first; nil fails an assertion.
    std::string Text(PVirtualNode node, TColumnIndex column);
    // Raises OnNewText, then repaints the node.
    void SetText(PVirtualNode node, TColumnIndex column, const std::string& value);
    // Either kind of text (ttStatic: the uneditable text right of the normal one).
    virtual std::string GetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType = ttNormal);

    // Height of a text line and width of "..." in the tree font (measured
    // when the font changes).
    int TextHeight() const { return textHeight_; }
    int EllipsisWidth() const { return ellipsisWidth_; }
    // The cached main-column width of a node (0 = not measured).
    int CachedTextWidth(PVirtualNode node) const;

    TVSTGetTextEvent OnGetText;
    TVTPaintText OnPaintText;
    TVSTGetHintEvent OnGetHint;
    TVSTNewTextEvent OnNewText;
    TVTShortenStringEvent OnShortenString;

    // ----- dispatchers
    virtual void DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::string& text);
    virtual void DoNewText(PVirtualNode node, TColumnIndex column, const std::string& text);
    virtual void DoPaintText(PVirtualNode node, TCanvas& canvas, TColumnIndex column, TVSTTextType textType);
    // OnShortenString; without Done the text is cut with an ellipsis (an
    // ellipsis width of 0 is measured in the canvas font).
    virtual std::string DoShortenString(TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                        const std::string& s, int width, int ellipsisWidth = 0);
    // Width of a text in the canvas font.
    virtual int DoTextMeasuring(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const std::string& text);
    // Draws a text with DrawText flags into the rectangle, in the canvas's
    // font and background mode.
    virtual void DoTextDrawing(TVTPaintInfo& paintInfo, const std::string& text, RECT r, UINT drawFormat);
    std::string DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                              TVTTooltipLineBreakStyle& lineBreakStyle) override;
    std::string DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                 TVTTooltipLineBreakStyle& lineBreakStyle) override;
    TEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column) override;
    int DoIncrementalSearch(PVirtualNode node, const std::string& text) override;
    int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) override;
    void DoPaintNode(TVTPaintInfo& paintInfo) override;
    void DoReset(PVirtualNode node) override;

    // Height of the cell text drawn with word wrap into the column's width
    // (the client width without columns).
    virtual int ComputeNodeHeight(TCanvas& canvas, PVirtualNode node, TColumnIndex column);
    bool ColumnIsEmpty(PVirtualNode node, TColumnIndex column) override;
    // The edit geometry: font after OnPaintText, text, and the cell's text
    // rectangle (the whole cell for multiline nodes).
    void TextInfo(PVirtualNode node, TColumnIndex column, TFont& font, RECT& r, std::string& text) override;
    // Widens the cell over following empty left-to-right columns (toAutoSpanColumns).
    void AdjustPaintCellRect(TVTPaintInfo& paintInfo, TColumnIndex& nextNonEmpty) override;
    void MainColumnChanged() override;
    void InvalidateNode(PVirtualNode node) override;

protected:
    void FontChanged() override;
    // The caption chunk (type 3) of the node stream.
    void WriteChunks(TStream& stream, PVirtualNode node) override;
    bool ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize) override;
    // Font and colours of a cell's normal text before OnPaintText.
    void InitializeTextProperties(TVTPaintInfo& paintInfo);
    // Both draw into the content rectangle less TextMargin on each side;
    // the normal text returns its width as drawn (-1 without columns, where
    // it is not measured), after which the static text starts.
    int PaintNormalText(TVTPaintInfo& paintInfo, std::string text);
    void PaintStaticText(TVTPaintInfo& paintInfo, const std::string& text, int normalWidth);

private:
    // Width of a text as painted (2 x TextMargin included).
    int CalculateTextWidth(TCanvas& canvas, PVirtualNode node, TColumnIndex column, const std::string& text);
    uint32_t* WidthCache(PVirtualNode node) const;
    void ClearWidthCaches();
    void MeasureFont();

    std::string defaultText_ = "Node";
    unsigned internalOffset_ = 0;
    int textHeight_ = 0;
    int ellipsisWidth_ = 0;
};

class TVirtualStringTree : public TCustomVirtualStringTree {
public:
    explicit TVirtualStringTree(TComponent* owner) : TCustomVirtualStringTree(owner) {}
};

// The application paints the cells.
class TCustomVirtualDrawTree : public TBaseVirtualTree {
public:
    explicit TCustomVirtualDrawTree(TComponent* owner) : TBaseVirtualTree(owner) {}

    // A cell, from the paint information (content rectangle past the
    // indentation and images; the canvas has the tree font).
    using TVTDrawNodeEvent = std::function<void(TBaseVirtualTree* sender, const TVTPaintInfo& paintInfo)>;
    // A node's width in a column; nodeWidth starts at 2 x TextMargin (the
    // canvas is never nil).
    using TVTGetNodeWidthEvent = std::function<void(TBaseVirtualTree* sender, TCanvas* canvas, PVirtualNode node,
                                                    TColumnIndex column, int& nodeWidth)>;
    TVTDrawNodeEvent OnDrawNode;
    TVTGetNodeWidthEvent OnGetNodeWidth;

    // [hint window] Owner-drawn node hints: the hint's size (r comes in as
    // the cell's rectangle) and its drawing (VTHintWindow.cpp).
    using TVTGetHintSizeEvent =
        std::function<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, RECT& r)>;
    using TVTDrawHintEvent = std::function<void(TBaseVirtualTree* sender, TCanvas& hintCanvas, PVirtualNode node,
                                                const RECT& r, TColumnIndex column)>;
    TVTGetHintSizeEvent OnGetHintSize;
    TVTDrawHintEvent OnDrawHint;
    virtual void DoGetHintSize(PVirtualNode node, TColumnIndex column, RECT& r);
    virtual void DoDrawHint(TCanvas& canvas, PVirtualNode node, const RECT& r, TColumnIndex column);

    void DoPaintNode(TVTPaintInfo& paintInfo) override;
    int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) override;
};

class TVirtualDrawTree : public TCustomVirtualDrawTree {
public:
    explicit TVirtualDrawTree(TComponent* owner) : TCustomVirtualDrawTree(owner) {}
};
