// A window whose messages go to a member function of the object that owns it: the object is
// kept in the window's user data, and the window procedure is made once here for every window
// and owner.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kelvane {

// Messages for the owner's window go to its handler; any other (before the owner is attached,
// or for another window of the same owner) to the default procedure.
template <typename Owner, HWND Owner::*kHandle, LRESULT (Owner::*kHandler)(UINT, WPARAM, LPARAM)>
LRESULT CALLBACK OwnedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->*kHandle != window) return DefWindowProcW(window, message, wParam, lParam);
  return (self->*kHandler)(message, wParam, lParam);
}

// Makes `owner` the owner of the window `owner->*kHandle` and sends it the window's messages.
template <typename Owner, HWND Owner::*kHandle, LRESULT (Owner::*kHandler)(UINT, WPARAM, LPARAM)>
void AttachOwner(Owner* owner) {
  SetWindowLongPtrW(owner->*kHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  SetWindowLongPtrW(owner->*kHandle, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&OwnedWindowProc<Owner, kHandle, kHandler>));
}

}  // namespace kelvane
