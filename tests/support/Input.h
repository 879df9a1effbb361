// Real keyboard and mouse input for window tests: SendInput from a helper
// thread (never the GUI thread, which may sit in a modal loop), while the
// test's thread pumps its messages.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

INPUT KeyInput(WORD vk, bool up);
// The keys pressed in order and released in reverse: {VK_MENU, VK_DOWN} is Alt+Down.
std::vector<INPUT> Chord(std::initializer_list<WORD> keys);
// The characters typed as they are, whatever the keyboard layout (each a
// press and release of its Unicode character).
std::vector<INPUT> TypedText(const std::wstring& text);
// Alt held while the key that types ch on the keyboard layout is pressed
// (Wine garbles the character of Alt with a KEYEVENTF_UNICODE key).
std::vector<INPUT> AltChar(wchar_t ch);
// The mouse moved to a screen point, then the left button pressed and released there.
std::vector<INPUT> MouseClickAt(POINT screen);
// The mouse moved to a screen point.
std::vector<INPUT> MouseMoveTo(POINT screen);
// The left button pressed at the first point, the mouse moved along the
// others in steps of about 10 pixels, and released at the last.
std::vector<INPUT> MouseDrag(std::initializer_list<POINT> path);

// Sends the input from a helper thread while this thread pumps; returns once
// it was sent and the messages it caused were handled (pumping pumpAfterMs
// more). False when SendInput did not take every event.
bool SendInputPumping(const std::vector<INPUT>& inputs, DWORD pumpAfterMs = 150);

// Sends the input from a helper thread after delayMs without waiting: for a
// thread that is about to enter a modal loop. Join the thread afterwards.
std::thread SendInputLater(std::vector<INPUT> inputs, DWORD delayMs);

// For a helper thread: the window is the foreground one, its thread's
// keyboard focus is on it or inside it, and that thread is back in its
// message loop: input sent now reaches it.
bool TakesTheKeyboard(HWND window);

// For a helper thread, once TakesTheKeyboard holds, before keys sent with a
// modifier held (Alt and a letter): Wine hears of the activation from the X
// server a little later (FocusIn, KeymapNotify) and then sets the modifier
// keys to the X server's keyboard, which never saw keys sent with SendInput:
// an Alt held across that moment is let go and its letter typed plainly.
// Nothing a Windows program can ask tells when those events were handled, so
// this gives them a moment to arrive, then waits until the window's thread
// is back in its message loop (it handles them as they come). Whether it is.
bool ModifiersSettled(HWND window);

}  // namespace testing_support
