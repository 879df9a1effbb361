// The list control's OLE data object, format enumerator, drag manager and
// same-process reference, through real IDataObject / IDropTarget calls, the
// OLE clipboard and a second process reading it.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "Lib2/VirtualTree/VTDataObject.h"
#include "Lib2/VirtualTree/VTDragManager.h"
#include "Lib2/VirtualTree/VirtualTrees.h"
#include "platform/FileUtil.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"

namespace {

CLIPFORMAT Cf(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

FORMATETC Fmt(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL)
{
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, -1, tymed};
}

std::vector<CLIPFORMAT> EnumFormats(IDataObject* object)
{
    std::vector<CLIPFORMAT> result;
    IEnumFORMATETC* e = nullptr;
    if (FAILED(object->EnumFormatEtc(DATADIR_GET, &e)) || !e)
        return result;
    FORMATETC f{};
    while (e->Next(1, &f, nullptr) == S_OK)
        result.push_back(f.cfFormat);
    e->Release();
    return result;
}

HGLOBAL Block(const std::vector<uint8_t>& bytes)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    void* p = GlobalLock(h);
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

std::vector<uint8_t> LengthAndBytes(int32_t length, size_t payload)
{
    std::vector<uint8_t> v(4 + payload, 0xAB);
    std::memcpy(v.data(), &length, 4);
    return v;
}

class VTOle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        testing_support::ClearCaughtErrors();
        tree = new TBaseVirtualTree(nullptr);
        strings = new TVirtualStringTree(nullptr);
    }
    void TearDown() override
    {
        OleSetClipboard(nullptr);
        delete strings;
        delete tree;
        OleUninitialize();
    }
    TBaseVirtualTree* tree = nullptr;
    TVirtualStringTree* strings = nullptr;
};

} // namespace

TEST_F(VTOle, FormatsOfaPlainTreeAStringTreeAndARestrictedOne)
{
    const CLIPFORMAT ref = Cf(L"Sorvel Reference");
    TVTDataObject* plain = new TVTDataObject(tree, false);
    EXPECT_EQ(EnumFormats(plain), (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), ref}));
    plain->Release();

    TVTDataObject* all = new TVTDataObject(strings, true);
    EXPECT_EQ(EnumFormats(all),
              (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), Cf(L"HTML Format"), Cf(L"Rich Text Format Without Objects"),
                                       Cf(L"Rich Text Format"), Cf(L"CSV"), CF_UNICODETEXT, CF_TEXT, ref}));
    all->Release();

    TStringList names;
    names.Add("CSV");
    strings->SetClipboardFormats(names);
    strings->OnGetUserClipboardFormats = [](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
        formats.push_back(Fmt(CF_DIB));
    };
    TVTDataObject* restricted = new TVTDataObject(strings, false);
    EXPECT_EQ(EnumFormats(restricted), (std::vector<CLIPFORMAT>{Cf(L"CSV"), CF_DIB, ref}));
    restricted->Release();
}

TEST_F(VTOle, QueryGetDataNamesTheMismatch)
{
    TVTDataObject* object = new TVTDataObject(tree, false);
    IDataObject* data = object;
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    EXPECT_EQ(data->QueryGetData(&f), S_OK);
    f.tymed = TYMED_GDI;
    EXPECT_EQ(data->QueryGetData(&f), DV_E_TYMED);
    f = Fmt(Cf(L"Sorvel Data"));
    f.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(data->QueryGetData(&f), DV_E_DVASPECT);
    f = Fmt(Cf(L"Sorvel Data"));
    f.lindex = 3;
    EXPECT_EQ(data->QueryGetData(&f), DV_E_LINDEX);
    f = Fmt(CF_UNICODETEXT);
    EXPECT_EQ(data->QueryGetData(&f), DV_E_FORMATETC);
    STGMEDIUM m{};
    EXPECT_EQ(data->GetData(&f, &m), DV_E_FORMATETC);
    EXPECT_EQ(data->GetDataHere(&f, &m), E_NOTIMPL);
    FORMATETC out{};
    EXPECT_EQ(data->GetCanonicalFormatEtc(&f, &out), DATA_S_SAMEFORMATETC);
    IEnumFORMATETC* e = reinterpret_cast<IEnumFORMATETC*>(1);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &e), OLE_S_USEREG);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(data->DUnadvise(1), E_NOTIMPL);
    IEnumSTATDATA* s = nullptr;
    EXPECT_EQ(data->EnumDAdvise(&s), OLE_E_ADVISENOTSUPPORTED);
    object->Release();
}

