// The program's live forms, in the order they were made, and a notice to
// observers when a form is made or freed (the theme manager collects forms
// from it).
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

class TForm;

enum class TFormNotice {
    fnCreated,      // from TForm's constructor: a derived form is not built yet
    fnDestroying,   // from TForm's destructor, while the form is still listed
};

class TScreen {
public:
    using TFormObserver = std::function<void(TForm* form, TFormNotice notice)>;

    static TScreen& Instance();

    int FormCount() const { return static_cast<int>(forms_.size()); }
    TForm* Forms(int index) const { return forms_.at(static_cast<size_t>(index)); }
    // The form whose window is this thread's active window, or nullptr.
    TForm* ActiveForm() const;
    // The forms with a window, in the screen's order: the topmost first.
    std::vector<TForm*> FormsInZOrder() const;
    // The form whose window is window's top-level ancestor (window itself
    // when it is top-level), or nullptr when that is no form of ours.
    TForm* FormOfWindow(HWND window) const;
    // The form whose window owns form's window, or nullptr.
    TForm* OwnerForm(TForm* form) const;

    // Observers are called in the order they were added; the id removes one.
    // One may add or remove observers (itself too) while it is called. An
    // exception from an observer of a freed form goes to the application's
    // handler; one from a new form's notice leaves the constructor.
    int AddFormObserver(TFormObserver observer);
    void RemoveFormObserver(int id);

    // Called by TForm only.
    void AddForm(TForm* form);
    void RemoveForm(TForm* form) noexcept;

private:
    TScreen() = default;
    void NotifyObservers(TForm* form, TFormNotice notice);

    std::vector<TForm*> forms_;
    struct Observer {
        int id;
        TFormObserver fn;
    };
    std::vector<Observer> observers_;
    int nextId_ = 1;
};

inline TScreen& Screen() { return TScreen::Instance(); }
