// The list control's OLE data object and its format enumerator, the process's
// list of live trees and the readers of data that came from outside (the
// clipboard or a drop).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <atomic>
#include <cstdint>
#include <vector>

#include "Lib2/VirtualTree/VirtualTrees.h"

class TMemoryStream;

// ---------------------------------------------------------------------------
// Live trees: every tree is in the list from its construction to its
// destruction (TVTLiveTreeEntry). An address read from outside is only ever
// used when it is listed here.

bool VTIsLiveTree(const void* tree);
// A number given to the tree when it entered the list (0: not live). A tree
// created later at the same address gets another number.
uint64_t VTLiveTreeSerial(const void* tree);
// The tree whose 32-bit address this is, when it is live; else nil.
TBaseVirtualTree* VTLiveTreeFromAddress(uint32_t address);

// ---------------------------------------------------------------------------
// Same-process reference ("Sorvel Reference"): 8 bytes, the process id and
// the tree's address, both 32 bits.

// The block for a tree (nil when out of memory).
HGLOBAL VTMakeReferenceBlock(const TBaseVirtualTree* tree);
// The tree a reference block names: the process id must be ours and the
// address a live tree; anything else is foreign data (nil).
TBaseVirtualTree* VTTreeFromReferenceBlock(HGLOBAL block);
// The same read through a data object.
TBaseVirtualTree* VTTreeFromDataObject(IDataObject* dataObject);

// ---------------------------------------------------------------------------
// Native node data ("Sorvel Data") in global memory: a 32-bit length and
// that many bytes of node stream.

// The block for the bytes of a stream (flags 0x2042); nil when empty.
HGLOBAL VTMakeNativeBlock(const std::vector<uint8_t>& bytes);
// Reads an untrusted block: the length must be at least 0 and at most the
// block's size - 4. False (and nothing read) otherwise.
bool VTReadNativeBlock(HGLOBAL block, std::vector<uint8_t>& bytes);
// Asks a data object for a format as global memory and reads it as above;
// a stream medium is read to its end with the same bound.
bool VTReadNativeData(IDataObject* dataObject, CLIPFORMAT format, std::vector<uint8_t>& bytes);

// ---------------------------------------------------------------------------

// Walks a copy of a FORMATETC array.
class TEnumFormatEtc : public IEnumFORMATETC {
public:
    explicit TEnumFormatEtc(std::vector<FORMATETC> formats, size_t index = 0);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* elements, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** enumerator) override;

private:
    virtual ~TEnumFormatEtc() = default;
    std::atomic<LONG> refCount_{1};
    std::vector<FORMATETC> formats_;
    size_t index_;
};

// A tree's data for the clipboard or a drag. It offers the tree's formats
// (asked when it is made) and the same-process reference, renders them
// through the tree on request and keeps media given to it by SetData.
// Made with one reference, the creator's.
class TVTDataObject : public IDataObject {
public:
    TVTDataObject(TBaseVirtualTree* owner, bool forClipboard);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* formatEtc, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* formatEtc) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatEtcIn, FORMATETC* formatEtcOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* formatEtc, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumAdvise) override;

    // The owner while it lives (nil once it went).
    TBaseVirtualTree* Owner() const;
    bool ForClipboard() const { return forClipboard_; }
    const std::vector<FORMATETC>& Formats() const { return formats_; }

private:
    virtual ~TVTDataObject();
    struct TStoredMedium {
        FORMATETC Format;
        STGMEDIUM Medium;
    };
    HRESULT GetDataUnguarded(FORMATETC* formatEtcIn, STGMEDIUM* medium);
    HRESULT SetDataUnguarded(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release);

    std::atomic<LONG> refCount_{1};
    TBaseVirtualTree* owner_;
    uint64_t ownerSerial_;
    bool forClipboard_;
    std::vector<FORMATETC> formats_;
    std::vector<TStoredMedium> media_;
    IDataAdviseHolder* adviseHolder_ = nullptr;
};
