#pragma once
// Internal to the toolkit: how the loops hand one window message on.

#include <windows.h>

namespace gui::detail {

// Top-level windows of the toolkit carry this property, so that dialog keys work in them.
inline constexpr wchar_t kFormProperty[] = L"korekta.form";

// Keyboard navigation for the toolkit's windows (Tab, Enter, Escape), then the usual
// translate and dispatch.
void DispatchLoopMessage(MSG& msg);

} // namespace gui::detail
