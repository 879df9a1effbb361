// What the list control's parts share without needing the tree itself: the
// one exception class, small geometry and sorting helpers, the processor and platform tests, text shortening
// with an ellipsis, alpha blending of 32-bit bitmaps, text drawing for
// systems without wide-character drawing, and the process-wide resources
// (check and utility images, the header split cursor, the reference
// clipboard format, the timer resolution).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"
#include "platform/Firewall.h"

class TBaseVirtualTree;
struct TVirtualNode;
class TCustomImageList;

// Runs its function on the way out (EndUpdate after an error too).
template <class F>
struct TVTOnExit {
    F f;
    // Nothing may leave a destructor: an error goes to the application.
    ~TVTOnExit() { Guarded([this] { f(); }); }
};
template <class F>
TVTOnExit(F) -> TVTOnExit<F>;

// Every error the list control raises for bad use. The help context tells
// the kind of fault (2008: no room for initial user data, and so on).
class EVirtualTreeError : public Exception {
public:
    EVirtualTreeError(const std::string& message, int helpContext)
        : Exception(message), helpContext_(helpContext) {}
    int HelpContext() const { return helpContext_; }

private:
    int helpContext_;
};

// Raises EVirtualTreeError with the message and help context.
[[noreturn]] void ShowError(const std::string& message, int helpContext);

// The tree a node belongs to: its parent chain is walked up to the hidden
// root (the node whose NextSibling is itself), whose Parent is the tree.
// A nil node fails the assertion "Node must not be nil.".
TBaseVirtualTree* TreeFromNode(const TVirtualNode* node);

// The next node of the subtree of top in pre-order, nil after its last node
// (no recursion: a subtree may be deeper than the stack).
TVirtualNode* NextInSubtree(TVirtualNode* run, TVirtualNode* top);

// The rectangle with left <= right and top <= bottom.
RECT OrderRect(const RECT& r);

// Sorts values[l..r] (both inclusive) ascending in place. Nothing happens
// when l >= r.
void QuickSort(std::int32_t* values, int l, int r);

// The processor knows the identification instruction, reports a signature
// of at least 0x50 and has MMX.
bool HasMMX();
// What the list control goes by: HasMMX() unless a test switched it (the
// own drag image and the hint shadow are drawn only with it).
bool MMXAvailable();
void SetMMXAvailableForTesting(bool available);
void ResetMMXAvailableForTesting();

bool IsWinNT();
bool IsWin2K();   // Windows 2000 or later
bool IsWinXP();   // Windows XP or later

// The longest beginning of s (never all of it) that fits with "..." into
// width pixels in dc's font, followed by "...". Empty when s is empty, width
// is 0 or less, or width is not larger than the ellipsis (ellipsisWidth 0:
// measured from "..."). A surrogate pair is never cut.
std::wstring ShortenString(HDC dc, const std::wstring& s, int width, int ellipsisWidth = 0);
std::string ShortenString(HDC dc, const std::string& s, int width, int ellipsisWidth = 0);

// The rows of the 32-bit DIB section selected into dc: the top row's address
// and the distance from one row to the next (negative for a bottom-up
// section). False when dc holds no 32-bit DIB section.
bool DIBRows(HDC dc, std::uint8_t*& first, std::ptrdiff_t& stride, int& width, int& height);

// How AlphaBlend weighs the source against the destination.
enum TBlendMode {
    bmConstantAlpha,          // one weight for every pixel: constantAlpha
    bmPerPixelAlpha,          // each source pixel's own alpha byte
    bmMasterAlpha,            // the source pixel's alpha scaled by constantAlpha
    bmConstantAlphaAndColor,  // the source is not read: the colour given as bias
};

