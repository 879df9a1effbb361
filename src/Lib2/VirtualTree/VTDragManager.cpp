// The drag manager: forwards OLE's drop-target calls to its tree (with the
// shell's drag image service) and answers the drop source's questions.
#include "Lib2/VirtualTree/VTDragManager.h"

#include "Lib2/VirtualTree/VTDataObject.h"
#include "platform/Firewall.h"

// {8F5C2E61-3D0B-4C1E-9A47-6B2D0E7A1C53}
const IID IID_IVTDragManager = {0x8f5c2e61, 0x3d0b, 0x4c1e, {0x9a, 0x47, 0x6b, 0x2d, 0x0e, 0x7a, 0x1c, 0x53}};

namespace {

// The shell's drag image service ({4657278A-411B-11D2-839A-00C04FD918D0}).
const CLSID kDragDropHelper = {0x4657278a, 0x411b, 0x11d2, {0x83, 0x9a, 0x00, 0xc0, 0x4f, 0xd9, 0x18, 0xd0}};
const IID kDropTargetHelper = {0x4657278b, 0x411b, 0x11d2, {0x83, 0x9a, 0x00, 0xc0, 0x4f, 0xd9, 0x18, 0xd0}};

// COM methods end here: an error goes to the application's handler.
template <class F>
HRESULT ComGuard(F&& f) noexcept
{
    try {
        return f();
    } catch (...) {
        HandleCurrentException();
        return E_UNEXPECTED;
    }
}

POINT ToPoint(POINTL p) { return POINT{static_cast<LONG>(p.x), static_cast<LONG>(p.y)}; }

} // namespace

TVTDragManager::TVTDragManager(TBaseVirtualTree* owner) : owner_(owner), ownerSerial_(VTLiveTreeSerial(owner))
{
    void* helper = nullptr;
    if (SUCCEEDED(CoCreateInstance(kDragDropHelper, nullptr, CLSCTX_INPROC_SERVER, kDropTargetHelper, &helper)))
        dropTargetHelper_ = static_cast<IDropTargetHelper*>(helper);
}

TVTDragManager::~TVTDragManager()
{
    if (dataObject_)
        dataObject_->Release();
    if (dropTargetHelper_)
        dropTargetHelper_->Release();
}

TBaseVirtualTree* TVTDragManager::Owner() const
{
    return ownerSerial_ != 0 && VTLiveTreeSerial(owner_) == ownerSerial_ ? owner_ : nullptr;
}

HRESULT STDMETHODCALLTYPE TVTDragManager::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVTDragManager))
        *object = static_cast<IVTDragManager*>(this);
    else if (IsEqualIID(riid, IID_IDropTarget))
        *object = static_cast<IDropTarget*>(this);
    else if (IsEqualIID(riid, IID_IDropSource))
        *object = static_cast<IDropSource*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE TVTDragManager::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE TVTDragManager::Release()
{
    const LONG count = --refCount_;
    if (count == 0)
        delete this;
    return count;
}

void STDMETHODCALLTYPE TVTDragManager::ForceDragLeave()
{
    if (dropTargetHelper_)
        dropTargetHelper_->DragLeave();
}

IDataObject* STDMETHODCALLTYPE TVTDragManager::GetDataObject()
{
    try {
        if (dataObject_) {
            dataObject_->AddRef();
            return dataObject_;
        }
        TBaseVirtualTree* owner = Owner();
        if (!owner)
            return nullptr;
        IDataObject* result = owner->DoCreateDataObject();
        if (!result)
            result = new TVTDataObject(owner, false);
        return result;
    } catch (...) {
        HandleCurrentException();
        return nullptr;
    }
}

TBaseVirtualTree* STDMETHODCALLTYPE TVTDragManager::GetDragSource()
{
    // The source may have gone while its data still lies over us.
    return dragSource_ && VTIsLiveTree(dragSource_) ? dragSource_ : nullptr;
}

