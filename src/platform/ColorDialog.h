// The system's colour dialog (ChooseColorW) as a component. With
// cdFullOpen it opens with the part for custom colours shown.
#pragma once
#include <windows.h>

#include <array>

#include "platform/Component.h"

enum TColorDialogOption : unsigned { cdFullOpen = 1, cdPreventFullOpen = 2, cdSolidColor = 4, cdAnyColor = 8 };
using TColorDialogOptions = unsigned;

class TColorDialog : public TComponent {
public:
    explicit TColorDialog(TComponent* owner) : TComponent(owner) { CustomColors.fill(RGB(255, 255, 255)); }

    // In: the colour shown first. Out: the chosen colour.
    COLORREF Color = RGB(0, 0, 0);
    TColorDialogOptions Options = 0;
    // The sixteen custom colours, kept between runs of this dialog.
    std::array<COLORREF, 16> CustomColors{};

    // Shows the dialog modally, owned by owner (nullptr: this thread's
    // active window). True when the user chose; a cancelled dialog changes
    // nothing; a failing one raises Exception.
    bool Execute(HWND owner = nullptr);

    // The CC_ flags for Options (CC_RGBINIT always).
    static DWORD OptionFlags(TColorDialogOptions options);
};
