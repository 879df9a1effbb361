// The visual-styles service: one process-wide object that knows whether
// themes are in force for this program, keeps one theme handle per kind of
// element, turns an element's part code into the part and state the theme
// functions take, draws theme parts and themed client-edge borders, and
// follows theme changes of the desktop through the application window.
//
// Callers paint themed only while ThemesEnabled() is true. A drawing call
// whose theme function is missing from the library (or that has no theme
// handle) paints the classic look of that part where it has one, and says so
// by returning false.
#pragma once
#include <windows.h>
#include <uxtheme.h>

#include <functional>
#include <string>

#include "platform/Events.h"

class TWinControl;

// Kinds of element, each with its own theme class (ThemeClassName).
enum TThemedElement : int {
    teButton,
    teClock,
    teComboBox,
    teEdit,
    teExplorerBar,
    teHeader,
    teListView,
    teMenu,
    tePage,
    teProgress,
    teRebar,
    teScrollBar,
    teSpin,
    teStartPanel,
    teStatus,
    teTab,
    teTaskBand,
    teTaskBar,
    teToolBar,
    teToolTip,
    teTrackBar,
    teTrayNotify,
    teTreeview,
    teWindow,
};
constexpr int kThemedElementCount = 24;

// The theme class opened for a kind ("button", "treeview" ...); nullptr for a
// number outside 0..23.
const wchar_t* ThemeClassName(TThemedElement element);

struct TThemedElementDetails {
    TThemedElement Element = teButton;
    int Part = 0;
    int State = 0;
};

// Part codes of each kind. Codes 0 and 1 stand for the whole class (Part 0);
// the rest run in groups, one group per part, one code per state.
enum TThemedButtonCode : int {
    tbButtonDontCare, tbButtonRoot,
    tbPushNormal, tbPushHot, tbPushPressed, tbPushDisabled, tbPushDefaulted,
    tbRadioUncheckedNormal, tbRadioUncheckedHot, tbRadioUncheckedPressed, tbRadioUncheckedDisabled,
    tbRadioCheckedNormal, tbRadioCheckedHot, tbRadioCheckedPressed, tbRadioCheckedDisabled,
    tbCheckUncheckedNormal, tbCheckUncheckedHot, tbCheckUncheckedPressed, tbCheckUncheckedDisabled,
    tbCheckCheckedNormal, tbCheckCheckedHot, tbCheckCheckedPressed, tbCheckCheckedDisabled,
    tbCheckMixedNormal, tbCheckMixedHot, tbCheckMixedPressed, tbCheckMixedDisabled,
    tbGroupBoxNormal, tbGroupBoxDisabled,
    tbUserButton,
};

enum TThemedEditCode : int {
    teEditDontCare, teEditRoot,
    teEditTextNormal, teEditTextHot, teEditTextSelected, teEditTextDisabled, teEditTextFocused,
    teEditTextReadOnly, teEditTextAssist,
    teEditCaret,
};

enum TThemedHeaderCode : int {
    thHeaderDontCare, thHeaderRoot,
    thItemNormal, thItemHot, thItemPressed,
    thItemLeftNormal, thItemLeftHot, thItemLeftPressed,
    thItemRightNormal, thItemRightHot, thItemRightPressed,
    thSortArrowUp, thSortArrowDown,
};

enum TThemedRebarCode : int {
    trRebarDontCare, trRebarRoot,
    trGripper,
    trGripperVert,
    trBand1, trBand2, trBand3, trBand4, trBand5, trBand6,
    trChevron1, trChevronNormal, trChevronHot, trChevronPressed,
    trChevronVert1, trChevronVertNormal, trChevronVertHot, trChevronVertPressed,
};

enum TThemedStatusCode : int {
    tsStatusDontCare, tsStatusRoot,
    tsPane,
    tsGripperPane,
    tsGripper,
};

// Each tab part has five states: normal, hot, selected, disabled, focused.
enum TThemedTabCode : int {
    ttTabDontCare, ttTabRoot,
    ttTabItemNormal = 2,
    ttTabItemLeftEdgeNormal = 7,
    ttTabItemRightEdgeNormal = 12,
    ttTabItemBothEdgeNormal = 17,
    ttTopTabItemNormal = 22,
    ttTopTabItemLeftEdgeNormal = 27,
    ttTopTabItemRightEdgeNormal = 32,
    ttTopTabItemBothEdgeNormal = 37,
    ttPane = 42,
    ttBody = 43,
};
enum TThemedTabState : int { ttsNormal, ttsHot, ttsSelected, ttsDisabled, ttsFocused };

// Each toolbar part has six states: normal, hot, pressed, disabled, checked,
// hot and checked.
enum TThemedToolBarCode : int {
    ttbToolBarDontCare, ttbToolBarRoot,
    ttbButtonNormal = 2,
    ttbDropDownButtonNormal = 8,
    ttbSplitButtonNormal = 14,
    ttbSplitButtonDropDownNormal = 20,
    ttbSeparatorNormal = 26,
    ttbSeparatorVertNormal = 32,
};
enum TThemedToolBarState : int { ttbsNormal, ttbsHot, ttbsPressed, ttbsDisabled, ttbsChecked, ttbsCheckedHot };

// Each thumb part has five states: normal, hot, pressed, focused, disabled.
enum TThemedTrackBarCode : int {
    ttbrTrackBarDontCare, ttbrTrackBarRoot,
    ttbrTrack = 2,
    ttbrTrackVert = 3,
    ttbrThumbNormal = 4,
    ttbrThumbBottomNormal = 9,
    ttbrThumbTopNormal = 14,
    ttbrThumbVertNormal = 19,
    ttbrThumbLeftNormal = 24,
    ttbrThumbRightNormal = 29,
    ttbrTics = 34,
    ttbrTicsVert = 35,
};
enum TThemedThumbState : int { ttbrsNormal, ttbrsHot, ttbrsPressed, ttbrsFocused, ttbrsDisabled };

