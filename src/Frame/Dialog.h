// The base of the program's modal dialogs: a dialog border, centred on the
// screen, and a panel along the bottom with the OK and Cancel buttons (modal
// results mrOk and mrCancel; Enter presses OK, Esc Cancel). ApplyLanguage
// runs each time the dialog is shown.
#pragma once
#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/StdCtrls.h"

// Sizes the form so that its client area is width x height.
void SetFormClientSize(TForm& form, int width, int height);
int FormClientWidth(TForm& form);
int FormClientHeight(TForm& form);

// The program's dialogs are made once, on first use, and kept: the one in
// slot is freed (and slot cleared) when the application's message loop ends.
template <class T>
T& DialogOnce(T*& slot)
{
    if (!slot) {
        slot = new T(nullptr);
        T** at = &slot;
        Application().AddLoopEndHandler([at] {
            T* form = *at;
            *at = nullptr;
            delete form;
        });
    }
    return *slot;
}

class TDialogForm : public TForm {
public:
    explicit TDialogForm(TComponent* owner);

    TPanel* Panel1;
    TButton* OkButton;
    TButton* CancelButton;

    // Captions from the language strings; here the Cancel button's.
    virtual void ApplyLanguage();

    void WndProc(TMessage& message) override;

private:
    void PlaceButtons();
};
