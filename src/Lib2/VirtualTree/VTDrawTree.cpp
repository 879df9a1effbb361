// The owner-draw tree: the application paints every cell and tells the
// tree how wide a node is. Its node hints are sized and drawn in
// VTHintWindow.cpp.
#include "Lib2/VirtualTree/VirtualTrees.h"

void TCustomVirtualDrawTree::DoPaintNode(TVTPaintInfo& paintInfo)
{
    if (OnDrawNode && paintInfo.Canvas)
        OnDrawNode(this, paintInfo);
}

int TCustomVirtualDrawTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas)
{
    int width = 2 * TextMargin();
    if (OnGetNodeWidth && node && node != RootNode())
        OnGetNodeWidth(this, canvas ? canvas : &Canvas(), node, column, width);
    return width;
}
