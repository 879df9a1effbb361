// The list control's OLE data object, format enumerator, format list, drag
// manager and same-process reference, through real IDataObject / IDropTarget
// calls, the OLE clipboard with a second process reading it, and real drags.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Lib2/VirtualTree/OpsTestSupport.h"
#include "Lib2/VirtualTree/VTDataObject.h"
#include "Lib2/VirtualTree/VTDragManager.h"
#include "platform/FileUtil.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "support/Input.h"
#include "support/TestSupport.h"

namespace {

CLIPFORMAT Cf(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }
FORMATETC Fmt(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL) { return {cf, nullptr, DVASPECT_CONTENT, -1, tymed}; }

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

HGLOBAL Block(const void* bytes, size_t size)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(h), bytes, size);
    GlobalUnlock(h);
    return h;
}
HGLOBAL LengthBlock(int32_t length, size_t payload)
{
    std::vector<uint8_t> v(4 + payload, 0xAB);
    std::memcpy(v.data(), &length, 4);
    return Block(v.data(), v.size());
}
HGLOBAL Reference(uint32_t pid, const void* address)
{
    const uint32_t v[2] = {pid, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address))};
    return Block(v, 8);
}
// A data object holding one block for a format, as any program could offer it.
IDataObject* Holding(CLIPFORMAT cf, HGLOBAL block)
{
    auto* object = new TVTDataObject(nullptr, false);
    FORMATETC f = Fmt(cf);
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = block;
    EXPECT_EQ(object->SetData(&f, &m, TRUE), S_OK);
    return object;
}

// Reads node chunks into new top-level nodes of a tree.
void ReadNodes(TBaseVirtualTree& target, const std::vector<uint8_t>& bytes)
{
    TMemoryStream stream(bytes);
    while (stream.Position() < stream.Size())
        target.AddFromStream(stream, VTTreeStreamVersion, target.AddChildNode(nullptr));
}

void MultiSelect(TBaseVirtualTree* tree)
{
    tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
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

TEST_F(VTOle, FormatsQueryGetDataAndTheEnumerator)
{
    const CLIPFORMAT ref = Cf(L"Sorvel Reference");
    IDataObject* plain = new TVTDataObject(tree, false);
    EXPECT_EQ(EnumFormats(plain), (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), ref}));
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    EXPECT_EQ(plain->QueryGetData(&f), S_OK);
    f.tymed = TYMED_GDI;
    EXPECT_EQ(plain->QueryGetData(&f), DV_E_TYMED);
    f = Fmt(Cf(L"Sorvel Data"));
    f.dwAspect = DVASPECT_ICON;
    EXPECT_EQ(plain->QueryGetData(&f), DV_E_DVASPECT);
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = 3;
    EXPECT_EQ(plain->QueryGetData(&f), DV_E_LINDEX);
    f = Fmt(CF_UNICODETEXT);
    STGMEDIUM m{};
    EXPECT_EQ(plain->GetData(&f, &m), DV_E_FORMATETC);
    IEnumFORMATETC* e = nullptr;
    EXPECT_EQ(plain->EnumFormatEtc(DATADIR_SET, &e), OLE_S_USEREG);
    plain->Release();

    IDataObject* all = new TVTDataObject(strings, true);
    EXPECT_EQ(EnumFormats(all),
              (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), Cf(L"HTML Format"), Cf(L"Rich Text Format Without Objects"),
                                       Cf(L"Rich Text Format"), Cf(L"CSV"), CF_UNICODETEXT, CF_TEXT, ref}));
    ASSERT_EQ(all->EnumFormatEtc(DATADIR_GET, &e), S_OK);
    FORMATETC got[10]{};
    ULONG n = 0;
    EXPECT_EQ(e->Skip(5), S_OK);
    EXPECT_EQ(e->Skip(4), S_FALSE); // beyond the end
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(10, got, &n), S_FALSE);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(got[0].cfFormat, CF_UNICODETEXT);
    clone->Release();
    e->Release();
    all->Release();

    TStringList names;
    names.Add("CSV");
    strings->SetClipboardFormats(names);
    strings->OnGetUserClipboardFormats = [](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
        formats.push_back(Fmt(CF_DIB));
    };
    IDataObject* restricted = new TVTDataObject(strings, false);
    EXPECT_EQ(EnumFormats(restricted), (std::vector<CLIPFORMAT>{Cf(L"CSV"), CF_DIB, ref}));
    restricted->Release();
}

