// The string tree's in-place editor started from code, driven with real
// keys and focus changes: Enter stores the typed text through OnNewText,
// Esc and focus loss cancel, deleting the edited node cancels without
// storing, and the edit control is freed once whoever goes first.
#include <gtest/gtest.h>

#include "Lib2/VirtualTree/StringTestSupport.h"
#include "Lib2/VirtualTree/VTEditLink.h"
#include "platform/StdCtrls.h"
#include "support/Input.h"

using namespace testing_support;
using namespace vt_string_test;

namespace {

// Two columns of three rows, editable; the test holds the last editor made.
class EditLinkTest : public StringTreeWindow {
protected:
    void SetUp() override
    {
        StringTreeWindow::SetUp();
        if (IsSkipped())
            return;
        AddColumns({120, 120});
        tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
        tree->SetRootNodeCount(3);
        tree->OnGetText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, TVSTTextType,
                                 std::string& s) { s = texts[node->Index][c]; };
        tree->OnNewText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex c, const std::string& s) {
            stored.push_back(std::to_string(node->Index) + "/" + std::to_string(c) + "/" + s);
            texts[node->Index][c] = s;
        };
        tree->OnEdited = [this](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++edited; };
        tree->OnEditCancelled = [this](TBaseVirtualTree*, TColumnIndex) { ++cancelled; };
        tree->OnCreateEditor = [this](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TEditLinkPtr& link) {
            link = lastLink = std::make_shared<TStringEditLink>();
        };
        tree->SetFocus();
    }
    TVTEdit* Edit() const { return lastLink ? lastLink->Edit() : nullptr; }
    // Each key pressed and released.
    bool Type(std::initializer_list<WORD> keys)
    {
        std::vector<INPUT> in;
        for (WORD k : keys) {
            in.push_back(KeyInput(k, false));
            in.push_back(KeyInput(k, true));
        }
        return SendInputPumping(in);
    }

    std::string texts[3][2] = {{"alpha", "a2"}, {"beta", "b2"}, {"gamma", "c2"}};
    std::vector<std::string> stored;
    int edited = 0, cancelled = 0;
    std::shared_ptr<TStringEditLink> lastLink;
};

}  // namespace

TEST_F(EditLinkTest, EditingStartsOnlyWhereAllowed)
{
    EXPECT_THROW(tree->StartNodeEdit(nullptr, 0), EAssertionFailed);
    EXPECT_THROW(tree->StartNodeEdit(Node(0), 2), EAssertionFailed);
    const TVTMiscOptions misc = tree->TreeOptions().MiscOptions();
    for (TVTMiscOptions refused : {misc & ~toEditable, misc | toReadOnly}) {
        tree->TreeOptions().SetMiscOptions(refused);
        EXPECT_FALSE(tree->StartNodeEdit(Node(0), 0));
    }
    tree->TreeOptions().SetMiscOptions(misc);
    tree->OnEditing = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, bool& allowed) {
        allowed = node->Index != 1;
    };
    EXPECT_FALSE(tree->StartNodeEdit(Node(1), 0));
    EXPECT_EQ(lastLink, nullptr);
    // Without OnCreateEditor the string tree makes its own editor.
    tree->OnCreateEditor = nullptr;
    ASSERT_TRUE(tree->StartNodeEdit(Node(2), 1));
    EXPECT_TRUE(tree->IsEditingNode());
    EXPECT_NE(dynamic_cast<TStringEditLink*>(tree->EditLink()), nullptr);
    EXPECT_FALSE(tree->StartNodeEdit(Node(0), 0)) << "refused while editing";
    EXPECT_EQ(tree->FocusedNode(), Node(2));
    EXPECT_EQ(tree->FocusedColumn(), 1);
    EXPECT_TRUE(tree->CancelNodeEdit());
}

