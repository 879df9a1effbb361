// The link between a toolbar item and an action: each property counts as
// linked while the item's value still equals the action's, and a change of
// the action reaches the item only for linked properties.
#pragma once
#include "platform/Actions.h"
#include "toolbars/TBItems.h"

class TTBCustomItemActionLink : public TActionLink {
public:
    explicit TTBCustomItemActionLink(TTBCustomItem* client) : TActionLink(client), item_(client) {}
    TTBCustomItem* Item() const { return item_; }

    bool IsCaptionLinked() const override;
    bool IsCheckedLinked() const override;
    bool IsEnabledLinked() const override;
    bool IsHelpContextLinked() const override;
    bool IsHintLinked() const override;
    bool IsImageIndexLinked() const override;
    bool IsShortCutLinked() const override;
    bool IsVisibleLinked() const override;
    // Linked while OnClick is the handler the link copied from the action.
    bool IsOnExecuteLinked() const override;

    void SetCaption(const std::string& value) override;
    void SetChecked(bool value) override;
    void SetEnabled(bool value) override;
    void SetHelpContext(int value) override;
    void SetHint(const std::string& value) override;
    void SetImageIndex(int value) override;
    void SetShortCut(TShortCut value) override;
    void SetVisible(bool value) override;
    void SetOnExecute(const TNotifyEvent& value) override;

private:
    TTBCustomItem* item_;
};