// Each format handed out owns its copy of a target device: the caller frees
// it, and the next one handed out is whole.
TEST_F(VTOle, TheEnumeratorHandsOutTargetDevicesTheCallerOwns)
{
    DVTARGETDEVICE device{};
    device.tdSize = sizeof device;
    device.tdDriverNameOffset = 7;
    FORMATETC f = Fmt(CF_DIB);
    f.ptd = &device;
    IEnumFORMATETC* e = new TEnumFormatEtc({f});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        FORMATETC got{};
        ASSERT_EQ(e->Next(1, &got, nullptr), S_OK);
        ASSERT_NE(got.ptd, nullptr);
        EXPECT_NE(got.ptd, &device);
        EXPECT_EQ(got.ptd->tdSize, sizeof device);
        EXPECT_EQ(got.ptd->tdDriverNameOffset, 7);
        CoTaskMemFree(got.ptd);
        e->Reset();
    }
    e->Release();
}

// The tree renders what OnRenderOLEData left: the handler is asked once.
TEST_F(VTOle, GetDataAsksOnRenderOLEDataOnce)
{
    strings->OnGetUserClipboardFormats = [](TBaseVirtualTree*, std::vector<FORMATETC>& formats) {
        formats.push_back(Fmt(CF_DIB));
    };
    int asked = 0;
    strings->OnRenderOLEData = [&](TBaseVirtualTree*, const FORMATETC&, STGMEDIUM&, bool, HRESULT&) { ++asked; };
    IDataObject* object = new TVTDataObject(strings, false);
    FORMATETC f = Fmt(CF_DIB);
    STGMEDIUM m{};
    EXPECT_TRUE(FAILED(object->GetData(&f, &m)));
    EXPECT_EQ(asked, 1);
    object->Release();
}

TEST_F(VTOle, NativeDataOfTheSelectionReadsBackIntoAnotherTree)
{
    MultiSelect(tree);
    tree->SetRootNodeCount(3);
    PVirtualNode a = tree->GetFirst();
    tree->SetChildCountOf(a, 2);
    tree->SetChildCountOf(a->NextSibling->NextSibling, 1);
    tree->SetSelected(a->NextSibling->NextSibling, true);
    tree->SetSelected(a, true);

    IDataObject* object = new TVTDataObject(tree, false);
    // The data object offers global memory; the tree also renders a stream,
    // which reaches a receiver through a data object holding it.
    FORMATETC asStream = Fmt(Cf(L"Sorvel Data"), TYMED_ISTREAM);
    STGMEDIUM streamMedium{};
    EXPECT_EQ(object->GetData(&asStream, &streamMedium), DV_E_TYMED);
    ASSERT_EQ(tree->RenderOLEData(asStream, streamMedium, false), S_OK);
    IDataObject* holder = new TVTDataObject(nullptr, false);
    ASSERT_EQ(holder->SetData(&asStream, &streamMedium, TRUE), S_OK);
    for (IDataObject* source : {object, holder}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(VTReadNativeData(source, Cf(L"Sorvel Data"), bytes));
        TBaseVirtualTree target(nullptr);
        ReadNodes(target, bytes);
        ASSERT_EQ(target.RootNodeCount(), 2u);
        EXPECT_EQ(target.GetFirst()->ChildCount, 2u); // tree order: a first
        EXPECT_EQ(target.GetFirst()->NextSibling->ChildCount, 1u);
        EXPECT_EQ(ops_test::Recount(target), "");
    }
    tree->ClearSelection();
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    STGMEDIUM m{};
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL); // nothing to render
    holder->Release();
    object->Release();
}

