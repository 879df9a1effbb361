// Temporary stand-ins for the worker thread until its own file (VTWorker.cpp)
// defines these functions. Whoever defines one of them deletes its stand-in here.
#include "Lib2/VirtualTree/VirtualTrees.h"

void WorkerAddThreadReference() {}
void WorkerReleaseThreadReference(TBaseVirtualTree*) {}
void WorkerAddTree(TBaseVirtualTree*) {}
void WorkerRemoveTree(TBaseVirtualTree*) {}
bool WorkerIsValidating(const TBaseVirtualTree*) { return false; }
bool WorkerRunning() { return false; }
