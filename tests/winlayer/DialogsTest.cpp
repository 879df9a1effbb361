// The system's file dialogs through their components: the real dialog,
// driven from a helper thread.
#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/Text.h"
#include "support/DialogDriver.h"
#include "support/TestSupport.h"

using namespace testing_support;

TEST(FileDialogs, OpenStartsInTheInitialFolderAndReturnsTheChosenFile)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("dlg");
    WriteFile(dir.File("chosen file.txt"), "x");
    TOpenDialog dlg(nullptr);
    dlg.Title = "Pick one";
    dlg.InitialDir = dir.Path();
    dlg.Filter = "Text files (*.txt)|*.txt|All files|*.*";
    dlg.FilterIndex = 2;
    dlg.Options |= ofFileMustExist;
    std::string title, folder;
    DialogDriver driver([&](HWND d) {
        title = WindowText(d);
        folder = FileDialogFolder(d);
        SetFileDialogName(d, "chosen file.txt");
        PressDialogButton(d, IDOK);
    });
    ASSERT_TRUE(dlg.Execute());
    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(driver.CancelledLeftOver());
    EXPECT_EQ(title, "Pick one");
    EXPECT_TRUE(SameText(folder + "\\", dir.Path())) << folder;
    EXPECT_TRUE(SameText(dlg.FileName, dir.File("chosen file.txt"))) << dlg.FileName;
    ASSERT_EQ(dlg.Files.size(), 1u);
    EXPECT_EQ(dlg.Files[0], dlg.FileName);
    EXPECT_EQ(dlg.FilterIndex, 2);
}

TEST(FileDialogs, SaveAddsTheDefaultExtensionAndCancelChangesNothing)
{
    ASSERT_TRUE(HaveDisplay());
    TempDir dir("dlg");
    TSavePictureDialog dlg(nullptr);
    EXPECT_EQ(dlg.Filter, kPictureFilter);
    dlg.InitialDir = dir.Path();
    dlg.DefaultExt = "bmp";
    {
        DialogDriver driver([&](HWND d) {
            SetFileDialogName(d, "picture");
            PressDialogButton(d, IDOK);
        });
        ASSERT_TRUE(dlg.Execute());
    }
    EXPECT_TRUE(SameText(dlg.FileName, dir.File("picture.bmp"))) << dlg.FileName;
    DialogDriver cancel([&](HWND d) { PressDialogButton(d, IDCANCEL); });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_FALSE(cancel.CancelledLeftOver());
    EXPECT_TRUE(SameText(dlg.FileName, dir.File("picture.bmp")));
}

TEST(FileDialogs, FilterAndMultiSelectionTexts)
{
    std::wstring f = TOpenDialog::SystemFilter("A|*.a|B|*.b");
    EXPECT_EQ(f, std::wstring(L"A\0*.a\0B\0*.b\0\0", 13));
    const wchar_t several[] = L"C:\\dir\0one.txt\0two.txt\0";
    EXPECT_EQ(TOpenDialog::SplitFileList(several, true),
              (std::vector<std::string>{"C:\\dir\\one.txt", "C:\\dir\\two.txt"}));
    EXPECT_EQ(TOpenDialog::SplitFileList(L"C:\\dir\\a b.txt\0", true), std::vector<std::string>{"C:\\dir\\a b.txt"});
    EXPECT_TRUE(TOpenDialog::SplitFileList(L"", true).empty());
    DWORD flags = TOpenDialog::OptionFlags(ofHideReadOnly | ofAllowMultiSelect);
    EXPECT_EQ(flags, static_cast<DWORD>(OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT));
    EXPECT_EQ(TOpenDialog::OptionFlags(ofOldStyleDialog), 0u);
}

TEST(FileDialogs, ErrorModeScopePutsTheModeBack)
{
    UINT before = SetErrorMode(0);
    SetErrorMode(before);
    {
        TErrorModeScope scope;
        UINT inside = SetErrorMode(0);
        SetErrorMode(inside);
        EXPECT_EQ(inside & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
                  static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    }
    UINT after = SetErrorMode(0);
    SetErrorMode(after);
    EXPECT_EQ(after, before);
}