TEST_F(VTOle, ReferenceNamesOnlyALiveTreeOfThisProcess)
{
    IDataObject* object = new TVTDataObject(tree, false);
    FORMATETC f = Fmt(Cf(L"Sorvel Reference"));
    STGMEDIUM m{};
    ASSERT_EQ(object->GetData(&f, &m), S_OK);
    ASSERT_EQ(GlobalSize(m.hGlobal), 8u);
    const auto* p = static_cast<const uint32_t*>(GlobalLock(m.hGlobal));
    EXPECT_EQ(p[0], GetCurrentProcessId());
    EXPECT_EQ(p[1], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tree)));
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
    EXPECT_EQ(strings->GetTreeFromDataObject(object), tree);
    // While the tree flushes the clipboard no reference is handed out.
    tree->DoStateChange(tsClipboardFlushing, 0);
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL);
    tree->DoStateChange(0, tsClipboardFlushing);

    // Forged: our process id with addresses that are no tree, another
    // process id with a real tree, a block too short; and through a data object.
    std::vector<uint8_t> fake(64, 0);
    for (HGLOBAL h : {Reference(GetCurrentProcessId(), fake.data()),
                      Reference(GetCurrentProcessId(), reinterpret_cast<const char*>(tree) + 4),
                      Reference(GetCurrentProcessId() ^ 0x10000, tree), Block("12345", 5)}) {
        EXPECT_EQ(VTTreeFromReferenceBlock(h), nullptr);
        GlobalFree(h);
    }
    IDataObject* forged = Holding(f.cfFormat, Reference(GetCurrentProcessId(), fake.data()));
    EXPECT_EQ(VTTreeFromDataObject(forged), nullptr);
    forged->Release();

    // A tree that went: its old reference names nothing, its data object
    // renders nothing.
    ASSERT_EQ(object->GetData(&f, &m), S_OK);
    delete tree;
    tree = nullptr;
    EXPECT_EQ(VTTreeFromReferenceBlock(m.hGlobal), nullptr);
    ReleaseStgMedium(&m);
    EXPECT_EQ(object->GetData(&f, &m), E_FAIL);
    FORMATETC native = Fmt(Cf(L"Sorvel Data"));
    EXPECT_EQ(object->GetData(&native, &m), E_FAIL);
    object->Release();
}

TEST_F(VTOle, HostileNativeBlocksAreRefused)
{
    struct Case {
        HGLOBAL block;
        bool valid;
        size_t length;
    };
    const int32_t bytes3 = 3;
    const Case cases[] = {
        {LengthBlock(8, 8), true, 8}, // length = size - 4
        {LengthBlock(0, 0), true, 0},
        {LengthBlock(9, 8), false, 0}, // one beyond the block
        {LengthBlock(-1, 8), false, 0},
        {LengthBlock(0x7FFFFFFF, 16), false, 0},
        {Block(&bytes3, 3), false, 0}, // no room for the length
    };
    std::vector<uint8_t> read{9};
    for (const Case& c : cases) {
        EXPECT_EQ(VTReadNativeBlock(c.block, read), c.valid) << GlobalSize(c.block);
        EXPECT_EQ(read.size(), c.length);
        GlobalFree(c.block);
    }
    EXPECT_FALSE(VTReadNativeBlock(nullptr, read));
    // Through data objects: a hostile block, and our own.
    IDataObject* hostile = Holding(Cf(L"Sorvel Data"), LengthBlock(1000, 12));
    EXPECT_FALSE(VTReadNativeData(hostile, Cf(L"Sorvel Data"), read));
    EXPECT_TRUE(read.empty());
    hostile->Release();
    IDataObject* good = Holding(Cf(L"Sorvel Data"), VTMakeNativeBlock({1, 2, 3}));
    ASSERT_TRUE(VTReadNativeData(good, Cf(L"Sorvel Data"), read));
    EXPECT_EQ(read, (std::vector<uint8_t>{1, 2, 3}));
    good->Release();
}

