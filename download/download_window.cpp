#include "download/download_window.h"

std::string downloadTo;
std::string downloadFrom;

// Placeholder until the window exists: no download, so the cache route fails.
bool downloadInstallAgentFromQZ(const char*, ErrorReporter) { return false; }

int CallNSApplicationMain(int, const char**) { return 0; }