TEST_F(EditLinkTest, EnterStoresTheTypedTextOnce)
{
    ASSERT_TRUE(tree->StartNodeEdit(Node(1), 0));
    TVTEdit* edit = Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->Parent(), tree);
    EXPECT_TRUE(IsWindowVisible(edit->Handle()));
    EXPECT_TRUE(edit->Focused());
    EXPECT_EQ(edit->Text(), "beta");
    // Over the cell's text, inside the first column, in the row of the node.
    const RECT b = edit->BoundsRect();
    EXPECT_EQ(b.top, Row(1).top);
    EXPECT_EQ(b.bottom, Row(1).bottom);
    EXPECT_GE(b.left, tree->Margin());
    EXPECT_LE(b.right, 120);
    // The whole text is selected: typing replaces it.
    ASSERT_TRUE(Type({'N', 'E', 'W'}));
    EXPECT_EQ(edit->Text(), "new");
    EXPECT_TRUE(stored.empty());
    ASSERT_TRUE(Type({VK_RETURN}));
    EXPECT_EQ(stored, (std::vector<std::string>{"1/0/new"}));
    EXPECT_EQ(edited, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_TRUE(tree->Focused());
    EXPECT_EQ(tree->Text(Node(1), 0), "new");
    // Released by the tree and the control: the control freed itself.
    std::weak_ptr<void> editAlive = edit->AliveToken();
    lastLink.reset();
    Pump(50);
    EXPECT_TRUE(editAlive.expired());
    EXPECT_EQ(tree->ControlCount(), 0);
    // Enter without a change stores nothing.
    ASSERT_TRUE(tree->StartNodeEdit(Node(1), 1));
    ASSERT_TRUE(Type({VK_RIGHT, VK_RETURN}));
    EXPECT_EQ(stored.size(), 1u);
    EXPECT_EQ(edited, 2);
}

TEST_F(EditLinkTest, EscapeAndFocusLossCancelUnlessChangesAreAccepted)
{
    ASSERT_TRUE(tree->StartNodeEdit(Node(0), 0));
    ASSERT_TRUE(Type({'X', VK_ESCAPE}));
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_TRUE(tree->Focused());
    EXPECT_EQ(tree->Text(Node(0), 0), "alpha");

    // Another control takes the focus: with toAutoAcceptEditChange (the
    // default) the typed text is stored, without it the edit is cancelled.
    TEdit* other = new TEdit(form);
    other->SetBounds(5, 235, 100, 20);
    other->SetParent(form);
    ASSERT_TRUE(tree->StartNodeEdit(Node(0), 1));
    ASSERT_TRUE(Type({'Q'}));
    other->SetFocus();
    Pump(20);
    EXPECT_EQ(stored, (std::vector<std::string>{"0/1/q"}));
    EXPECT_FALSE(tree->IsEditingNode());

    tree->TreeOptions().SetStringOptions(tree->TreeOptions().StringOptions() & ~toAutoAcceptEditChange);
    tree->SetFocus();
    ASSERT_TRUE(tree->StartNodeEdit(Node(2), 0));
    ASSERT_TRUE(Type({'R'}));
    other->SetFocus();
    Pump(20);
    EXPECT_EQ(stored.size(), 1u);
    EXPECT_EQ(cancelled, 2);
    EXPECT_FALSE(tree->IsEditingNode());
}

TEST_F(EditLinkTest, DeletingTheEditedNodeOrItsParentCancelsWithoutStoring)
{
    // A typed change, toAutoAcceptEditChange set: still nothing is stored.
    ASSERT_TRUE(tree->StartNodeEdit(Node(1), 0));
    ASSERT_TRUE(Type({'Z'}));
    TVTEdit* edit = Edit();
    std::weak_ptr<void> editAlive = edit->AliveToken();
    tree->DeleteNode(Node(1));
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(IsWindowVisible(edit->Handle()));
    lastLink.reset();
    Pump(50);
    EXPECT_TRUE(editAlive.expired());

    tree->SetChildCountOf(Node(0), 2);
    tree->SetExpanded(Node(0), true);
    PVirtualNode child = Node(0)->LastChild;
    ASSERT_TRUE(tree->StartNodeEdit(child, 0));
    ASSERT_TRUE(Type({'Y'}));
    tree->DeleteNode(Node(0));
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(cancelled, 2);

    // OnNewText may delete the node it was handed.
    tree->OnNewText = [this](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, const std::string& s) {
        stored.push_back(s);
        tree->DeleteNode(node);
    };
    ASSERT_TRUE(tree->StartNodeEdit(Node(0), 0));
    ASSERT_TRUE(Type({'V', VK_RETURN}));
    EXPECT_EQ(stored, (std::vector<std::string>{"v"}));
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_EQ(tree->RootNodeCount(), 0u);
}

