#include "platform/ColorDialog.h"

#include <commdlg.h>

#include <string>

#include "platform/Exceptions.h"

DWORD TColorDialog::OptionFlags(TColorDialogOptions options)
{
    DWORD flags = CC_RGBINIT;
    if (options & cdFullOpen)
        flags |= CC_FULLOPEN;
    if (options & cdPreventFullOpen)
        flags |= CC_PREVENTFULLOPEN;
    if (options & cdSolidColor)
        flags |= CC_SOLIDCOLOR;
    if (options & cdAnyColor)
        flags |= CC_ANYCOLOR;
    return flags;
}

bool TColorDialog::Execute(HWND owner)
{
    if (!owner)
        owner = GetActiveWindow();
    std::array<COLORREF, 16> custom = CustomColors;
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = owner;
    cc.rgbResult = Color;
    cc.lpCustColors = custom.data();
    cc.Flags = OptionFlags(Options);
    if (ChooseColorW(&cc)) {
        Color = cc.rgbResult;
        CustomColors = custom;
        return true;
    }
    DWORD error = CommDlgExtendedError();
    if (error != 0)
        throw Exception("The colour dialog failed (error " + std::to_string(error) + ")");
    return false;
}