TEST_F(VTOle, StoredMediaAndTheEndOfAClipboardObject)
{
    TVTDataObject* object = new TVTDataObject(tree, false);
    FORMATETC f = Fmt(Cf(L"Brenix OLE test format"));
    STGMEDIUM m{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = Block("abc", 3);
    ASSERT_EQ(object->SetData(&f, &m, FALSE), S_OK); // a copy: the caller keeps and frees its block
    static_cast<char*>(GlobalLock(m.hGlobal))[0] = 'z';
    GlobalUnlock(m.hGlobal);
    GlobalFree(m.hGlobal);
    EXPECT_EQ(EnumFormats(object).back(), f.cfFormat);
    for (int i = 0; i < 2; ++i) { // handed out shared: the release comes back, the block stays
        ASSERT_EQ(object->GetData(&f, &m), S_OK);
        EXPECT_EQ(m.pUnkForRelease, static_cast<IUnknown*>(static_cast<IDataObject*>(object)));
        EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(m.hGlobal)), 3), "abc");
        GlobalUnlock(m.hGlobal);
        ReleaseStgMedium(&m);
    }
    m.tymed = TYMED_GDI;
    m.hBitmap = CreateBitmap(2, 2, 1, 1, nullptr);
    FORMATETC bf = Fmt(CF_BITMAP, TYMED_GDI);
    EXPECT_EQ(object->SetData(&bf, &m, FALSE), DV_E_TYMED);
    DeleteObject(m.hBitmap);

    // Copies of a caller's media: the caller's file stays when our copy goes
    // (also after a reader let go of what it got); our copy of a block whose
    // medium names a releaser is ours, naming no releaser.
    testing_support::TempDir dir;
    const std::string path = dir.File("caller.txt");
    testing_support::WriteFile(path, "kept");
    std::wstring name = Utf8ToWide(path);
    STGMEDIUM fm{};
    fm.tymed = TYMED_FILE;
    fm.lpszFileName = name.data();
    FORMATETC ff = Fmt(Cf(L"Brenix OLE test file"), TYMED_FILE);
    for (bool read : {false, true}) {
        TVTDataObject* holder = new TVTDataObject(tree, false);
        ASSERT_EQ(holder->SetData(&ff, &fm, FALSE), S_OK);
        STGMEDIUM got{};
        if (read && holder->GetData(&ff, &got) == S_OK) {
            EXPECT_EQ(std::wstring(got.lpszFileName), name);
            ReleaseStgMedium(&got);
        }
        EXPECT_EQ(holder->Release(), 0u);
        EXPECT_TRUE(FileExists(path)) << read;
    }
    struct Releaser : IUnknown {
        ULONG refs = 1;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = this; return S_OK; }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    } releaser;
    m = STGMEDIUM{};
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = Block("xyz", 3);
    m.pUnkForRelease = &releaser;
    ASSERT_EQ(object->SetData(&f, &m, FALSE), S_OK);
    GlobalFree(m.hGlobal);
    EXPECT_EQ(releaser.refs, 1u);
    ASSERT_EQ(object->GetData(&f, &m), S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(m.hGlobal)), 3), "xyz");
    GlobalUnlock(m.hGlobal);
    ReleaseStgMedium(&m);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(releaser.refs, 1u);

    // Freeing an object made for the clipboard ends a pending copy, unless the tree flushes.
    tree->SetRootNodeCount(2);
    PVirtualNode first = tree->GetFirst();
    for (int round = 0; round < 3; ++round) {
        const bool flushing = round == 1, forClipboard = round < 2, kept = flushing || !forClipboard;
        first->States |= vsCutOrCopy;
        tree->DoStateChange(tsCopyPending | (flushing ? TVirtualTreeStates(tsClipboardFlushing) : 0), 0);
        (new TVTDataObject(tree, forClipboard))->Release();
        EXPECT_EQ(tree->HasState(tsCopyPending), kept) << round;
        EXPECT_EQ((first->States & vsCutOrCopy) != 0, kept) << round;
        tree->DoStateChange(0, tsCopyPending | tsClipboardFlushing);
        first->States &= ~vsCutOrCopy;
    }
}

namespace ole_test {

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
    si.hStdOutput = si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + Utf8ToWide(ExeFolder() + "vt_ole_clip_reader.exe") + L"\"";
    exitCode = 99;
    const bool started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        testing_support::PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 20000);
        TerminateProcess(pi.hProcess, 98); // no effect once it ended
        WaitForSingleObject(pi.hProcess, 5000);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        char buf[512];
        DWORD n = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n)
            out.append(buf, n);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return out;
}

} // namespace ole_test