enum TThemedTreeviewCode : int {
    ttTreeviewDontCare, ttTreeviewRoot,
    ttItemNormal, ttItemHot, ttItemSelected, ttItemDisabled, ttItemSelectedNotFocus,
    ttGlyphClosed, ttGlyphOpened,
    ttBranch,
};

// Reads the common-controls version, packed as MAKELONG(minor, major).
using TComCtlVersionProvider = std::function<DWORD()>;
// The version of the comctl32.dll this process uses (0 when unknown).
DWORD CommonControlsVersion();
// Tests only: replaces the common-controls version check (an empty function
// puts the real one back). Takes effect at the next UpdateThemes.
void SetComCtlVersionProviderForTesting(TComCtlVersionProvider provider);

class TThemeServices : public TObject {
public:
    // Hooks the window (when not 0) to follow theme changes, loads the
    // library and reads the flags.
    explicit TThemeServices(HWND applicationWindow);
    ~TThemeServices() override;
    TThemeServices(const TThemeServices&) = delete;
    TThemeServices& operator=(const TThemeServices&) = delete;

    // The visual-styles library was loaded.
    bool ThemeLibraryLoaded() const { return themeLibraryLoaded_; }
    // Themes are active for this program and the common controls are 6.0 or later.
    bool ThemesAvailable() const { return themesAvailable_; }
    // The program's theme properties allow themed controls.
    bool ControlsEnabled() const { return controlsEnabled_; }
    // All three: callers paint themed only then.
    bool ThemesEnabled() const { return themeLibraryLoaded_ && themesAvailable_ && controlsEnabled_; }

    HWND ApplicationWindow() const { return window_; }

    // The theme handle of a kind, opened on first use while themes are
    // available; 0 otherwise (and for a number outside the kinds).
    HTHEME ThemeHandle(TThemedElement element);
    // The handle as stored now, without opening it.
    HTHEME CachedThemeHandle(TThemedElement element) const;

    // A part code of each kind turned into element, part and state.
    static TThemedElementDetails GetButtonDetails(int code);
    static TThemedElementDetails GetEditDetails(int code);
    static TThemedElementDetails GetHeaderDetails(int code);
    static TThemedElementDetails GetRebarDetails(int code);
    static TThemedElementDetails GetStatusDetails(int code);
    static TThemedElementDetails GetTabDetails(int code);
    static TThemedElementDetails GetToolBarDetails(int code);
    static TThemedElementDetails GetTrackBarDetails(int code);
    static TThemedElementDetails GetTreeViewDetails(int code);

    // Draws the part's background; clip may be nullptr. True when the theme
    // drew it; false when the classic look (or nothing) was painted instead.
    bool DrawElement(HDC dc, const TThemedElementDetails& details, const RECT& rect,
                     const RECT* clip = nullptr);
    // Draws an edge (EDGE_* and BF_* as for DrawEdge); contentRect, when
    // given, receives the area inside it. Classic DrawEdge when the theme
    // cannot.
    bool DrawElementEdge(HDC dc, const TThemedElementDetails& details, const RECT& rect, UINT edge,
                         UINT flags, RECT* contentRect = nullptr);
    // Draws text with DT_* flags; flags2 is the theme's second flag word.
    // Plain DrawText when the theme cannot.
    bool DrawElementText(HDC dc, const TThemedElementDetails& details, const std::wstring& text,
                         const RECT& rect, DWORD flags, DWORD flags2 = 0);
    bool DrawElementText(HDC dc, const TThemedElementDetails& details, const std::string& text,
                         const RECT& rect, DWORD flags, DWORD flags2 = 0);
    // The area inside the part's borders; the bounding rectangle itself when
    // the theme cannot say.
    RECT GetContentRect(HDC dc, const TThemedElementDetails& details, const RECT& bounds);
    // Paints the parent's background under the window into dc, unless
    // onlyIfTransparent is set, details are given and that part is opaque.
    // rect may be nullptr (the whole window). True when the parent painted.
    bool DrawParentBackground(HWND window, HDC dc, const TThemedElementDetails* details,
                              bool onlyIfTransparent, const RECT* rect = nullptr);
    // Paints the 2-pixel client edge of a window with WS_EX_CLIENTEDGE in the
    // edit-box style (nothing for other windows); with eraseCorner, also
    // fills the square between both scroll bars.
    void PaintBorder(HWND window, bool eraseCorner);
    void PaintBorder(TWinControl* control, bool eraseCorner);

    // Closes the cached handles and reads the three flags again.
    void UpdateThemes();

    // Raised after a theme change of the desktop was taken in.
    TNotifyEvent OnThemeChange;

protected:
    virtual void DoOnThemeChange();

private:
    void CloseThemeHandles();
    void AppWindowThemeProc(UINT msg);
    void Unhook();

    bool themeLibraryLoaded_ = false;
    bool themesAvailable_ = false;
    bool controlsEnabled_ = false;
    HWND window_ = nullptr;
    int hookId_ = 0;
    HTHEME handles_[kThemedElementCount] = {};
};

// The process-wide service, made on first call with the application window.
TThemeServices& GetThemeServices();
// Short form used by the controls.
inline TThemeServices& ThemeServices() { return GetThemeServices(); }
