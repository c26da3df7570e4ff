#pragma once
// One build as the window that starts it sees it: what to build, whom to
// tell, where the progress goes and where the outcome comes back. The build
// thread (BuildWorker) reads the settings, talks only through the two
// interfaces and writes its outcome before the state becomes finished.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "builder/engine/build_progress.h"
#include "builder/engine/build_settings.h"
#include "core/user_message.h"

namespace zk {

// Values the completion page shows after a successful build.
struct BuildStatistics {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0; // files whose size is not 0
    uint64_t nTotalSize = 0;    // uncompressed bytes of all files
    uint64_t nStreamBytes = 0;  // bytes of the data stream only
    uint32_t nElapsedSeconds = 0;
};

// Build state and result: one byte each, shared with the window thread.
enum : uint8_t { BUILD_STATE_NONE = 0, BUILD_STATE_RUNNING = 1, BUILD_STATE_FINISHED = 2 };
enum : uint8_t { BUILD_RESULT_OK = 0, BUILD_RESULT_FAILED = 1, BUILD_RESULT_ABORTED = 2 };

// The state and result bytes of a build and the two ways they change
// together. The window owns one for every build it runs.
class BuildFlags {
public:
    // 0 none, 1 running, 2 finished; written by the build only.
    std::atomic<uint8_t> m_nState{BUILD_STATE_NONE};
    // 0 at start; the abort button stores 2; any non-zero value read while
    // the build runs means stop. At the end: 0 success, 1 failure, 2
    // aborted or nothing to store.
    std::atomic<uint8_t> m_nResult{BUILD_RESULT_OK};

    // The abort button: asks a build that has not finished to stop. The
    // build may already be past its last test of the flag; it then keeps
    // its success. Once the state is finished the result never changes.
    void RequestAbort();
    // The build's last step: the final result and the finished state
    // together, so that no abort request falls between the two. A failure
    // keeps an abort or "nothing to store" (2) already recorded; a success
    // is a success whatever was asked after the last test of the flag.
    void Finish(bool failed);

private:
    std::mutex m_lock;
};

struct BuildJob {
    BuildSettings settings;
    IUserDialogue* pDialogue = nullptr; // questions and messages; never null
    BuildProgress* pProgress = nullptr; // never null
    BuildFlags* pFlags = nullptr;       // never null

    // Written by the build thread before the state becomes finished.
    BuildStatistics stats;       // after a success only
    bool bStatistics = false;    // stats hold a successful build's figures
    uint32_t nRaisedSplitMB = 0; // 0 unless the user agreed to a larger volume size
    std::wstring strFailingPath;
    std::wstring strFailureMessage;
};

} // namespace zk
