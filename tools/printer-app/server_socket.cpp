#include "tools/printer-app/server_socket.h"

#include <sys/types.h>
#include <sys/un.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/printer-app/library_override.h"
#include "tools/printer-app/server.h"

namespace vexao::printer_app {
namespace {

const char* privateSocket() {
    const char* path = std::getenv(kSocketVariable);
    return path != nullptr && *path != '\0' ? path : nullptr;
}

}  // namespace

bool checkSocketVariable() {
    const char* path = privateSocket();
    if (path == nullptr) return true;
    if (*path == '/' && std::strlen(path) < sizeof(sockaddr_un::sun_path)) return true;
    std::fprintf(stderr, "%s: %s must be an absolute path of fewer than %zu characters, not \"%s\"\n", kAppName,
                 kSocketVariable, sizeof(sockaddr_un::sun_path), path);
    return false;
}

}  // namespace vexao::printer_app

// PAPPL's main loop asks this for the socket of the server run by `uid`,
// both to listen on it and to connect to it (a user's sub-command tries its
// own server, then root's).
VEXAO_OVERRIDES_LIBRARY char* _papplMainloopGetServerPath(const char* baseName, uid_t uid, char* buffer,
                                                           size_t size) {
    using Next = char* (*)(const char*, uid_t, char*, size_t);
    static const Next pappl = vexao::printer_app::libraryDefinition<Next>("_papplMainloopGetServerPath");
    if (const char* path = vexao::printer_app::privateSocket(); path != nullptr || pappl == nullptr) {
        std::snprintf(buffer, size, "%s", path != nullptr ? path : "");
        return buffer;
    }
    return pappl(baseName, uid, buffer, size);
}
