// The settings dialog's "Update WU database": the proxy the user is trying
// out, and what came of it for the dialog to show.
#include "MainDM.h"

#include "platform/Actions.h"
#include "platform/Exceptions.h"

std::string TMainDM::UpdateFahBaseThroughEditedProxy()
{
    std::weak_ptr<void> alive = AliveToken();
    // The status texts still reach the main window; the last error is kept
    // for the dialog, in front of it.
    std::string error;
    const auto panel = Host.SetStatusPanel;
    const auto shownError = Host.SetStatusError;
    Host.SetStatusError = [panel, shownError, &error](const std::string& text) {
        error = text;
        if (shownError)
            shownError(text);
        else if (panel)
            panel(-1, text);
    };
    Host.SetStatusPanel = [panel, &error](int width, const std::string& text) {
        error.clear();   // a later status replaces an earlier error
        if (panel)
            panel(width, text);
    };
    proxyFromEdited_ = true;
    std::exception_ptr failure;
    try {
        UpdateFahBaseAction->Execute();
    } catch (...) {
        failure = std::current_exception();
    }
    if (alive.expired())
        return std::string();
    proxyFromEdited_ = false;
    Host.SetStatusPanel = panel;
    Host.SetStatusError = shownError;
    if (failure)
        std::rethrow_exception(failure);
    return error;
}