using ole_test::RunClipReader;

TEST_F(VTOle, ClipboardRoundTripInThisProcessAndToAnother)
{
    const char* names[] = {"Альфа", "Beta", "Гамма & <b>"};
    strings->OnGetText = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::string& text) {
        text = names[node->Index];
    };
    MultiSelect(strings);
    strings->SetRootNodeCount(3);
    strings->SetSelected(strings->GetFirst()->NextSibling->NextSibling, true);
    strings->SetSelected(strings->GetFirst(), true);
    IDataObject* object = new TVTDataObject(strings, true);
    ASSERT_EQ(OleSetClipboard(object), S_OK);
    object->Release(); // the clipboard holds it now

    IDataObject* clip = nullptr;
    ASSERT_EQ(OleGetClipboard(&clip), S_OK);
    const std::vector<CLIPFORMAT> formats = EnumFormats(clip);
    EXPECT_EQ(formats.front(), Cf(L"Sorvel Data"));
    EXPECT_NE(std::find(formats.begin(), formats.end(), CF_UNICODETEXT), formats.end());
    EXPECT_EQ(VTTreeFromDataObject(clip), strings);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(VTReadNativeData(clip, Cf(L"Sorvel Data"), bytes));
    TBaseVirtualTree target(nullptr);
    ReadNodes(target, bytes);
    EXPECT_EQ(target.RootNodeCount(), 2u);
    clip->Release();

    DWORD exitCode = 0;
    EXPECT_EQ(RunClipReader(exitCode), "Альфа\r\nГамма & <b>\r\n");
    EXPECT_EQ(exitCode, 0u);

    // The application's rendering comes before the tree's own.
    strings->OnRenderOLEData = [](TBaseVirtualTree*, const FORMATETC& f, STGMEDIUM& m, bool, HRESULT& result) {
        if (f.cfFormat == CF_UNICODETEXT) {
            m.tymed = TYMED_HGLOBAL;
            m.hGlobal = Block(L"mine", 10);
            result = S_OK;
        }
    };
    object = new TVTDataObject(strings, true);
    ASSERT_EQ(OleSetClipboard(object), S_OK);
    object->Release();
    EXPECT_EQ(RunClipReader(exitCode), "mine");
}

// ---------------------------------------------------------------------------
// Format list: entries for test-only tree classes, so no other tree sees them.

namespace {
class TOleTestTree : public TBaseVirtualTree {
    using TBaseVirtualTree::TBaseVirtualTree;
};
class TOleOtherTestTree : public TBaseVirtualTree {
    using TBaseVirtualTree::TBaseVirtualTree;
};
} // namespace

TEST_F(VTOle, FormatListNamesOrdersAndFindsFormats)
{
    const int before = TClipboardFormatList::Count();
    TClipboardFormatList::AddFormat(0, IsTreeOfClass<TOleTestTree>, 10); // no standard format 0
    EXPECT_EQ(TClipboardFormatList::Count(), before);
    TClipboardFormatList::AddFormat(CF_DIB, IsTreeOfClass<TOleTestTree>, 60);
    TClipboardFormatList::AddFormat(Cf(L"Brenix list test"), IsTreeOfClass<TOleTestTree>, 40);
    EXPECT_EQ(TClipboardFormatList::Add("Brenix twice", IsTreeOfClass<TOleTestTree>, 45), Cf(L"Brenix twice"));
    TClipboardFormatList::Add("BRENIX TWICE", IsTreeOfClass<TOleOtherTestTree>, 46);
    EXPECT_EQ(TClipboardFormatList::Count(), before + 4);

    TOleTestTree mine(nullptr);
    std::vector<std::string> names;
    for (const TClipboardFormatEntry* e : TClipboardFormatList::EnumerateFormats(&mine))
        names.push_back(e->Description);
    EXPECT_EQ(names, (std::vector<std::string>{"Brenix list test", "Brenix twice", "Sorvel Data", "DIB image"}));
    const TClipboardFormatEntry* csv = TClipboardFormatList::FindFormat(std::string("csv"));
    ASSERT_NE(csv, nullptr);
    EXPECT_EQ(csv->FormatEtc.cfFormat, Cf(L"CSV"));
    const TClipboardFormatEntry* twice = TClipboardFormatList::FindFormat(std::string("brenix twice"));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->Description, "BRENIX TWICE"); // the later registration
    EXPECT_EQ(TClipboardFormatList::FindFormat(std::string("no such format")), nullptr);
}

