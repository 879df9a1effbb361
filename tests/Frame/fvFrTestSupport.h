// The main list frame on a real form, with real client folders made from
// real client files, real client objects and their polling threads, the
// settings on a test registry key, and a window that collects what the
// frame posts to the main window.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Classes/Fah.h"
#include "Common/AppSettings.h"
#include "Frame/fvFr.h"
#include "platform/Form.h"
#include "platform/HiddenWindow.h"
#include "support/TestSupport.h"

namespace fv_test {

// Collects the frame's messages to the main window.
class Sink : public THiddenWindow {
public:
    std::vector<UINT> Messages;
    size_t Count(UINT msg) const;

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Holds a file open for writing, as a running client holds its log.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// What one cell looked like when it was last painted.
struct PaintedCell {
    COLORREF color = CLR_INVALID;
    unsigned style = 0;
};

// The screen point at the middle of a cell.
POINT CellCentre(TfvFrame& frame, PVirtualNode node, int column);
// Under Wine a moved pointer may report one more move from where it was:
// the second move puts it where it was sent.
void MoveMouse(POINT p);

class FvFrameTest : public ::testing::Test {
protected:
    static constexpr char kKey[] = "Software\\Zembrik\\BrenixTest\\FvFrame";

    void SetUp() override;
    void TearDown() override;

    // A folder in the test's temp folder with these files ("name" -> real
    // file name, or "=text" for literal text).
    std::string Folder(const std::string& name, const std::map<std::string, std::string>& files);
    PVirtualNode Add(const std::string& folder, const std::string& alias = std::string());
    TFahView* View(PVirtualNode node) { return frame->GetFahView(node); }
    // Pumps until every client's view shows a decided state (and a work unit
    // where its log has one), updating the views meanwhile.
    bool WaitPolled(DWORD ms = 10000);
    // Paints the list now and records each cell's font.
    void PaintList();
    PaintedCell Cell(PVirtualNode node, int column) { return painted[{node, column}]; }
    void SetSetting(const char* name, const TAppVariant& value);

    std::unique_ptr<testing_support::TempDir> dir;
    TForm* form = nullptr;
    TfvFrame* frame = nullptr;
    Sink sink;
    std::map<std::pair<PVirtualNode, int>, PaintedCell> painted;
};

}  // namespace fv_test
