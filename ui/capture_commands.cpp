// The capture start and stop commands of the main window.
#include "ui/main_frame.h"

namespace zelpan {

void InstallCaptureCommands(CMainFrame&) {}

}  // namespace zelpan
