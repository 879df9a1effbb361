// The translucent picture that follows the mouse while nodes or header
// columns are dragged. It is drawn straight onto the screen: the screen
// content under it is kept and put back when it moves or goes. With a data
// object the system's drag image service is asked first; when it takes the
// picture, this object draws nothing itself.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdint>

#include "platform/Graphics.h"

class TWinControl;

enum TVTDragMoveRestriction { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };

// State bits of a drag image.
enum TVTDragImageState : unsigned {
    disHidden = 1,          // hidden by HideDragImage
    disInDrag = 2,          // shown (ShowDragImage) and not ended yet
    disPrepared = 4,        // PrepareDrag made its own picture
    disSystemSupport = 8,   // the system's service draws the picture
};

class TVTDragImage {
public:
    explicit TVTDragImage(TWinControl* owner);
    ~TVTDragImage();
    TVTDragImage(const TVTDragImage&) = delete;
    TVTDragImage& operator=(const TVTDragImage&) = delete;

    TWinControl* Owner() const { return owner_; }
    // Constant alpha of the picture over the screen (128 for a new image).
    std::uint8_t Transparency() const { return transparency_; }
    void SetTransparency(std::uint8_t value) { transparency_ = value; }
    // Added to every colour channel when the picture is prepared (pre) or
    // blended onto the screen (post); -128 to 127.
    int PreBlendBias() const { return preBlendBias_; }
    void SetPreBlendBias(int value);
    int PostBlendBias() const { return postBlendBias_; }
    void SetPostBlendBias(int value);
    // Fade: the picture grows transparent towards its edges.
    bool Fade() const { return fade_; }
    void SetFade(bool value) { fade_ = value; }
    // Pixels of this colour are not drawn; CLR_NONE: no such colour.
    COLORREF ColorKey() const { return colorKey_; }
    void SetColorKey(COLORREF value) { colorKey_ = value; }
    TVTDragMoveRestriction MoveRestriction() const { return restriction_; }
    void SetMoveRestriction(TVTDragMoveRestriction value) { restriction_ = value; }

    // Takes the picture. imagePosition is its top left corner and hotSpot
    // the mouse position, both on the screen. With a data object the
    // system's drag image service is tried first. Without it the own
    // translucent picture is made only when the processor has MMX. True
    // when either was prepared.
    bool PrepareDrag(TBitmap& image, POINT imagePosition, POINT hotSpot, IDataObject* dataObject);
    // Keeps the screen under the picture and draws the picture.
    void ShowDragImage();
    // Puts the screen back; the picture stays prepared.
    void HideDragImage();
    // Follows the mouse (with the move restriction). True when the picture
    // moved; forceRepaint redraws it even when it did not.
    bool DragTo(POINT p, bool forceRepaint);
    // Hides the picture and frees its bitmaps.
    void EndDrag();
    // The picture's place on the screen (empty when none is prepared).
    RECT GetDragImageRect() const;
    // A window under the picture repainted part of the screen: the screen
    // inside screenRect becomes the new content under the picture, which is
    // then drawn again.
    void RecaptureBackground(const RECT& screenRect);
    // Whether DragTo(p) would move the picture.
    bool WillMove(POINT p) const;
    // Prepared and shown, not hidden, not drawn by the system's service.
    bool Visible() const;
    unsigned States() const { return states_; }
    POINT ImagePosition() const { return imagePosition_; }

    // The picture with its alpha channel, the screen under it and the last
    // composed frame (for tests; empty when not prepared).
    TBitmap& AlphaImage() { return alphaImage_; }
    TBitmap& Background() { return background_; }
    TBitmap& Composed() { return composed_; }

    // The alpha channel of a prepared picture: 255 * exp(-8 * d), d the
    // distance of the pixel's centre from the picture's centre divided by the
    // larger of width and height; 0 for pixels of the colour key.
    static void MakeAlphaChannel(TBitmap& image, COLORREF colorKey);

private:
    void Compose();
    void DrawToScreen(HDC screen, int x, int y);
    bool TrySystemService(TBitmap& image, POINT imagePosition, POINT hotSpot, IDataObject* dataObject);

    TWinControl* owner_;
    std::uint8_t transparency_ = 128;
    int preBlendBias_ = 0;
    int postBlendBias_ = 0;
    bool fade_ = false;
    COLORREF colorKey_ = CLR_NONE;
    TVTDragMoveRestriction restriction_ = dmrNone;
    unsigned states_ = 0;
    POINT imagePosition_ = {};
    POINT lastPosition_ = {};
    TBitmap alphaImage_;
    TBitmap background_;
    TBitmap composed_;
};
