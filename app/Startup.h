#pragma once
// The start-up steps that WinMain runs in order, kept apart so that tests can run them.

#include "gui/Application.h"

// The user's regional time separator; ":" when the setting cannot be read.
wchar_t RegionalTimeSeparator();

// Steps 2 to 4: the fixed date and time formats, with the regional time separator.
void FixStartFormats();

// Step 7: the six windows, created hidden, main window first, FTP transfer window last.
void CreateWindowSet(gui::Application& app);
