#include "fvFrTestSupport.h"

#include "Classes/FahSettings.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/Input.h"

using namespace testing_support;

namespace fv_test {

namespace {

DWORD FailingConnect(const std::string&)
{
    return ERROR_BAD_NETPATH;
}

}  // namespace

POINT CellCentre(TfvFrame& frame, PVirtualNode node, int column)
{
    RECT r = frame.VSTree->NodeDisplayRect(node, column, false);
    return frame.VSTree->ClientToScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

void MoveMouse(POINT p)
{
    SendInputPumping(MouseMoveTo(p));
    SendInputPumping(MouseMoveTo(p));
}

size_t Sink::Count(UINT msg) const
{
    size_t n = 0;
    for (UINT m : Messages)
        n += m == msg;
    return n;
}

LRESULT Sink::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_USER)
        Messages.push_back(msg);
    return THiddenWindow::WndProc(msg, wParam, lParam);
}

HeldFile::HeldFile(const std::string& path)
{
    h_ = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h_, INVALID_HANDLE_VALUE) << path;
}

HeldFile::~HeldFile()
{
    if (h_ != INVALID_HANDLE_VALUE)
        CloseHandle(h_);
}

void FvFrameTest::SetUp()
{
    TRegistry().DeleteKey(kKey);
    SetFahSettingsPathForTesting(kKey);
    TFah::SetFileReadPause(0);
    TFah::SetNetConnectForTesting(&FailingConnect);
    ClearCaughtErrors();
    dir = std::make_unique<TempDir>("fv");
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 1250, 900);
    frame = new TfvFrame(form);
    frame->SetParent(form);
    frame->SetTargetWindow(sink.Handle());
    if (HaveDisplay()) {
        form->Show();
        Pump(50);
    }
}

void FvFrameTest::TearDown()
{
    delete form;   // the rows free their clients, whose threads stop
    form = nullptr;
    PumpUntil([] { return TPrevLogReader::Running() == 0; }, 20000);
    Pump(20);
    dir.reset();
    TFah::SetNetConnectForTesting(nullptr);
    TFah::SetFileReadPause(100);
    SetFahSettingsPathForTesting("");
    TRegistry().DeleteKey(kKey);
    EXPECT_TRUE(CaughtErrors().empty()) << (CaughtErrors().empty() ? "" : CaughtErrors()[0]);
}

std::string FvFrameTest::Folder(const std::string& name, const std::map<std::string, std::string>& files)
{
    std::string path = dir->Path() + name + "\\";
    CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr);
    for (auto& [file, source] : files)
        WriteFile(path + file, source.rfind('=', 0) == 0 ? source.substr(1) : ReadFile(RealDataFile(source)));
    return path;
}

PVirtualNode FvFrameTest::Add(const std::string& folder, const std::string& alias)
{
    TAddFahParams p;
    p.folder = folder;
    p.alias = alias;
    p.notifyWindows = {sink.Handle()};
    return frame->AddFah(p);
}

bool FvFrameTest::WaitPolled(DWORD ms)
{
    return PumpUntil(
        [&] {
            for (PVirtualNode n : frame->ClientNodes()) {
                TFahView* v = View(n);
                TFAHThread* t = v->Fah()->PollThread();
                if (t->PollCount() < 1 || t->Polling())
                    return false;
                v->Update();
                if (v->Status == fsUnknown)
                    return false;
                if (v->Status >= fsRunning && v->ProjectRcgText.empty())
                    return false;
            }
            return true;
        },
        ms);
}

void FvFrameTest::PaintList()
{
    auto inner = frame->VSTree->OnPaintText;
    frame->VSTree->OnPaintText = [&, inner](TBaseVirtualTree* sender, TCanvas& canvas, PVirtualNode node,
                                            TColumnIndex column, TVSTTextType type) {
        if (inner)
            inner(sender, canvas, node, column, type);
        painted[{node, column}] = PaintedCell{canvas.Font().Color(), canvas.Font().Style()};
    };
    painted.clear();
    frame->VSTree->Invalidate();
    UpdateWindow(frame->VSTree->Handle());
    frame->VSTree->OnPaintText = inner;
}

void FvFrameTest::SetSetting(const char* name, const TAppVariant& value)
{
    GetFahSettings().FindValue(name).StoredValue = value;
}

}  // namespace fv_test