BOOL STDMETHODCALLTYPE TVTDragManager::GetDropTargetHelperSupported() { return dropTargetHelper_ != nullptr; }

BOOL STDMETHODCALLTYPE TVTDragManager::GetIsDropTarget() { return isDropTarget_; }

void TVTDragManager::ClearDropState()
{
    dragSource_ = nullptr;
    isDropTarget_ = false;
    if (dataObject_) {
        dataObject_->Release();
        dataObject_ = nullptr;
    }
}

HRESULT STDMETHODCALLTYPE TVTDragManager::DragEnter(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect)
{
    return ComGuard([&]() -> HRESULT {
        if (!effect)
            return E_INVALIDARG;
        TBaseVirtualTree* owner = Owner();
        if (!owner) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        BOOL full = FALSE;
        SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
        fullDragging_ = full != FALSE;
        if (!fullDragging_)
            LockWindowUpdate(nullptr);
        ClearDropState();
        dataObject_ = dataObject;
        if (dataObject_)
            dataObject_->AddRef();
        isDropTarget_ = true;
        POINT p = ToPoint(pt);
        if (dropTargetHelper_ && fullDragging_)
            dropTargetHelper_->DragEnter(owner->Handle(), dataObject, &p, *effect);
        dragSource_ = owner->GetTreeFromDataObject(dataObject);
        return owner->DragEnter(keyState, p, *effect);
    });
}

HRESULT STDMETHODCALLTYPE TVTDragManager::DragOver(DWORD keyState, POINTL pt, DWORD* effect)
{
    return ComGuard([&]() -> HRESULT {
        if (!effect)
            return E_INVALIDARG;
        POINT p = ToPoint(pt);
        if (dropTargetHelper_ && fullDragging_)
            dropTargetHelper_->DragOver(&p, *effect);
        TBaseVirtualTree* owner = Owner();
        if (!owner) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        return owner->DragOver(GetDragSource(), keyState, dsDragMove, p, *effect);
    });
}

HRESULT STDMETHODCALLTYPE TVTDragManager::DragLeave()
{
    const HRESULT result = ComGuard([&]() -> HRESULT {
        if (dropTargetHelper_ && fullDragging_)
            dropTargetHelper_->DragLeave();
        if (TBaseVirtualTree* owner = Owner())
            owner->DragLeave();
        return S_OK;
    });
    // The drag is over for us whatever the tree did.
    ClearDropState();
    return result;
}

HRESULT STDMETHODCALLTYPE TVTDragManager::Drop(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect)
{
    const HRESULT result = ComGuard([&]() -> HRESULT {
        if (!effect)
            return E_INVALIDARG;
        POINT p = ToPoint(pt);
        if (dropTargetHelper_ && fullDragging_)
            dropTargetHelper_->Drop(dataObject, &p, *effect);
        if (TBaseVirtualTree* owner = Owner())
            return owner->DragDrop(dataObject, keyState, p, *effect);
        *effect = DROPEFFECT_NONE;
        return S_OK;
    });
    ClearDropState();
    return result;
}

HRESULT STDMETHODCALLTYPE TVTDragManager::QueryContinueDrag(BOOL escapePressed, DWORD keyState)
{
    if (escapePressed || (keyState & (MK_LBUTTON | MK_RBUTTON)) == (MK_LBUTTON | MK_RBUTTON))
        return DRAGDROP_S_CANCEL;
    if (keyState & (MK_LBUTTON | MK_RBUTTON))
        return S_OK;
    return DRAGDROP_S_DROP;
}

HRESULT STDMETHODCALLTYPE TVTDragManager::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

// ---------------------------------------------------------------------------
// The tree's side: the manager on first use.

IVTDragManager* TBaseVirtualTree::DragManager()
{
    if (!dragManager_) {
        dragManager_ = DoCreateDragManager();
        if (!dragManager_)
            dragManager_ = new TVTDragManager(this);
    }
    return dragManager_;
}