TEST_F(VTOle, EnumeratorNextSkipResetClone)
{
    TVTDataObject* object = new TVTDataObject(strings, false);
    IEnumFORMATETC* e = nullptr;
    ASSERT_EQ(object->EnumFormatEtc(DATADIR_GET, &e), S_OK);
    FORMATETC got[10]{};
    ULONG n = 0;
    EXPECT_EQ(e->Next(3, got, &n), S_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(got[2].cfFormat, Cf(L"Rich Text Format Without Objects"));
    EXPECT_EQ(e->Skip(2), S_OK);        // at 5 of 8
    EXPECT_EQ(e->Skip(4), S_FALSE);     // beyond the end
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(10, got, &n), S_FALSE);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(got[0].cfFormat, CF_UNICODETEXT);
    EXPECT_EQ(got[2].cfFormat, Cf(L"Sorvel Reference"));
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, Cf(L"Sorvel Data"));
    clone->Release();
    e->Release();
    object->Release();
}

TEST_F(VTOle, NativeDataOfTheSelectionReadsBackIntoAnotherTree)
{
    tree->SetRootNodeCount(3);
    PVirtualNode a = tree->GetFirst();
    PVirtualNode b = a->NextSibling;
    PVirtualNode c = b->NextSibling;
    tree->SetChildCountOf(a, 2);
    tree->SetChildCountOf(c, 1);
    tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
    tree->SetSelected(c, true);
    tree->SetSelected(a, true);

    TVTDataObject* object = new TVTDataObject(tree, false);
    // The data object offers global memory; the tree also renders a stream,
    // which reaches a receiver through a data object holding it.
    FORMATETC asStream = Fmt(Cf(L"Sorvel Data"), TYMED_ISTREAM);
    STGMEDIUM streamMedium{};
    EXPECT_EQ(object->GetData(&asStream, &streamMedium), DV_E_TYMED);
    ASSERT_EQ(tree->RenderOLEData(asStream, streamMedium, false), S_OK);
    ASSERT_EQ(streamMedium.tymed, DWORD(TYMED_ISTREAM));
    TVTDataObject* holder = new TVTDataObject(nullptr, false);
    ASSERT_EQ(holder->SetData(&asStream, &streamMedium, TRUE), S_OK);
    for (IDataObject* source : {static_cast<IDataObject*>(object), static_cast<IDataObject*>(holder)}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(VTReadNativeData(source, Cf(L"Sorvel Data"), bytes));
        TBaseVirtualTree target(nullptr);
        TMemoryStream stream(bytes);
        while (stream.Position() < stream.Size()) {
            PVirtualNode node = target.AddChildNode(nullptr);
            target.AddFromStream(stream, VTTreeStreamVersion, node);
        }
        ASSERT_EQ(target.RootNodeCount(), 2u);
        EXPECT_EQ(target.GetFirst()->ChildCount, 2u); // a first (tree order), then c
        EXPECT_EQ(target.GetFirst()->NextSibling->ChildCount, 1u);
        EXPECT_EQ(ops_test::Recount(target), "");
    }
    // Nothing selected: nothing to render.
    tree->ClearSelection();
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    STGMEDIUM m{};
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL);
    holder->Release();
    object->Release();
}

