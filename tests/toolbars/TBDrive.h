// Real input from a driver thread while the GUI thread pumps or sits in a
// menu loop.
#pragma once

#include <windows.h>

#include <functional>

namespace tb_test {

// Runs the script on a driver thread while this thread pumps. A script that
// gives up (a failed assertion) with a menu still open does not leave this
// thread in the menu loop: the driver closes the menus left open.
void Drive(const std::function<void()>& script, DWORD pumpAfterMs = 100);

// Polls the predicate every 20 ms for up to ms; works from any thread.
bool WaitFor(const std::function<bool()>& pred, DWORD ms = 20000);

} // namespace tb_test
