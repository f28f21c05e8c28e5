#pragma once
// Every component of the window toolkit.

#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/ComboBox.h"
#include "gui/Dialogs.h"
#include "gui/Edit.h"
#include "gui/Form.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/PageControl.h"
#include "gui/Panel.h"
#include "gui/Picture.h"
#include "gui/ProgressBar.h"
#include "gui/Separator.h"
#include "gui/Timer.h"
