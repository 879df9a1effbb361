// Temporary stand-ins for the worker thread and the shared resources until
// their own files (VTWorker.cpp, VTResources.cpp) define them. Whoever
// defines one of these functions deletes its stand-in here.
#include "Lib2/VirtualTree/VirtualTrees.h"

void WorkerAddThreadReference() {}
void WorkerReleaseThreadReference(TBaseVirtualTree*) {}
void WorkerAddTree(TBaseVirtualTree*) {}
void WorkerRemoveTree(TBaseVirtualTree*) {}
bool WorkerIsValidating(const TBaseVirtualTree*) { return false; }
bool WorkerRunning() { return false; }

void VTStartupShared() {}
TCustomImageList* VTSharedCheckImages(TCheckImageKind) { return nullptr; }
