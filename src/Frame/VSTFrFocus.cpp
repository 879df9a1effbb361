#include "Frame/VSTFr.h"

#include "platform/Canvas.h"

void TVSTFrame::ShowFocusOnFirstRow()
{
    // The tree repaints itself whole when it gets or loses the keyboard.
    VSTree->OnAfterItemPaint = [](TBaseVirtualTree* sender, TCanvas& canvas, PVirtualNode node, const RECT& rowRect) {
        if (sender->FocusedNode() || node != sender->GetFirstVisible() || !sender->Focused())
            return;
        canvas.DrawFocusRect(rowRect);
    };
}
