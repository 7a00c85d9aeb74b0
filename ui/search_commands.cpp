// The find, find next, jump and capture filter commands of the main window.
#include "ui/main_frame.h"

namespace zelpan {

void InstallSearchCommands(CMainFrame&) {}

}  // namespace zelpan
