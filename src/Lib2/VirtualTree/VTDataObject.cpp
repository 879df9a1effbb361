// The data object, its format enumerator, the live-tree list and the readers
// of node data and tree references that came from outside the tree.
#include "Lib2/VirtualTree/VTDataObject.h"

#include "Lib2/VirtualTree/VTDragManager.h"
#include "Lib2/VirtualTree/VTExport.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/Firewall.h"
#include "platform/Stream.h"

// ---------------------------------------------------------------------------
// Live trees

namespace {

struct TLiveTrees {
    std::mutex lock;
    std::unordered_map<const void*, uint64_t> serials;
    uint64_t nextSerial = 1;
};

TLiveTrees& LiveTrees()
{
    static TLiveTrees* trees = new TLiveTrees; // lives as long as the process
    return *trees;
}

} // namespace

TVTLiveTreeEntry::TVTLiveTreeEntry(const TBaseVirtualTree* tree, IVTDragManager** dragManager)
    : tree_(tree), dragManager_(dragManager)
{
    TLiveTrees& live = LiveTrees();
    std::lock_guard<std::mutex> guard(live.lock);
    live.serials[tree_] = live.nextSerial++;
}

TVTLiveTreeEntry::~TVTLiveTreeEntry()
{
    {
        TLiveTrees& live = LiveTrees();
        std::lock_guard<std::mutex> guard(live.lock);
        live.serials.erase(tree_);
    }
    // A drag manager still referenced by OLE checks the list before it calls
    // the tree, so it may outlive it.
    if (dragManager_ && *dragManager_) {
        IVTDragManager* manager = *dragManager_;
        *dragManager_ = nullptr;
        Guarded([&] { manager->Release(); });
    }
}

uint64_t VTLiveTreeSerial(const void* tree)
{
    if (!tree)
        return 0;
    TLiveTrees& live = LiveTrees();
    std::lock_guard<std::mutex> guard(live.lock);
    auto it = live.serials.find(tree);
    return it == live.serials.end() ? 0 : it->second;
}

bool VTIsLiveTree(const void* tree) { return VTLiveTreeSerial(tree) != 0; }

TBaseVirtualTree* VTLiveTreeFromAddress(uint32_t address)
{
    TLiveTrees& live = LiveTrees();
    std::lock_guard<std::mutex> guard(live.lock);
    for (const auto& entry : live.serials)
        if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry.first)) == address)
            return const_cast<TBaseVirtualTree*>(static_cast<const TBaseVirtualTree*>(entry.first));
    return nullptr;
}

// ---------------------------------------------------------------------------
// Same-process reference

HGLOBAL VTMakeReferenceBlock(const TBaseVirtualTree* tree)
{
    HGLOBAL block = GlobalAlloc(GHND | GMEM_SHARE, 8);
    if (!block)
        return nullptr;
    auto* p = static_cast<uint32_t*>(GlobalLock(block));
    if (!p) {
        GlobalFree(block);
        return nullptr;
    }
    p[0] = GetCurrentProcessId();
    p[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tree));
    GlobalUnlock(block);
    return block;
}

TBaseVirtualTree* VTTreeFromReferenceBlock(HGLOBAL block)
{
    if (!block || GlobalSize(block) < 8)
        return nullptr;
    const auto* p = static_cast<const uint32_t*>(GlobalLock(block));
    if (!p)
        return nullptr;
    const uint32_t processId = p[0];
    const uint32_t address = p[1];
    GlobalUnlock(block);
    // Any process can write our id: the address must also be a tree that lives.
    if (processId != GetCurrentProcessId())
        return nullptr;
    return VTLiveTreeFromAddress(address);
}

TBaseVirtualTree* VTTreeFromDataObject(IDataObject* dataObject)
{
    if (!dataObject || !CF_VTREFERENCE)
        return nullptr;
    FORMATETC format{static_cast<CLIPFORMAT>(CF_VTREFERENCE), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(dataObject->GetData(&format, &medium)))
        return nullptr;
    TBaseVirtualTree* tree = nullptr;
    if (medium.tymed == TYMED_HGLOBAL)
        tree = VTTreeFromReferenceBlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return tree;
}

// ---------------------------------------------------------------------------
// Native node data

