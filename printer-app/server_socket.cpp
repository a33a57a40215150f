#include "printer-app/server_socket.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "printer-app/library_override.h"
#include "printer-app/server.h"

namespace vexao::printer_app {
namespace {

const char* privateSocket() {
    const char* path = std::getenv(kSocketVariable);
    return path != nullptr && *path != '\0' ? path : nullptr;
}

// Root's socket when no variable names one.
std::string rootSocket() { return std::string(kRootSocketFolder) + "/" + kAppName + ".sock"; }

}  // namespace

bool checkSocketVariable() {
    const char* path = privateSocket();
    if (path == nullptr) return true;
    if (*path == '/' && std::strlen(path) < sizeof(sockaddr_un::sun_path)) return true;
    std::fprintf(stderr, "%s: %s must be an absolute path of fewer than %zu characters, not \"%s\"\n", kAppName,
                 kSocketVariable, sizeof(sockaddr_un::sun_path), path);
    return false;
}

bool makeSocketFolder() {
    if (privateSocket() != nullptr || getuid() != 0) return true;
    if ((mkdir(kRootSocketFolder, 0755) == 0 || errno == EEXIST) && chmod(kRootSocketFolder, 0755) == 0) return true;
    std::fprintf(stderr, "%s: cannot make the socket folder %s: %s\n", kAppName, kRootSocketFolder, std::strerror(errno));
    return false;
}

}  // namespace vexao::printer_app

// PAPPL's main loop asks this for the socket of the server run by `uid`,
// both to listen on it and to connect to it (a user's sub-command tries its
// own server, then root's).
VEXAO_OVERRIDES_LIBRARY char* _papplMainloopGetServerPath(const char* baseName, uid_t uid, char* buffer,
                                                           size_t size) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    using Next = char* (*)(const char*, uid_t, char*, size_t);
    static const Next pappl = libraryDefinition<Next>("_papplMainloopGetServerPath");
    if (const char* path = privateSocket(); path != nullptr || uid == 0 || pappl == nullptr) {
        std::snprintf(buffer, size, "%s", path != nullptr ? path : uid == 0 ? rootSocket().c_str() : "");
        return buffer;
    }
    return pappl(baseName, uid, buffer, size);
}