// Blends rectangle r of the bitmap selected into source onto the bitmap
// selected into destination, its top left corner at target (both in the
// contexts' logical coordinates). Both must hold 32-bit bitmaps: a context
// without a bitmap fails the assertion "Alpha blending DC error: no bitmap
// available.", another depth "Alpha blending error: bitmap must use 32 bpp.".
// Per colour channel (blue, green, red; the destination's fourth byte is
// kept), results limited to 0..255, divisions by 256 rounding down:
//   bmConstantAlpha   d + (s - d) * constantAlpha / 256 + bias
//   bmPerPixelAlpha   d + (s - d) * sourceAlpha / 256 + bias
//   bmMasterAlpha     d + (s - d) * (sourceAlpha * constantAlpha / 256) / 256 + bias
//   bmConstantAlphaAndColor  (d * (256 - constantAlpha) + c * constantAlpha) / 256,
//                     c the channel of the COLORREF given as bias
// constantAlpha is taken within 0..256. An empty rectangle does nothing; the
// parts outside either bitmap are left out.
void AlphaBlend(HDC source, HDC destination, const RECT& r, POINT target, TBlendMode mode,
                int constantAlpha, int bias);

// Text drawing for systems that cannot draw wide text themselves. Supports
// DT_SINGLELINE, DT_CENTER, DT_RIGHT, DT_VCENTER (single line), DT_NOCLIP,
// DT_RTLREADING and DT_CALCRECT. Lines break at LF, CR and U+2028 (CR LF is
// one break), never inside a line. Drawing stops at the first line that
// would start at or below r's bottom. With DT_CALCRECT nothing is drawn: r's
// bottom becomes the end of the last line and its right the left plus the
// widest line. Returns the height of the text.
int DrawTextNonNT(HDC dc, std::string_view text, RECT& r, UINT format);

// --- Process-wide resources --------------------------------------------

// Cursor number of the header's split cursor (see RegisterScreenCursor).
constexpr int crHeaderSplit = 63;

// The clipboard format of a same-process reference to a tree ("Sorvel
// Reference"); 0 before InitializeGlobalStructures.
extern UINT CF_VTREFERENCE;
// The clipboard format of the trees' own node data ("Sorvel Data") as the
// list of tree formats holds it; 0 when the list has none.
UINT NativeClipboardFormat();

// Sets the platform flags, initializes OLE, registers the reference format
// and the trees' clipboard formats, loads the check and utility images,
// makes the system check images, loads the split cursor. Done once; later
// calls return at once. The first tree calls it.
void InitializeGlobalStructures();
// Frees the images, uninitializes OLE when the start-up initialized it (on
// the same thread). Runs at the end of the process; tests may call it.
void FinalizeGlobalStructures();

// The 1 ms multimedia timer resolution is asked for while at least one tree
// exists: every tree takes a reference when made and gives it back when
// freed.
void AcquireTimerResolution();
void ReleaseTimerResolution();
// Number of references held now.
int TimerResolutionReferences();

// The layout of every check image list (16 x 16 pictures, built-in and
// system ones alike): 0 empty; 1-4 radio button unticked, 5-8 radio button
// ticked, 9-12 check box unticked, 13-16 check box ticked, 17-20 check box
// mixed, 21-24 button; each group of four normal, hot, pressed, disabled.
constexpr int ckEmpty = 0;
constexpr int ckRadioUnchecked = 1;
constexpr int ckRadioChecked = 5;
constexpr int ckCheckUnchecked = 9;
constexpr int ckCheckChecked = 13;
constexpr int ckCheckMixed = 17;
constexpr int ckButton = 21;
constexpr int ckCheckImageCount = 25;

// The shared check images for a check image kind (values of TCheckImageKind:
// 0 light check, 1 dark check, 2 light tick, 3 dark tick, 4 flat, 5 XP,
// 7 system, 8 system flat); nullptr for 6 (custom) and anything else.
// Starts the shared resources when needed.
TCustomImageList* CheckImages(int kind);

// The shared utility images (16 x 16): 0 drop mark left, 1 drop mark right,
// 2 sort descending, 3 sort ascending, 4 themed descending, 5 themed
// ascending, 6 XP hot bar left cap, 7 XP hot bar middle (16 pixels), 8 XP hot
// bar right cap (the bar is the bottom three rows of 6 to 8).
TCustomImageList& UtilityImages();

// Loads the named bitmap resource into images, cut into square pieces of the
// bitmap's height, with the colour of the bitmap's top-left pixel as mask
// colour. With remapColors white becomes the window colour, RGB(192,192,192)
// button face and RGB(128,128,128) button shadow. A missing or empty bitmap
// fails the assertion "Internal image "NAME" is missing or corrupt.". Under
// the process-wide lock.
void LoadBuiltInImages(TCustomImageList& images, const std::string& name, bool remapColors);
