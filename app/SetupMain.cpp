// setup.exe: the application object runs the start-up checks and then the wizard. Exit code: the start-up
// result (1-5) when start-up stops, else 0.
#include "InstallApp.h"

namespace {

CInstallApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) { return AfxWinMain(hInstance); }