TEST_F(VTOle, ReferenceNamesOnlyALiveTreeOfThisProcess)
{
    TVTDataObject* object = new TVTDataObject(tree, false);
    FORMATETC f = Fmt(Cf(L"Sorvel Reference"));
    STGMEDIUM m{};
    ASSERT_EQ(object->GetData(&f, &m), S_OK);
    ASSERT_EQ(GlobalSize(m.hGlobal), 8u);
    const auto* p = static_cast<const uint32_t*>(GlobalLock(m.hGlobal));
    EXPECT_EQ(p[0], GetCurrentProcessId());
    EXPECT_EQ(p[1], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tree)));
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
    EXPECT_EQ(VTTreeFromDataObject(object), tree);
    EXPECT_EQ(strings->GetTreeFromDataObject(object), tree);

    // While the tree flushes the clipboard no reference is handed out.
    tree->DoStateChange(tsClipboardFlushing, 0);
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL);
    tree->DoStateChange(0, tsClipboardFlushing);

    // Forged: our process id with an address that is no tree (a heap block,
    // then a string tree's inner address), another process id with a real tree.
    std::vector<uint8_t> fake(64, 0);
    auto reference = [](uint32_t pid, const void* address) {
        uint32_t v[2] = {pid, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address))};
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
        std::memcpy(GlobalLock(h), v, 8);
        GlobalUnlock(h);
        return h;
    };
    for (HGLOBAL h : {reference(GetCurrentProcessId(), fake.data()),
                      reference(GetCurrentProcessId(), reinterpret_cast<const char*>(tree) + 4),
                      reference(GetCurrentProcessId() ^ 0x10000, tree)}) {
        EXPECT_EQ(VTTreeFromReferenceBlock(h), nullptr);
        GlobalFree(h);
    }
    // Too short to be a reference.
    HGLOBAL shortBlock = Block({1, 2, 3, 4, 5});
    EXPECT_EQ(VTTreeFromReferenceBlock(shortBlock), nullptr);
    GlobalFree(shortBlock);

    // The forged reference through a data object (stored by SetData, as any
    // program could put it on the clipboard) is foreign data.
    TVTDataObject* forged = new TVTDataObject(nullptr, false);
    STGMEDIUM sm{};
    sm.tymed = TYMED_HGLOBAL;
    sm.hGlobal = reference(GetCurrentProcessId(), fake.data());
    ASSERT_EQ(forged->SetData(&f, &sm, TRUE), S_OK);
    EXPECT_EQ(VTTreeFromDataObject(forged), nullptr);
    forged->Release();

    // A tree that went: its data object gives no reference and its old
    // reference names nothing.
    ASSERT_EQ(object->GetData(&f, &m), S_OK);
    delete tree;
    tree = nullptr;
    EXPECT_FALSE(VTIsLiveTree(object->Owner()));
    EXPECT_EQ(VTTreeFromReferenceBlock(m.hGlobal), nullptr);
    ReleaseStgMedium(&m);
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL);
    FORMATETC native = Fmt(Cf(L"Sorvel Data"));
    EXPECT_EQ(object->GetData(&native, &m), E_FAIL);
    object->Release();
}