TEST_F(EditLinkTest, TheControlGoesOnceWhenTheTreeGoesFirst)
{
    ASSERT_TRUE(tree->StartNodeEdit(Node(0), 0));
    ASSERT_TRUE(Type({'K'}));
    std::weak_ptr<void> editAlive = Edit()->AliveToken();
    // The application still holds the link when the tree goes.
    delete tree;
    tree = nullptr;
    EXPECT_TRUE(editAlive.expired());
    EXPECT_EQ(lastLink->Edit(), nullptr);
    EXPECT_TRUE(stored.empty());
    EXPECT_FALSE(lastLink->EndEdit()) << "stopped with the tree";
    lastLink.reset();
    Pump(30);
}

TEST_F(EditLinkTest, MultilineNodesTakeEnterAsLineBreakAndEndWithCtrlEnter)
{
    tree->SetMultiLine(Node(2), true);
    tree->SetNodeHeight(Node(2), 40);
    ASSERT_TRUE(tree->StartNodeEdit(Node(2), 0));
    TVTEdit* edit = Edit();
    // The whole cell.
    EXPECT_EQ(edit->BoundsRect().bottom - edit->BoundsRect().top, 40);
    ASSERT_TRUE(Type({VK_END, 'A', VK_RETURN, 'B'}));
    EXPECT_TRUE(tree->IsEditingNode());
    EXPECT_EQ(edit->Text(), "gammaa\r\nb");
    ASSERT_TRUE(SendInputPumping(Chord({VK_CONTROL, VK_RETURN})));
    EXPECT_FALSE(tree->IsEditingNode());
    EXPECT_EQ(stored, (std::vector<std::string>{"2/0/gammaa\r\nb"}));
}

TEST_F(EditLinkTest, NarrowBoundsWidenToThirtyPixelsAndStayInTheClient)
{
    ASSERT_TRUE(tree->StartNodeEdit(Node(0), 0));
    lastLink->SetBounds(RECT{50, 0, 60, 18});
    EXPECT_EQ(lastLink->GetBounds().left, 50);
    EXPECT_EQ(lastLink->GetBounds().right, 80);
    lastLink->SetBounds(RECT{-5, 0, 9000, 18});
    EXPECT_EQ(lastLink->GetBounds().left, 0);
    EXPECT_EQ(lastLink->GetBounds().right, tree->ClientRect().right);
    // Typing past the edge widens the control to the text, inside the cell.
    lastLink->SetBounds(RECT{10, 0, 40, 18});
    ASSERT_TRUE(Type({'W', 'W', 'W', 'W', 'W', 'W'}));
    EXPECT_GT(lastLink->GetBounds().right, 40);
    EXPECT_LE(lastLink->GetBounds().right, 120);
    EXPECT_TRUE(tree->CancelNodeEdit());
    // Right-aligned: it grows to the left, and no typed character is refused.
    tree->Header().Columns()[1]->SetAlignment(TAlignment::taRightJustify);
    ASSERT_TRUE(tree->StartNodeEdit(Node(1), 1));
    const RECT before = lastLink->GetBounds();
    ASSERT_TRUE(Type({VK_END, 'X', 'Y', 'Z', 'W'}));
    EXPECT_EQ(Edit()->Text(), "b2xyzw");
    EXPECT_LT(lastLink->GetBounds().left, before.left);
    EXPECT_EQ(lastLink->GetBounds().right, before.right);
}