// An entry found stays where it is while others are registered before it.
TEST_F(VTOle, AFormatEntryFoundStaysWhileOthersAreRegistered)
{
    const TClipboardFormatEntry* csv = TClipboardFormatList::FindFormat(std::string("CSV"));
    ASSERT_NE(csv, nullptr);
    // (Formats of no tree, so that no other test meets them.)
    const TTreeClassCheck noTree = [](const TBaseVirtualTree*) { return false; };
    for (int i = 0; i < 20; ++i)
        TClipboardFormatList::Add("Brenix early " + std::to_string(i), noTree, 0);
    EXPECT_EQ(csv->Description, "CSV");
    EXPECT_EQ(csv->FormatEtc.cfFormat, Cf(L"CSV"));
}

// ---------------------------------------------------------------------------
// Drag manager

namespace {

struct DropLog {
    std::vector<TDragState> states;
    std::vector<TObject*> sources;
    int drops = 0;
    TObject* dropSource = nullptr;
    std::vector<CLIPFORMAT> dropFormats;
};

void Watch(TBaseVirtualTree* tree, DropLog& log, bool accept = true)
{
    tree->OnDragOver = [&log, accept](TBaseVirtualTree*, TObject* source, TShiftState, TDragState state, POINT,
                                      TDropMode, DWORD& effect, bool& accepted) {
        log.states.push_back(state);
        log.sources.push_back(source);
        accepted = accept;
        effect = DROPEFFECT_COPY;
    };
    tree->OnDragDrop = [&log](TBaseVirtualTree*, TObject* source, IDataObject*, const std::vector<CLIPFORMAT>& formats,
                              TShiftState, POINT, DWORD& effect, TDropMode) {
        ++log.drops;
        log.dropSource = source;
        log.dropFormats = formats;
        effect = DROPEFFECT_MOVE; // what the drop did, back to the source
    };
}

using VTOleWindow = ops_test::TreeOnForm<TVirtualStringTree>;

} // namespace