TEST_F(VTOle, HostileNativeBlocksAreRefused)
{
    std::vector<uint8_t> bytes{9};
    struct Case {
        std::vector<uint8_t> block;
        bool valid;
        size_t length;
    };
    const Case cases[] = {
        {LengthAndBytes(8, 8), true, 8},   // length = size - 4
        {LengthAndBytes(0, 0), true, 0},
        {LengthAndBytes(9, 8), false, 0},  // one beyond the block
        {LengthAndBytes(-1, 8), false, 0},
        {LengthAndBytes(0x7FFFFFFF, 16), false, 0},
        {{1, 0, 0}, false, 0},             // no room for the length
    };
    for (const Case& c : cases) {
        HGLOBAL h = Block(c.block);
        EXPECT_EQ(VTReadNativeBlock(h, bytes), c.valid) << c.block.size();
        EXPECT_EQ(bytes.size(), c.length);
        GlobalFree(h);
    }
    EXPECT_FALSE(VTReadNativeBlock(nullptr, bytes));

    // The same through a data object holding a hostile block.
    TVTDataObject* object = new TVTDataObject(nullptr, false);
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = Block(LengthAndBytes(1000, 12));
    ASSERT_EQ(object->SetData(&f, &m, TRUE), S_OK);
    EXPECT_FALSE(VTReadNativeData(object, f.cfFormat, bytes));
    EXPECT_TRUE(bytes.empty());
    // Our own block round-trips.
    HGLOBAL good = VTMakeNativeBlock({1, 2, 3});
    ASSERT_EQ(GlobalSize(good), 7u);
    m.hGlobal = good;
    ASSERT_EQ(object->SetData(&f, &m, TRUE), S_OK);
    ASSERT_TRUE(VTReadNativeData(object, f.cfFormat, bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
    object->Release();
}

TEST_F(VTOle, SetDataKeepsCopiesSharesStoredMediaAndRefusesBitmaps)
{
    TVTDataObject* object = new TVTDataObject(tree, false);
    const CLIPFORMAT custom = Cf(L"Brenix OLE test format");
    FORMATETC f = Fmt(custom);
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = Block({'a', 'b', 'c'});
    ASSERT_EQ(object->SetData(&f, &m, FALSE), S_OK);
    // The caller keeps its block; changing it does not change ours.
    static_cast<char*>(GlobalLock(m.hGlobal))[0] = 'z';
    GlobalUnlock(m.hGlobal);
    GlobalFree(m.hGlobal);
    EXPECT_EQ(EnumFormats(object).back(), custom);
    EXPECT_EQ(object->QueryGetData(&f), S_OK);

    STGMEDIUM out{};
    ASSERT_EQ(object->GetData(&f, &out), S_OK);
    EXPECT_EQ(out.pUnkForRelease, static_cast<IUnknown*>(static_cast<IDataObject*>(object)));
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(out.hGlobal)), 3), "abc");
    GlobalUnlock(out.hGlobal);
    // Shared: the release comes back to the object, the block stays.
    EXPECT_EQ(object->AddRef(), 3u);
    object->Release();
    ReleaseStgMedium(&out);
    ASSERT_EQ(object->GetData(&f, &out), S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(out.hGlobal)), 3), "abc");
    GlobalUnlock(out.hGlobal);
    ReleaseStgMedium(&out);

    STGMEDIUM bitmap{};
    bitmap.tymed = TYMED_GDI;
    bitmap.hBitmap = CreateBitmap(2, 2, 1, 1, nullptr);
    FORMATETC bf = Fmt(CF_BITMAP, TYMED_GDI);
    EXPECT_EQ(object->SetData(&bf, &bitmap, FALSE), DV_E_TYMED);
    DeleteObject(bitmap.hBitmap);
    EXPECT_EQ(object->QueryGetData(&bf), DV_E_FORMATETC);
    object->Release();
}

TEST_F(VTOle, ReleasingTheClipboardObjectEndsAPendingCopyUnlessFlushing)
{
    tree->SetRootNodeCount(2);
    PVirtualNode first = tree->GetFirst();
    for (bool flushing : {false, true}) {
        first->States |= vsCutOrCopy;
        tree->DoStateChange(flushing ? tsCopyPending | tsClipboardFlushing : TVirtualTreeStates(tsCopyPending), 0);
        (new TVTDataObject(tree, true))->Release();
        EXPECT_EQ(tree->HasState(tsCopyPending), flushing);
        EXPECT_EQ((first->States & vsCutOrCopy) != 0, flushing);
        tree->DoStateChange(0, tsCopyPending | tsClipboardFlushing);
        first->States &= ~vsCutOrCopy;
    }
    // An object not for the clipboard leaves the copy alone.
    first->States |= vsCutOrCopy;
    tree->DoStateChange(tsCopyPending, 0);
    (new TVTDataObject(tree, false))->Release();
    EXPECT_TRUE(tree->HasState(tsCopyPending));
    tree->DoStateChange(0, tsCopyPending);
    first->States &= ~vsCutOrCopy;
}

namespace {

// Runs the reader program and pumps this thread (the clipboard owner renders
// on request) until it ends; its stdout.
std::string RunClipReader(DWORD& exitCode)
{
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + Utf8ToWide(ExeFolder() + "vt_ole_clip_reader.exe") + L"\"";
    exitCode = 99;
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return "cannot start";
    }
    CloseHandle(writeEnd);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 100, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 98);
    WaitForSingleObject(pi.hProcess, 5000);
    GetExitCodeProcess(pi.hProcess, &exitCode);
    std::string out;
    char buf[512];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n)
        out.append(buf, n);
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return out;
}

} // namespace

