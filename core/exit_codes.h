#pragma once
// Exit codes of both programs, for scripts that run them.

namespace zk {

// Built, or every entry extracted and checked.
constexpr int EXIT_CODE_DONE = 0;
// The build or the extraction failed or was aborted.
constexpr int EXIT_CODE_FAILED = 1;
// A switch on the command line was not understood; nothing was done.
constexpr int EXIT_CODE_BAD_SWITCH = 2;

} // namespace zk