TEST_F(VTOleWindow, DropTargetSourceTreeForgedReferenceAndErrors)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    testing_support::ClearCaughtErrors();
    DropLog log;
    Watch(tree, log);
    TBaseVirtualTree other(nullptr);
    IDataObject* data = new TVTDataObject(&other, false);
    IVTDragManager* manager = tree->DragManager();
    EXPECT_EQ(tree->DragManager(), manager); // made once
    IDropTarget* target = nullptr;
    ASSERT_EQ(manager->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&target)), S_OK);
    IDropSource* source = nullptr;
    ASSERT_EQ(manager->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&source)), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON | MK_RBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON | MK_CONTROL), S_OK);
    EXPECT_EQ(source->GiveFeedback(DROPEFFECT_MOVE), DRAGDROP_S_USEDEFAULTCURSORS);
    source->Release();

    const POINTL pt{10, 10};
    DWORD effect = DROPEFFECT_MOVE | DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_TRUE(manager->GetIsDropTarget());
    EXPECT_EQ(manager->GetDragSource(), &other);
    IDataObject* dragged = manager->GetDataObject();
    EXPECT_EQ(dragged, data);
    dragged->Release();
    EXPECT_EQ(target->Drop(data, 0, pt, &effect), S_OK);
    EXPECT_FALSE(manager->GetIsDropTarget());
    EXPECT_EQ(log.sources, (std::vector<TObject*>{&other}));
    EXPECT_EQ(log.dropSource, &other);
    EXPECT_EQ(log.dropFormats, (std::vector<CLIPFORMAT>{Cf(L"Sorvel Data"), Cf(L"Sorvel Reference")}));

    // A forged reference (our process id, an address that is no tree) is foreign.
    log = DropLog{};
    IDataObject* forged = Holding(Cf(L"Sorvel Reference"), Reference(GetCurrentProcessId(), &log));
    EXPECT_EQ(target->DragEnter(forged, MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(manager->GetDragSource(), nullptr);
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_EQ(log.states, (std::vector<TDragState>{dsDragEnter, dsDragLeave}));
    EXPECT_EQ(log.sources, (std::vector<TObject*>{nullptr, nullptr}));
    forged->Release();
    // A refusing handler gives no effect, and a drop without one fails.
    Watch(tree, log, false);
    target->DragEnter(data, MK_LBUTTON, pt, &effect);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(target->Drop(data, 0, pt, &effect), E_FAIL);

    // Errors stay inside the COM methods and reach the application.
    tree->OnDragOver = [](TBaseVirtualTree*, TObject*, TShiftState, TDragState, POINT, TDropMode, DWORD&, bool&) {
        throw std::runtime_error("drag over failed");
    };
    tree->OnRenderOLEData = [](TBaseVirtualTree*, const FORMATETC&, STGMEDIUM&, bool, HRESULT&) {
        throw std::runtime_error("render failed");
    };
    IDataObject* own = new TVTDataObject(tree, false);
    FORMATETC f = Fmt(Cf(L"Sorvel Data"));
    STGMEDIUM m{};
    EXPECT_EQ(target->DragEnter(own, MK_LBUTTON, pt, &effect), E_UNEXPECTED);
    EXPECT_EQ(own->GetData(&f, &m), E_UNEXPECTED);
    EXPECT_EQ(testing_support::CaughtErrors(), (std::vector<std::string>{"drag over failed", "render failed"}));
    target->DragLeave();

    // The tree goes while OLE could still hold its drop target: calls find no tree.
    delete form;
    form = nullptr;
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(own, MK_LBUTTON, pt, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(target->Drop(own, 0, pt, &effect), S_OK);
    EXPECT_EQ(own->GetData(&f, &m), E_FAIL);
    own->Release();
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
        for (TVirtualStringTree** t : {&source, &target}) {
            *t = new TVirtualStringTree(form);
            (*t)->SetBounds(t == &source ? 5 : 300, 5, 250, 200);
            (*t)->SetParent(form);
            (*t)->SetRootNodeCount(3);
        }
        form->Show();
        target->HandleNeeded();
        testing_support::Pump(50);
        // The window registered itself as drop target when it was made.
        target->DragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&dropTarget));
        ASSERT_EQ(RegisterDragDrop(target->Handle(), dropTarget), DRAGDROP_E_ALREADYREGISTERED);
    }
    void TearDown() override
    {
        if (dropTarget)
            dropTarget->Release();
        delete form;
        OleUninitialize();
    }

    // With the left button pressed below the trees, DoDragDrop runs with the
    // source tree's data while a helper thread moves to the target and sends `finish`.
    HRESULT Drag(const std::vector<INPUT>& finish, DWORD& effect)
    {
        const POINT start = form->ClientToScreen(POINT{100, 240}), end = target->ClientToScreen(POINT{60, 8});
        INPUT button{};
        button.type = INPUT_MOUSE;
        button.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        EXPECT_TRUE(testing_support::SendInputPumping(testing_support::MouseMoveTo(start), 50));
        EXPECT_TRUE(testing_support::SendInputPumping({button}, 50));
        std::thread mover([start, end, finish] {
            for (int i = 1; i <= 12; ++i) {
                Sleep(40);
                std::vector<INPUT> move = testing_support::MouseMoveTo(
                    POINT{start.x + (end.x - start.x) * i / 12, start.y + (end.y - start.y) * i / 12});
                SendInput(static_cast<UINT>(move.size()), move.data(), sizeof(INPUT));
            }
            for (INPUT in : finish) {
                Sleep(100);
                SendInput(1, &in, sizeof(INPUT));
            }
        });
        IDataObject* data = source->DragManager()->GetDataObject();
        IDropSource* dropSource = nullptr;
        source->DragManager()->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&dropSource));
        effect = DROPEFFECT_NONE;
        const HRESULT hr = DoDragDrop(data, dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
        mover.join();
        button.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        if (GetAsyncKeyState(VK_LBUTTON) & 0x8000)
            testing_support::SendInputPumping({button}, 50);
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
