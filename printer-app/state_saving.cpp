#include "printer-app/state_saving.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace vexao::printer_app {
namespace {

// A save takes milliseconds; a child still at work after this has met a
// lock that a thread held when it was made, which it will never see
// released.
constexpr auto kSaveLimit = std::chrono::seconds(1);
// Tries in a row: each child copies the server at a later instant, when
// those locks are likely free.
constexpr int kTriesWhileRunning = 2, kTriesAtShutdown = 10;

struct StateFile {
    std::string path, partialPath;
    bool saveFailed = false;
};

// Waits for the child to exit; ends it once the limit has passed. True
// when it saved.
bool savedBy(pid_t child) {
    auto deadline = std::chrono::steady_clock::now() + kSaveLimit;
    int status = 0;
    pid_t done;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return false;
    }
    return done == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Saves the state in a child process, which writes it beside the state file
// and then puts it in its place.
bool saveOnce(pappl_system_t* system, const StateFile& file) {
    pid_t server = getpid();
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        // A child that met a held lock must not outlive a server that died
        // meanwhile: it would keep the server's sockets open.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != server) _exit(1);
        bool saved = papplSystemSaveState(system, file.partialPath.c_str()) &&
                     std::rename(file.partialPath.c_str(), file.path.c_str()) == 0;
        _exit(saved ? 0 : 1);  // nothing of the server's to clean up: it is the parent's
    }
    if (savedBy(child)) return true;
    unlink(file.partialPath.c_str());
    return false;
}

bool save(pappl_system_t* system, StateFile& file, int tries) {
    file.saveFailed = true;
    for (int attempt = 0; attempt < tries && file.saveFailed; ++attempt) file.saveFailed = !saveOnce(system, file);
    if (file.saveFailed) papplLog(system, PAPPL_LOGLEVEL_WARN, "Cannot save the state now; trying again in a second.");
    return !file.saveFailed;
}

// PAPPL calls this on its main loop's thread after changes, and once more
// when the server shuts down, once no job is active.
bool saveAfterChange(pappl_system_t* system, void* data) {
    return save(system, *static_cast<StateFile*>(data), papplSystemIsRunning(system) ? kTriesWhileRunning : kTriesAtShutdown);
}

bool retryFailedSave(pappl_system_t* system, void* data) {
    auto& file = *static_cast<StateFile*>(data);
    if (file.saveFailed) save(system, file, kTriesWhileRunning);
    return true;
}

}  // namespace

std::string partialStateFile(const std::string& stateFile) { return stateFile + ".partial"; }

void saveStateIn(pappl_system_t* system, const std::string& stateFile) {
    static StateFile file;
    file.path = stateFile;
    file.partialPath = partialStateFile(stateFile);
    papplSystemSetSaveCallback(system, saveAfterChange, &file);
    papplSystemAddTimerCallback(system, 0, 1, retryFailedSave, &file);
}

}  // namespace vexao::printer_app