TEST_F(VTOle, ClipboardRoundTripInThisProcessAndToAnother)
{
    tree->SetRootNodeCount(2);
    tree->SetSelected(tree->GetFirst(), true);
    const std::wstring text = L"Брэникс \"ole\" ✓";
    tree->OnGetUserClipboardFormats = [](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
        formats.push_back(Fmt(CF_UNICODETEXT));
    };
    int renders = 0;
    tree->OnRenderOLEData = [&](TBaseVirtualTree*, const FORMATETC& f, STGMEDIUM& m, bool forClipboard,
                                HRESULT& result) {
        ++renders;
        if (f.cfFormat != CF_UNICODETEXT || !forClipboard)
            return;
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        m.tymed = TYMED_HGLOBAL;
        m.hGlobal = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(m.hGlobal), text.c_str(), bytes);
        GlobalUnlock(m.hGlobal);
        m.pUnkForRelease = nullptr;
        result = S_OK;
    };
    TVTDataObject* object = new TVTDataObject(tree, true);
    ASSERT_EQ(OleSetClipboard(object), S_OK);
    object->Release(); // the clipboard holds it now

    IDataObject* clip = nullptr;
    ASSERT_EQ(OleGetClipboard(&clip), S_OK);
    std::vector<CLIPFORMAT> formats = EnumFormats(clip);
    EXPECT_NE(std::find(formats.begin(), formats.end(), Cf(L"Sorvel Data")), formats.end());
    EXPECT_NE(std::find(formats.begin(), formats.end(), CF_UNICODETEXT), formats.end());
    EXPECT_EQ(VTTreeFromDataObject(clip), tree);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(VTReadNativeData(clip, Cf(L"Sorvel Data"), bytes));
    TMemoryStream stream(bytes);
    TBaseVirtualTree target(nullptr);
    target.AddFromStream(stream, VTTreeStreamVersion, target.AddChildNode(nullptr));
    EXPECT_EQ(target.RootNodeCount(), 1u);
    FORMATETC f = Fmt(CF_UNICODETEXT);
    STGMEDIUM m{};
    ASSERT_EQ(clip->GetData(&f, &m), S_OK);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(m.hGlobal))), text);
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
    clip->Release();

    // Another process reads the text (rendered by our tree on its request).
    DWORD exitCode = 0;
    const std::string out = RunClipReader(exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(out, WideToUtf8(text));
    EXPECT_GE(renders, 2);
}

TEST_F(VTOle, StringTreeTextsReachAnotherProcessThroughTheClipboard)
{
    const char* names[] = {"Альфа", "Beta", "Гамма & <b>"};
    strings->OnGetText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::string& text) {
        text = names[node->Index];
    };
    strings->TreeOptions().SetSelectionOptions(strings->TreeOptions().SelectionOptions() | toMultiSelect);
    strings->SetRootNodeCount(3);
    strings->SetSelected(strings->GetFirst()->NextSibling->NextSibling, true);
    strings->SetSelected(strings->GetFirst(), true);
    TVTDataObject* object = new TVTDataObject(strings, true);
    ASSERT_EQ(OleSetClipboard(object), S_OK);
    object->Release();
    DWORD exitCode = 0;
    const std::string out = RunClipReader(exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(out, "Альфа\r\nГамма & <b>\r\n");
}

// ---------------------------------------------------------------------------
// Drag manager

namespace {

struct DropLog {
    std::vector<TDragState> states;
    std::vector<TObject*> sources;
    int drops = 0;
    TObject* dropSource = reinterpret_cast<TObject*>(1);
    std::vector<CLIPFORMAT> dropFormats;
    DWORD dropEffect = 0;
};

using VTOleWindow = ops_test::TreeOnForm<TVirtualStringTree>;

void Watch(TBaseVirtualTree* tree, DropLog& log, bool accept = true)
{
    tree->OnDragOver = [&log, accept](TBaseVirtualTree*, TObject* source, TShiftState, TDragState state, POINT,
                                      TDropMode, DWORD& effect, bool& accepted) {
        log.states.push_back(state);
        log.sources.push_back(source);
        accepted = accept;
        if (accept)
            effect = DROPEFFECT_COPY;
    };
    tree->OnDragDrop = [&log](TBaseVirtualTree*, TObject* source, IDataObject*, const std::vector<CLIPFORMAT>& formats,
                              TShiftState, POINT, DWORD& effect, TDropMode) {
        ++log.drops;
        log.dropSource = source;
        log.dropFormats = formats;
        log.dropEffect = effect;
        effect = DROPEFFECT_MOVE; // what the drop did, back to the source
    };
}

} // namespace

