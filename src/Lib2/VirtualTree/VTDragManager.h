// The list control's drag manager: the OLE drop target and drop source of one
// tree, with the shell's drag image service when it can be had.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <atomic>
#include <cstdint>

#include "Lib2/VirtualTree/VirtualTrees.h"

extern const IID IID_IVTDragManager;

// What a tree asks of its drag manager besides the OLE interfaces.
struct IVTDragManager : public IUnknown {
    // Only the drag image service's DragLeave (the tree hides its image itself).
    virtual void STDMETHODCALLTYPE ForceDragLeave() = 0;
    // The data object being dragged, else a new one (OnCreateDataObject, else
    // the tree's own, not for the clipboard); a new reference.
    virtual IDataObject* STDMETHODCALLTYPE GetDataObject() = 0;
    // The tree of this process whose nodes are dragged over us (nil: none or foreign).
    virtual TBaseVirtualTree* STDMETHODCALLTYPE GetDragSource() = 0;
    virtual BOOL STDMETHODCALLTYPE GetDropTargetHelperSupported() = 0;
    virtual BOOL STDMETHODCALLTYPE GetIsDropTarget() = 0;
};

class TVTDragManager : public IVTDragManager, public IDropTarget, public IDropSource {
public:
    // Made with one reference, the creator's.
    explicit TVTDragManager(TBaseVirtualTree* owner);

    // IUnknown (shared by the three interfaces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IVTDragManager
    void STDMETHODCALLTYPE ForceDragLeave() override;
    IDataObject* STDMETHODCALLTYPE GetDataObject() override;
    TBaseVirtualTree* STDMETHODCALLTYPE GetDragSource() override;
    BOOL STDMETHODCALLTYPE GetDropTargetHelperSupported() override;
    BOOL STDMETHODCALLTYPE GetIsDropTarget() override;

    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;

    // IDropSource
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

    // The owner while it lives (nil once it went).
    TBaseVirtualTree* Owner() const;
    // Whether the system shows window contents while dragging (read at DragEnter).
    bool FullDragging() const { return fullDragging_; }

private:
    virtual ~TVTDragManager();
    void ClearDropState();

    std::atomic<LONG> refCount_{1};
    TBaseVirtualTree* owner_;
    uint64_t ownerSerial_;
    TBaseVirtualTree* dragSource_ = nullptr;
    bool isDropTarget_ = false;
    bool fullDragging_ = false;
    IDataObject* dataObject_ = nullptr;
    IDropTargetHelper* dropTargetHelper_ = nullptr;
};
