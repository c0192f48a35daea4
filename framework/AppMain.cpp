// Process entry of both programs: hands over to the one application object.
#include <windows.h>
#include "CWinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  // Whatever escapes start-up or the message loop is reported; the process then ends with a
  // failure code instead of being torn down by the runtime.
  try {
    return app->WinMainEntry(instance, cmdLine, cmdShow);
  } catch (...) {
    AfxReportCurrentException();
    return 1;
  }
}