TEST(VTOleDragSource, QueryContinueDragAndFeedback)
{
    TVTDragManager* manager = new TVTDragManager(nullptr);
    IDropSource* source = nullptr;
    ASSERT_EQ(manager->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&source)), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON | MK_CONTROL), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_CONTROL), DRAGDROP_S_DROP);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_MOVE), DRAGDROP_S_USEDEFAULTCURSORS);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    manager->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b); // one identity for all three interfaces
    a->Release();
    b->Release();
    source->Release();
    EXPECT_EQ(manager->Release(), 0u);
}

TEST_F(VTOleWindow, DropTargetSeesTheSourceTreeAndTheFormats)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    tree->SetRootNodeCount(3);
    DropLog log;
    Watch(tree, log);
    TBaseVirtualTree other(nullptr);
    IDataObject* data = new TVTDataObject(&other, false);
    IVTDragManager* manager = tree->DragManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(tree->DragManager(), manager); // made once
    IDropTarget* target = nullptr;
    ASSERT_EQ(manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)), S_OK);

    RECT r;
    GetWindowRect(tree->Handle(), &r);
    POINTL pt{r.left + 20, r.top + 5};
    DWORD effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_TRUE(manager->GetIsDropTarget());
    EXPECT_EQ(manager->GetDragSource(), &other);
    IDataObject* dragged = manager->GetDataObject();
    EXPECT_EQ(dragged, data);
    dragged->Release();
    effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
    EXPECT_EQ(target->DragOver(MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(target->Drop(data, 0, pt, &effect), S_OK);
    EXPECT_FALSE(manager->GetIsDropTarget());
    EXPECT_EQ(manager->GetDragSource(), nullptr);
    ASSERT_EQ(log.states, (std::vector<TDragState>{dsDragEnter, dsDragMove}));
    EXPECT_EQ(log.sources[0], &other);
    EXPECT_EQ(log.sources[1], &other);
    EXPECT_EQ(log.drops, 1);
    EXPECT_EQ(log.dropSource, &other);
    EXPECT_EQ(log.dropFormats, (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), Cf(L"Sorvel Reference")}));
    EXPECT_EQ(log.dropEffect, DWORD(DROPEFFECT_COPY));

    // A forged reference: our process id, an address that is no tree.
    log = DropLog{};
    TVTDataObject* forged = new TVTDataObject(nullptr, false);
    uint32_t v[2] = {GetCurrentProcessId(), 0x00400000u};
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 8);
    std::memcpy(GlobalLock(m.hGlobal), v, 8);
    GlobalUnlock(m.hGlobal);
    FORMATETC f = Fmt(Cf(L"Sorvel Reference"));
    ASSERT_EQ(forged->SetData(&f, &m, TRUE), S_OK);
    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(forged, MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(manager->GetDragSource(), nullptr);
    EXPECT_EQ(target->DragLeave(), S_OK);
    ASSERT_EQ(log.states, (std::vector<TDragState>{dsDragEnter, dsDragLeave}));
    EXPECT_EQ(log.sources[0], nullptr);
    EXPECT_EQ(log.drops, 0);
    forged->Release();

    // A refusing handler gives no effect, and a drop without one fails.
    Watch(tree, log, false);
    effect = DROPEFFECT_COPY;
    target->DragEnter(data, MK_LBUTTON, pt, &effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(target->Drop(data, 0, pt, &effect), E_FAIL);

    target->Release();
    data->Release();
    OleUninitialize();
}

TEST_F(VTOleWindow, ErrorsInHandlersStayInsideTheComMethods)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    testing_support::ClearCaughtErrors();
    tree->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragState, POINT, TDropMode, DWORD&, bool&) {
        throw std::runtime_error("drag over failed");
    };
    tree->OnRenderOLEData = [](TBaseVirtualTree*, const FORMATETC&, STGMEDIUM&, bool, HRESULT&) {
        throw std::runtime_error("render failed");
    };
    tree->OnGetUserClipboardFormats = [](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
        formats.push_back(Fmt(CF_UNICODETEXT));
    };
    IDataObject* data = new TVTDataObject(tree, false);
    IDropTarget* target = nullptr;
    tree->DragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target));
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, POINTL{0, 0}, &effect), E_UNEXPECTED);
    FORMATETC f = Fmt(CF_UNICODETEXT);
    STGMEDIUM m{};
    EXPECT_EQ(data->GetData(&f, &m), E_UNEXPECTED);
    EXPECT_EQ(testing_support::CaughtErrors(),
              (std::vector<std::string>{"drag over failed", "render failed"}));
    target->DragLeave();

    // The tree goes while OLE still holds its drop target: calls find no tree.
    delete form;
    form = nullptr;
    tree = nullptr;
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(target->Drop(data, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(data->GetData(&f, &m), E_FAIL);
    target->Release();
    data->Release();
    OleUninitialize();
}

// A real OLE drag between two trees of one form, driven by real mouse input
// from a helper thread while this thread sits in DoDragDrop.
class VTOleDrag : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay())
            GTEST_SKIP() << "no display";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        form = new TForm(nullptr);
        form->SetBounds(40, 40, 620, 320);
        source = new TVirtualStringTree(form);
        source->SetBounds(5, 5, 250, 200);
        source->SetParent(form);
        target = new TVirtualStringTree(form);
        target->SetBounds(300, 5, 250, 200);
        target->SetParent(form);
        form->Show();
        source->HandleNeeded();
        target->HandleNeeded();
        source->SetRootNodeCount(3);
        target->SetRootNodeCount(2);
        testing_support::Pump(50);
        target->DragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&dropTarget));
        ASSERT_EQ(RegisterDragDrop(target->Handle(), dropTarget), S_OK);
    }
    void TearDown() override
    {
        if (dropTarget) {
            RevokeDragDrop(target->Handle());
            dropTarget->Release();
        }
        delete form;
        OleUninitialize();
    }

    // Presses the left button below the trees, then runs DoDragDrop with the
    // source tree's data while a helper thread moves to the target and ends
    // with `finish` (inputs sent after the moves).
    HRESULT Drag(const std::vector<INPUT>& finish, DWORD& effect)
    {
        POINT start = form->ClientToScreen(POINT{100, 240});
        POINT end = target->ClientToScreen(POINT{60, 8});
        EXPECT_TRUE(testing_support::SendInputPumping(testing_support::MouseMoveTo(start), 50));
        INPUT down{};
        down.type = INPUT_MOUSE;
        down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        EXPECT_TRUE(testing_support::SendInputPumping({down}, 50));
        std::thread mover([start, end, finish] {
            Sleep(150);
            for (int i = 1; i <= 12; ++i) {
                POINT p{start.x + (end.x - start.x) * i / 12, start.y + (end.y - start.y) * i / 12};
                std::vector<INPUT> move = testing_support::MouseMoveTo(p);
                SendInput(static_cast<UINT>(move.size()), move.data(), sizeof(INPUT));
                Sleep(40);
            }
            Sleep(150);
            for (const INPUT& in : finish) {
                INPUT copy = in;
                SendInput(1, &copy, sizeof(INPUT));
                Sleep(60);
            }
        });
        IDataObject* data = source->DragManager()->GetDataObject();
        IDropSource* dropSource = nullptr;
        source->DragManager()->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&dropSource));
        effect = DROPEFFECT_NONE;
        HRESULT hr = DoDragDrop(data, dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
        mover.join();
        INPUT up{};
        up.type = INPUT_MOUSE;
        up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        if (GetAsyncKeyState(VK_LBUTTON) & 0x8000)
            testing_support::SendInputPumping({up}, 50);
        dropSource->Release();
        data->Release();
        return hr;
    }

    TForm* form = nullptr;
    TVirtualStringTree* source = nullptr;
    TVirtualStringTree* target = nullptr;
    IDropTarget* dropTarget = nullptr;
};