HGLOBAL VTMakeNativeBlock(const std::vector<uint8_t>& bytes)
{
    if (bytes.empty() || bytes.size() > 0x7FFFFFFBu)
        return nullptr;
    HGLOBAL block = GlobalAlloc(GHND | GMEM_SHARE, bytes.size() + 4);
    if (!block)
        return nullptr;
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    if (!p) {
        GlobalFree(block);
        return nullptr;
    }
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    std::memcpy(p, &length, 4);
    std::memcpy(p + 4, bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

bool VTReadNativeBlock(HGLOBAL block, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (!block)
        return false;
    const SIZE_T size = GlobalSize(block);
    if (size < 4)
        return false;
    const auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    if (!p)
        return false;
    int32_t length = 0;
    std::memcpy(&length, p, 4);
    const bool valid = length >= 0 && static_cast<SIZE_T>(length) <= size - 4;
    if (valid)
        bytes.assign(p + 4, p + 4 + length);
    GlobalUnlock(block);
    return valid;
}

namespace {

// Reads a stream medium from its current position to its end, at most `limit` bytes.
bool ReadStreamMedium(IStream* stream, std::vector<uint8_t>& bytes, size_t limit)
{
    bytes.clear();
    uint8_t buffer[4096];
    for (;;) {
        ULONG read = 0;
        HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
        if (FAILED(hr))
            return false;
        if (read == 0)
            return true;
        if (bytes.size() + read > limit)
            return false;
        bytes.insert(bytes.end(), buffer, buffer + read);
    }
}

} // namespace

bool VTReadNativeData(IDataObject* dataObject, CLIPFORMAT format, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (!dataObject || !format)
        return false;
    FORMATETC request{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM};
    STGMEDIUM medium{};
    if (FAILED(dataObject->GetData(&request, &medium)))
        return false;
    bool ok = false;
    if (medium.tymed == TYMED_HGLOBAL)
        ok = VTReadNativeBlock(medium.hGlobal, bytes);
    else if (medium.tymed == TYMED_ISTREAM && medium.pstm)
        ok = ReadStreamMedium(medium.pstm, bytes, 0x7FFFFFFB);
    ReleaseStgMedium(&medium);
    if (!ok)
        bytes.clear();
    return ok;
}

// ---------------------------------------------------------------------------
// Format enumerator

TEnumFormatEtc::TEnumFormatEtc(std::vector<FORMATETC> formats, size_t index)
    : formats_(std::move(formats)), index_(index)
{
}

HRESULT STDMETHODCALLTYPE TEnumFormatEtc::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumFORMATETC)) {
        *object = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TEnumFormatEtc::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE TEnumFormatEtc::Release()
{
    const LONG count = --refCount_;
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE TEnumFormatEtc::Next(ULONG count, FORMATETC* elements, ULONG* fetched)
{
    if (!elements || (count > 1 && !fetched))
        return E_POINTER;
    ULONG n = 0;
    while (n < count && index_ < formats_.size()) {
        FORMATETC& element = elements[n++];
        element = formats_[index_++];
        // The caller frees a target device (CoTaskMemFree): it gets its own copy.
        if (const DVTARGETDEVICE* device = element.ptd) {
            element.ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(device->tdSize));
            if (element.ptd)
                std::memcpy(element.ptd, device, device->tdSize);
        }
    }
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TEnumFormatEtc::Skip(ULONG count)
{
    if (index_ + count <= formats_.size()) {
        index_ += count;
        return S_OK;
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE TEnumFormatEtc::Reset()
{
    index_ = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TEnumFormatEtc::Clone(IEnumFORMATETC** enumerator)
{
    if (!enumerator)
        return E_POINTER;
    try {
        *enumerator = new TEnumFormatEtc(formats_, index_);
        return S_OK;
    } catch (...) {
        *enumerator = nullptr;
        HandleCurrentException();
        return E_OUTOFMEMORY;
    }
}

// ---------------------------------------------------------------------------
// Data object

TVTDataObject::TVTDataObject(TBaseVirtualTree* owner, bool forClipboard)
    : owner_(owner), ownerSerial_(VTLiveTreeSerial(owner)), forClipboard_(forClipboard)
{
    if (owner_)
        owner_->GetNativeClipboardFormats(formats_);
    // The same-process reference, last.
    if (CF_VTREFERENCE)
        formats_.push_back({static_cast<CLIPFORMAT>(CF_VTREFERENCE), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
}

TVTDataObject::~TVTDataObject()
{
    Guarded([&] {
        // Whatever the clipboard held is gone: the tree's pending cut or copy
        // ends, unless the tree is flushing the clipboard itself.
        TBaseVirtualTree* owner = Owner();
        if (owner && forClipboard_)
            owner->ClipboardObjectReleased(this);
    });
    for (TStoredMedium& stored : media_)
        ReleaseStgMedium(&stored.Medium);
    if (adviseHolder_)
        adviseHolder_->Release();
}

TBaseVirtualTree* TVTDataObject::Owner() const
{
    return ownerSerial_ != 0 && VTLiveTreeSerial(owner_) == ownerSerial_ ? owner_ : nullptr;
}

HRESULT STDMETHODCALLTYPE TVTDataObject::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TVTDataObject::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE TVTDataObject::Release()
{
    const LONG count = --refCount_;
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE TVTDataObject::GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium)
{
    try {
        return GetDataUnguarded(formatEtcIn, medium);
    } catch (...) {
        HandleCurrentException();
        return E_UNEXPECTED;
    }
}

namespace {
HRESULT CopyFileName(LPOLESTR source, LPOLESTR& target);
}

HRESULT TVTDataObject::GetDataUnguarded(FORMATETC* formatEtcIn, STGMEDIUM* medium)
{
    if (!formatEtcIn || !medium)
        return E_INVALIDARG;
    *medium = STGMEDIUM{};
    TBaseVirtualTree* owner = Owner();
    if (CF_VTREFERENCE && formatEtcIn->cfFormat == CF_VTREFERENCE) {
        // A flushed clipboard outlives the tree: no reference goes there.
        if (!owner || owner->HasState(tsClipboardFlushing) || !(formatEtcIn->tymed & TYMED_HGLOBAL))
            return E_FAIL;
        HGLOBAL block = VTMakeReferenceBlock(owner);
        if (!block)
            return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }
    HRESULT hr = QueryGetData(formatEtcIn);
    if (FAILED(hr))
        return hr;
    for (const TStoredMedium& stored : media_)
        if (stored.Format.cfFormat == formatEtcIn->cfFormat && (stored.Medium.tymed & formatEtcIn->tymed)) {
            // Handed out shared: the receiver's release comes back to us.
            *medium = stored.Medium;
            // (Its release frees a file name: it gets a name of its own.)
            if (medium->tymed == TYMED_FILE && FAILED(CopyFileName(stored.Medium.lpszFileName, medium->lpszFileName))) {
                *medium = STGMEDIUM{};
                return E_OUTOFMEMORY;
            }
            if (medium->tymed == TYMED_ISTREAM && medium->pstm)
                medium->pstm->AddRef();
            else if (medium->tymed == TYMED_ISTORAGE && medium->pstg)
                medium->pstg->AddRef();
            medium->pUnkForRelease = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
    if (!owner)
        return E_FAIL;
    // The application's rendering first, then the tree's own formats.
    hr = owner->DoRenderOLEData(*formatEtcIn, *medium, forClipboard_);
    if (SUCCEEDED(hr))
        return hr;
    *medium = STGMEDIUM{};
    return owner->RenderOwnOLEData(*formatEtcIn, *medium, forClipboard_);
}

HRESULT STDMETHODCALLTYPE TVTDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TVTDataObject::QueryGetData(FORMATETC* formatEtc)
{
    if (!formatEtc)
        return E_INVALIDARG;
    HRESULT result = DV_E_FORMATETC;
    for (const FORMATETC& offered : formats_) {
        if (offered.cfFormat != formatEtc->cfFormat)
            continue;
        if (!(offered.tymed & formatEtc->tymed))
            result = DV_E_TYMED;
        else if (offered.dwAspect != formatEtc->dwAspect)
            result = DV_E_DVASPECT;
        else if (offered.lindex != formatEtc->lindex)
            result = DV_E_LINDEX;
        else
            return S_OK;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE TVTDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* formatEtcOut)
{
    if (formatEtcOut)
        formatEtcOut->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT STDMETHODCALLTYPE TVTDataObject::SetData(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release)
{
    try {
        return SetDataUnguarded(formatEtc, medium, release);
    } catch (...) {
        HandleCurrentException();
        return E_UNEXPECTED;
    }
}

namespace {

// Named as the releaser of a medium whose file is not ours: releasing it
// frees the name and leaves the file (a medium without a releaser would
// delete the file). It has no state to count.
struct TKeepFile : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = iid == IID_IUnknown ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
TKeepFile g_keepFile;

// A file medium naming the same file, in a name of its own.
HRESULT CopyFileName(LPOLESTR source, LPOLESTR& target)
{
    if (!source)
        return E_INVALIDARG;
    const size_t bytes = (wcslen(source) + 1) * sizeof(wchar_t);
    target = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!target)
        return E_OUTOFMEMORY;
    std::memcpy(target, source, bytes);
    return S_OK;
}

// A copy of a medium the caller keeps; DV_E_TYMED for kinds we do not copy.
// Copied memory and names are ours to free; the caller's file, streams and
// storages are the caller's.
HRESULT CopyMedium(const STGMEDIUM& source, STGMEDIUM& target)
{
    target = STGMEDIUM{};
    switch (source.tymed) {
    case TYMED_HGLOBAL: {
        const SIZE_T size = GlobalSize(source.hGlobal);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, size ? size : 1);
        if (!copy)
            return E_OUTOFMEMORY;
        const void* from = GlobalLock(source.hGlobal);
        void* to = GlobalLock(copy);
        if (!from || !to) {
            if (from)
                GlobalUnlock(source.hGlobal);
            if (to)
                GlobalUnlock(copy);
            GlobalFree(copy);
            return E_INVALIDARG;
        }
        std::memcpy(to, from, size);
        GlobalUnlock(copy);
        GlobalUnlock(source.hGlobal);
        target.hGlobal = copy;
        break;
    }
    case TYMED_FILE: {
        const HRESULT hr = CopyFileName(source.lpszFileName, target.lpszFileName);
        if (FAILED(hr))
            return hr;
        target.tymed = TYMED_FILE;
        target.pUnkForRelease = &g_keepFile;
        return S_OK;
    }
    case TYMED_ISTREAM:
        if (!source.pstm)
            return E_INVALIDARG;
        target.pstm = source.pstm;
        target.pstm->AddRef();
        break;
    case TYMED_ISTORAGE:
        if (!source.pstg)
            return E_INVALIDARG;
        target.pstg = source.pstg;
        target.pstg->AddRef();
        break;
    default: // bitmaps, metafiles, enhanced metafiles
        return DV_E_TYMED;
    }
    target.tymed = source.tymed;
    // A copied block is ours alone; a shared stream or storage keeps the
    // caller's releaser beside our reference.
    if (source.tymed != TYMED_HGLOBAL && source.pUnkForRelease) {
        target.pUnkForRelease = source.pUnkForRelease;
        target.pUnkForRelease->AddRef();
    }
    return S_OK;
}

} // namespace

HRESULT TVTDataObject::SetDataUnguarded(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release)
{
    if (!formatEtc || !medium)
        return E_INVALIDARG;
    STGMEDIUM kept{};
    if (release)
        kept = *medium;
    else {
        HRESULT hr = CopyMedium(*medium, kept);
        if (FAILED(hr))
            return hr;
    }
    bool offered = false;
    for (const FORMATETC& f : formats_)
        if (f.cfFormat == formatEtc->cfFormat && f.dwAspect == formatEtc->dwAspect && f.lindex == formatEtc->lindex) {
            offered = true;
            break;
        }
    if (!offered) {
        FORMATETC added = *formatEtc;
        added.ptd = nullptr; // the caller's target device is not ours to keep
        added.tymed = kept.tymed;
        formats_.push_back(added);
    }
    bool replaced = false;
    for (TStoredMedium& stored : media_)
        if (stored.Format.cfFormat == formatEtc->cfFormat) {
            ReleaseStgMedium(&stored.Medium);
            stored.Medium = kept;
            replaced = true;
            break;
        }
    if (!replaced) {
        FORMATETC format = *formatEtc;
        format.ptd = nullptr;
        media_.push_back({format, kept});
    }
    if (adviseHolder_)
        adviseHolder_->SendOnDataChange(this, 0, 0);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TVTDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc)
{
    if (!enumFormatEtc)
        return E_INVALIDARG;
    *enumFormatEtc = nullptr;
    if (direction != DATADIR_GET)
        return OLE_S_USEREG;
    try {
        *enumFormatEtc = new TEnumFormatEtc(formats_);
        return S_OK;
    } catch (...) {
        HandleCurrentException();
        return E_UNEXPECTED;
    }
}

HRESULT STDMETHODCALLTYPE TVTDataObject::DAdvise(FORMATETC* formatEtc, DWORD advf, IAdviseSink* sink,
                                                 DWORD* connection)
{
    if (!adviseHolder_) {
        HRESULT hr = CreateDataAdviseHolder(&adviseHolder_);
        if (FAILED(hr))
            return hr;
    }
    return adviseHolder_->Advise(this, formatEtc, advf, sink, connection);
}

HRESULT STDMETHODCALLTYPE TVTDataObject::DUnadvise(DWORD connection)
{
    if (!adviseHolder_)
        return E_NOTIMPL;
    return adviseHolder_->Unadvise(connection);
}

HRESULT STDMETHODCALLTYPE TVTDataObject::EnumDAdvise(IEnumSTATDATA** enumAdvise)
{
    if (!adviseHolder_)
        return OLE_E_ADVISENOTSUPPORTED;
    return adviseHolder_->EnumAdvise(enumAdvise);
}

// ---------------------------------------------------------------------------
// The tree's side of the data object

void TBaseVirtualTree::GetNativeClipboardFormats(std::vector<FORMATETC>& formats)
{
    const TStringList* allowed = ClipboardFormats().Count() > 0 ? &ClipboardFormats().Strings() : nullptr;
    for (const TClipboardFormatEntry* entry : TClipboardFormatList::EnumerateFormats(this, allowed))
        formats.push_back(entry->FormatEtc);
    DoGetUserClipboardFormats(formats);
}

HRESULT TBaseVirtualTree::RenderOwnOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard)
{
    const bool outer = renderingOwnFormats_;
    renderingOwnFormats_ = true;
    TVTOnExit restore{[this, outer] { renderingOwnFormats_ = outer; }};
    return RenderOLEData(formatEtcIn, medium, forClipboard);
}

HRESULT TBaseVirtualTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard)
{
    const UINT native = NativeClipboardFormat();
    if (!native || formatEtcIn.cfFormat != native ||
        !(formatEtcIn.tymed & (TYMED_HGLOBAL | TYMED_ISTREAM)))
        return renderingOwnFormats_ ? DV_E_FORMATETC : DoRenderOLEData(formatEtcIn, medium, forClipboard);

    // For the clipboard the cut/copy set while a clipboard operation is
    // pending, else (and always for a drag) the selection.
    const bool pending = forClipboard && HasState(tsCutPending | tsCopyPending);
    TNodeArray nodes = pending ? SortedCutCopySet(true) : SortedSelection(true);
    TMemoryStream stream;
    for (PVirtualNode node : nodes)
        WriteNode(stream, node);
    const std::vector<uint8_t>& bytes = stream.Bytes();
    if (bytes.empty())
        return E_FAIL;
    if (formatEtcIn.tymed & TYMED_HGLOBAL) {
        HGLOBAL block = VTMakeNativeBlock(bytes);
        if (!block)
            return E_OUTOFMEMORY;
        medium = STGMEDIUM{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block;
        return S_OK;
    }
    IStream* target = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &target);
    if (FAILED(hr))
        return hr;
    ULONG written = 0;
    hr = target->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(hr) || written != bytes.size()) {
        target->Release();
        return FAILED(hr) ? hr : STG_E_MEDIUMFULL;
    }
    LARGE_INTEGER zero{};
    target->Seek(zero, STREAM_SEEK_SET, nullptr);
    medium = STGMEDIUM{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = target;
    return S_OK;
}

TBaseVirtualTree* TBaseVirtualTree::GetTreeFromDataObject(IDataObject* dataObject)
{
    return VTTreeFromDataObject(dataObject);
}

HRESULT TCustomVirtualStringTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard)
{
    if (formatEtcIn.tymed & TYMED_HGLOBAL) {
        // As for the nodes: what a pending cut or copy marked goes to the clipboard.
        const TVSTTextSourceType source =
            forClipboard && HasState(tsCutPending | tsCopyPending) ? tstCutCopySet : tstSelected;
        if (HGLOBAL block = ContentToClipboard(*this, formatEtcIn.cfFormat, source)) {
            medium = STGMEDIUM{};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = block;
            return S_OK;
        }
    }
    return TBaseVirtualTree::RenderOLEData(formatEtcIn, medium, forClipboard);
}
