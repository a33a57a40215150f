// vexao-printer-app: an IPP Everywhere printer application on PAPPL for
// printers of the vexao105 command language. Clients send PWG raster, Apple
// raster, JPEG or PNG; PAPPL decodes them and the drivers print the lines
// through libvexao105. PAPPL's main loop supplies the sub-commands.
#include <pappl/pappl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tools/printer-app/drivers.h"
#include "tools/printer-app/server.h"
#include "tools/printer-app/server_socket.h"

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

// The value of option `-X` (as "-X VALUE" or "-XVALUE"), or null.
const char* optionValue(int argc, char** argv, char name) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] == name)
            return argv[i][2] != '\0' ? argv[i] + 2 : (i + 1 < argc ? argv[i + 1] : nullptr);
    return nullptr;
}

// PAPPL takes a file:// device only when the file or folder is there: `add`
// creates an empty file for a device file that does not exist yet, so that a
// printer can write to a new file.
void createDeviceFile(int argc, char** argv) {
    const char* uri = optionValue(argc, argv, 'v');
    const char* kScheme = "file://";
    if (uri == nullptr || std::strncmp(uri, kScheme, std::strlen(kScheme)) != 0) return;
    std::string path = uri + std::strlen(kScheme);
    path = path.substr(0, path.find('?'));
    if (path.empty() || path.back() == '/' || access(path.c_str(), F_OK) == 0) return;
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file >= 0) close(file);
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
    if (std::strcmp(subCommand, "add") == 0 || std::strcmp(subCommand, "modify") == 0) createDeviceFile(argc, argv);
    return papplMainloop(argc, argv, VEXAO_VERSION, nullptr, driverCount(), drivers(), driverForDevice, fillDriver,
                         nullptr, nullptr, createSystem, showUsage, &role);
}
