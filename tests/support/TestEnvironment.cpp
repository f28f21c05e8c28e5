#include "TestEnvironment.h"

#include "gui/Application.h"
#include "util/DateTime.h"

void PrepareTestEnvironment() {
    gui::Application::Instance().SetBackend(gui::Backend::Headless);
    FixStartupFormats(L':');
}
