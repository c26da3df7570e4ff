#pragma once
// "--quiet": the build without any window, for scripts. The engine runs as
// the wizard would start it, on the collected start-up paths with the saved
// settings and the switches; nobody is there to answer a question.

#include <string>

#include "builder/ui/command_switches.h"
#include "builder/settings/startup.h"

// Builds and returns the exit code. Every question gets the careful answer
// (cancel, abort, no), and the log beside the program ("Zelkora.log") gets
// the failure: a script reads it instead of a box. An archive named with
// "--output" that exists is replaced, as the script asked for that file.
int RunQuietBuild(const std::wstring& programFolder, const StartupResult& start,
                  const BuilderOverrides& overrides);