TEST_F(VTOleDrag, RowsDroppedOnAnotherTreeNameTheirSourceTree)
{
    DropLog log;
    Watch(target, log);
    INPUT up{};
    up.type = INPUT_MOUSE;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    DWORD effect = 0;
    EXPECT_EQ(Drag({up}, effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
    ASSERT_GE(log.states.size(), 2u);
    EXPECT_EQ(log.states.front(), dsDragEnter);
    EXPECT_EQ(log.states.back(), dsDragMove);
    for (TObject* s : log.sources)
        EXPECT_EQ(s, static_cast<TObject*>(source));
    EXPECT_EQ(log.drops, 1);
    EXPECT_EQ(log.dropSource, static_cast<TObject*>(source));
    ASSERT_FALSE(log.dropFormats.empty());
    EXPECT_EQ(log.dropFormats.front(), Cf(L"Sorvel Data"));
}

TEST_F(VTOleDrag, EscapeCancelsTheDragWithoutADrop)
{
    DropLog log;
    Watch(target, log);
    DWORD effect = 0;
    EXPECT_EQ(Drag({testing_support::KeyInput(VK_ESCAPE, false), testing_support::KeyInput(VK_ESCAPE, true)}, effect),
              DRAGDROP_S_CANCEL);
    EXPECT_EQ(log.drops, 0);
    ASSERT_FALSE(log.states.empty());
    EXPECT_EQ(log.states.front(), dsDragEnter);
    EXPECT_EQ(log.states.back(), dsDragLeave);
}

// ---------------------------------------------------------------------------
// Format list: entries for test-only tree classes, so no other tree sees them.

namespace {
class TOleTestTree : public TBaseVirtualTree {
public:
    using TBaseVirtualTree::TBaseVirtualTree;
};
class TOleOtherTestTree : public TBaseVirtualTree {
public:
    using TBaseVirtualTree::TBaseVirtualTree;
};
} // namespace

TEST_F(VTOle, FormatListNamesOrdersAndFindsFormats)
{
    const int before = TClipboardFormatList::Count();
    TClipboardFormatList::AddFormat(0, IsTreeOfClass<TOleTestTree>, 10);  // no standard format 0
    EXPECT_EQ(TClipboardFormatList::Count(), before);
    TClipboardFormatList::AddFormat(CF_DIB, IsTreeOfClass<TOleTestTree>, 60);
    const CLIPFORMAT custom = Cf(L"Brenix list test");
    TClipboardFormatList::AddFormat(custom, IsTreeOfClass<TOleTestTree>, 40);
    EXPECT_EQ(TClipboardFormatList::Add("Brenix twice", IsTreeOfClass<TOleTestTree>, 45), Cf(L"Brenix twice"));
    TClipboardFormatList::Add("BRENIX TWICE", IsTreeOfClass<TOleOtherTestTree>, 46);
    EXPECT_EQ(TClipboardFormatList::Count(), before + 4);

    TOleTestTree mine(nullptr);
    std::vector<std::string> names;
    for (const TClipboardFormatEntry* e : TClipboardFormatList::EnumerateFormats(&mine))
        names.push_back(e->Description);
    EXPECT_EQ(names, (std::vector<std::string>{"Brenix list test", "Brenix twice", "Sorvel Data", "DIB image"}));
    TVTDataObject* object = new TVTDataObject(&mine, false);
    EXPECT_EQ(EnumFormats(object),
              (std::vector<CLIPFORMAT>{custom, Cf(L"Brenix twice"), Cf(L"Sorvel Data"), CF_DIB,
                                       Cf(L"Sorvel Reference")}));
    object->Release();

    const TClipboardFormatEntry* csv = TClipboardFormatList::FindFormat(std::string("csv"));
    ASSERT_NE(csv, nullptr);
    EXPECT_EQ(csv->Description, "CSV");
    EXPECT_EQ(csv->FormatEtc.cfFormat, Cf(L"CSV"));
    // The later registration of a name is found.
    const TClipboardFormatEntry* twice = TClipboardFormatList::FindFormat(std::string("brenix twice"));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->Description, "BRENIX TWICE");
    EXPECT_EQ(TClipboardFormatList::FindFormat(std::string("no such format")), nullptr);
}
