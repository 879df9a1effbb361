// The pictures of the program's actions: one 16 x 16 picture each, drawn at
// build time into the bitmap resource "ACTIONIMAGES" in this order.
#pragma once

class TCustomImageList;

enum TActionImage {
    aiRefresh, aiAddFolder, aiEditFolder, aiDeleteFolder, aiService, aiStopService, aiRestartService,
    aiStartupType, aiStartAuto, aiStartManual, aiStartDisabled, aiUpdateDatabase, aiCheckUpdate,
    aiHideInactive, aiOptions, aiColumns, aiCopy, aiAutoUpdate, aiExit, aiAbout, aiHelp,
    aiLangEn, aiLangRu, aiLangUa, aiCpuUsage, aiWebLink, aiAddLine, aiDeleteLine, aiSave, aiCancel,
    aiCount
};

// Adds every picture to a list of 16 x 16 images; the index of the first
// (picture p is first + p), -1 when the resource could not be used.
int AddActionImages(TCustomImageList& list);
