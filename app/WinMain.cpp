// Entry point of Dovetrak3.exe.
#include <windows.h>

#include "app/TvxApp.h"
#include "framework/CommandLine.h"
#include "framework/TimeSeam.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    tvx::timeseam::InitFromEnvironment();
    tvx::CTVXApp app;
    return app.Main(instance, tvx::ParseProcessCommandLine());
}
