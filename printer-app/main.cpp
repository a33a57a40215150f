// vexao-printer-app: an IPP Everywhere printer application on PAPPL for
// printers of the vexao105 command language. Clients send PWG raster, Apple
// raster, JPEG or PNG; PAPPL decodes them and the drivers print the lines
// through libvexao105. PAPPL's main loop supplies the sub-commands.
#include <pappl/pappl.h>

#include <cstring>

#include "printer-app/drivers.h"
#include "printer-app/server.h"
#include "printer-app/server_socket.h"

namespace {

// The sub-command: the first argument that is neither an option nor an
// option's value.
const char* subCommandOf(int argc, char** argv) {
    static const char kValuedOptions[] = "adjmnotuv";
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') return argv[i];
        if (argv[i][1] != '\0' && argv[i][2] == '\0' && std::strchr(kValuedOptions, argv[i][1]) != nullptr) ++i;
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vexao::printer_app;
    if (!checkSocketVariable()) return 1;
    // Only the server keeps state; other sub-commands that need a system
    // object, such as `drivers`, leave no files behind.
    static ServerRole role;
    const char* subCommand = subCommandOf(argc, argv);
    role.keepsState = std::strcmp(subCommand, "server") == 0;
    return papplMainloop(argc, argv, VEXAO_VERSION, nullptr, driverCount(), drivers(), driverForDevice, fillDriver,
                         nullptr, nullptr, createSystem, showUsage, &role);
}
