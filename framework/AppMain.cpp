// Process entry of both programs: hands over to the one application object.
#include <windows.h>
#include "CWinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  return app->WinMainEntry(instance, cmdLine, cmdShow);
}
