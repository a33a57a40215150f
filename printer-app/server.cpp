#include "printer-app/server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/decimal.h"
#include "printer-app/authority.h"
#include "printer-app/drivers.h"
#include "printer-app/file_devices.h"
#include "printer-app/server_socket.h"
#include "printer-app/state_saving.h"
#include "printer-app/tls_credentials.h"

namespace vexao::printer_app {
namespace {

constexpr int kDefaultPort = 8000;

struct ServerOptions {
    int port = kDefaultPort;
    std::string spoolFolder, stateFile, logFile, listenHost, authService;
    pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_INFO;
    bool fileDevices = true;
};

const char* option(const char* name, int count, cups_option_t* options) { return cupsGetOption(name, count, options); }

// Root keeps its state in /var/spool, a user under the XDG state folder.
std::string defaultSpoolFolder() {
    if (getuid() == 0) return std::string("/var/spool/") + kAppName;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        return std::string(state) + "/" + kAppName;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/tmp") + "/.local/state/" + kAppName;
}

bool parseLogLevel(const char* text, pappl_loglevel_t& level) {
    static const struct {
        const char* name;
        pappl_loglevel_t level;
    } levels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG}, {"info", PAPPL_LOGLEVEL_INFO}, {"warn", PAPPL_LOGLEVEL_WARN},
                  {"error", PAPPL_LOGLEVEL_ERROR}, {"fatal", PAPPL_LOGLEVEL_FATAL}};
    for (const auto& each : levels)
        if (std::strcmp(text, each.name) == 0) return level = each.level, true;
    return false;
}

bool readOptions(int count, cups_option_t* options, ServerOptions& server) {
    if (const char* port = option("server-port", count, options);
        port != nullptr && !vexao::driver::parseDecimal(port, 1, 65535, server.port))
        return std::fprintf(stderr, "%s: server-port must be a port number from 1 to 65535, not \"%s\"\n", kAppName, port),
               false;
    if (const char* level = option("log-level", count, options); level != nullptr && !parseLogLevel(level, server.logLevel))
        return std::fprintf(stderr, "%s: log-level must be debug, info, warn, error or fatal, not \"%s\"\n", kAppName, level),
               false;
    if (const char* devices = option("file-devices", count, options)) {
        server.fileDevices = std::strcmp(devices, "on") == 0;
        if (!server.fileDevices && std::strcmp(devices, "off") != 0)
            return std::fprintf(stderr, "%s: file-devices must be on or off, not \"%s\"\n", kAppName, devices), false;
    }
    const char* spool = option("spool-directory", count, options);
    server.spoolFolder = spool != nullptr ? spool : defaultSpoolFolder();
    server.stateFile = server.spoolFolder + "/" + kAppName + ".state";
    const char* log = option("log-file", count, options);
    server.logFile = log != nullptr ? log : server.spoolFolder + "/" + kAppName + ".log";
    if (const char* host = option("listen-hostname", count, options)) server.listenHost = host;
    if (const char* auth = option("auth-service", count, options)) server.authService = auth;
    return true;
}

// Creates the folder and those above it. The spool keeps jobs, so only the
// server's user reads it, even when an earlier folder was open to others.
bool makePrivateFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && chmod(path.c_str(), 0700) == 0;
}

// A file that an earlier run may have left open to others.
bool makePrivateFile(const std::string& path) { return chmod(path.c_str(), 0600) == 0 || errno == ENOENT; }

// PAPPL lets a client act on a job, a document sent to it for one, only
// under the name of the job's owner. Nobody authenticates here, so the name
// is the request's requesting-user-name, or "guest", as PAPPL names the
// owner of a job it creates.
void nameTheClient(pappl_client_t* client) {
    ipp_t* request = papplClientGetRequest(client);
    ipp_attribute_t* name = request != nullptr ? ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME) : nullptr;
    papplClientSetUsername(client, name != nullptr ? ippGetString(name, 0, nullptr) : "guest");
}

// Reading a job's attributes changes nothing, and the printer's job list
// shows every job's state to anyone.
bool onlyReadsTheJob(pappl_client_t* client) {
    ipp_t* request = papplClientGetRequest(client);
    return request != nullptr && ippGetOperation(request) == IPP_OP_GET_JOB_ATTRIBUTES;
}

// Without an authentication service PAPPL asks this callback whether a
// network client may print (with the printer's print group) or act on
// another owner's job (with the admin group). Clients print under the name
// they give, over TLS from other machines as PAPPL asks, and read any job;
// on the network nobody acts on another's job as an administrator would.
// Administration itself is decided by papplClientIsAuthorized (authority.h).
http_status_t printUnderTheGivenName(pappl_client_t* client, const char* group, gid_t, void*) {
    if (group != nullptr && std::strcmp(group, kAdministrationGroup) == 0)
        return onlyReadsTheJob(client) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN;
    nameTheClient(client);
    return HTTP_STATUS_CONTINUE;
}

// With an authentication service PAPPL checks the admin group of the
// accounts PAM accepts; set after the saved state, which may name another.
void setAuthority(pappl_system_t* system, bool authService) {
    papplSystemSetAdminGroup(system, kAdministrationGroup);
    if (!authService) papplSystemSetAuthCallback(system, nullptr, printUnderTheGivenName, nullptr);
}

// PAPPL's main loop sleeps until its next timer, half a minute when idle,
// and notices a shutdown request (the `shutdown` sub-command) only then; a
// timer each second makes the server stop at once.
bool wakeMainLoop(pappl_system_t*, void*) { return true; }

std::string credentialsFolder(const ServerOptions& server) { return server.spoolFolder + "/ssl"; }

// Everything the server keeps lives in the spool folder: jobs, the saved
// state, the log by default, and the TLS credentials in its ssl folder. All
// of it is private: the folders 0700, the files 0600.
bool makeStateFolders(const ServerOptions& server) {
    for (const std::string& folder : {server.spoolFolder, credentialsFolder(server)})
        if (!makePrivateFolder(folder)) {
            std::fprintf(stderr, "%s: cannot make the private folder %s: %s\n", kAppName, folder.c_str(),
                         std::strerror(errno));
            return false;
        }
    for (const std::string& file : {server.stateFile, server.logFile})
        if (file.compare(0, server.spoolFolder.size() + 1, server.spoolFolder + "/") == 0 && !makePrivateFile(file)) {
            std::fprintf(stderr, "%s: cannot make %s private: %s\n", kAppName, file.c_str(), std::strerror(errno));
            return false;
        }
    keepCredentialsIn(credentialsFolder(server));
    return true;
}

// The places file devices may not touch: what the server keeps.
FileDevicePlaces fileDevicePlaces(const ServerOptions& server) {
    FileDevicePlaces places;
    places.allowed = server.fileDevices;
    places.spoolFolder = resolvedPath(server.spoolFolder);
    for (const std::string& kept :
         {server.stateFile, partialStateFile(server.stateFile), server.logFile, credentialsFolder(server)})
        if (std::string resolved = resolvedPath(kept); !resolved.empty()) places.reserved.push_back(resolved);
    return places;
}

// PAPPL advertises through the DNS-SD daemon; without one it serves all the
// same, and clients need the printer's URI.
void reportDnsSd(pappl_system_t* system) {
    if (access("/run/avahi-daemon/socket", F_OK) == 0)
        papplLog(system, PAPPL_LOGLEVEL_INFO, "Advertising the printers through the DNS-SD daemon.");
    else
        papplLog(system, PAPPL_LOGLEVEL_INFO,
                 "No DNS-SD daemon is running: advertising is skipped, and clients need the printer's URI.");
}

// A system for sub-commands that only ask about drivers: no folders, no
// listeners, no state, errors alone logged to standard error.
pappl_system_t* createDriverCatalogue(void* context) {
    // Without a spool folder PAPPL would make a temporary one and leave it.
    const char* temporary = std::getenv("TMPDIR");
    pappl_system_t* system =
        papplSystemCreate(PAPPL_SOPTIONS_NONE, "Vexao Printer Application", 0, nullptr,
                          temporary != nullptr && *temporary == '/' ? temporary : "/tmp", "-", PAPPL_LOGLEVEL_ERROR, nullptr, false);
    if (system != nullptr)
        papplSystemSetPrinterDrivers(system, driverCount(), drivers(), driverForDevice, printerCreated, fillDriver, context);
    return system;
}

}  // namespace

pappl_system_t* createSystem(int optionCount, cups_option_t* options, void* context) {
    if (context == nullptr || !static_cast<ServerRole*>(context)->keepsState) return createDriverCatalogue(context);
    ServerOptions server;
    if (!readOptions(optionCount, options, server)) return nullptr;
    umask(077);
    if (!makeStateFolders(server) || !makeSocketFolder()) return nullptr;
    // Administration over the network needs a PAM service to check
    // passwords; without one, only the local socket serves it.
    bool remoteAdmin = !server.authService.empty();
    pappl_soptions_t features = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                                (remoteAdmin ? PAPPL_SOPTIONS_WEB_SECURITY | PAPPL_SOPTIONS_WEB_REMOTE : 0);
    pappl_system_t* system =
        papplSystemCreate(features, "Vexao Printer Application", server.port, "_print,_universal",
                          server.spoolFolder.c_str(), server.logFile.c_str(), server.logLevel,
                          remoteAdmin ? server.authService.c_str() : nullptr, false);
    if (system == nullptr) return std::fprintf(stderr, "%s: cannot create the system\n", kAppName), nullptr;
    if (!papplSystemAddListeners(system, server.listenHost.empty() ? nullptr : server.listenHost.c_str())) {
        std::fprintf(stderr, "%s: cannot listen on port %d\n", kAppName, server.port);
        papplSystemDelete(system);
        return nullptr;
    }
    papplSystemSetPrinterDrivers(system, driverCount(), drivers(), driverForDevice, printerCreated, fillDriver, context);
    papplSystemSetFooterHTML(system, "Vexao printer application: IPP Everywhere for printers of the vexao105 command language.");
    limitFileDevices(system, fileDevicePlaces(server));
    papplSystemLoadState(system, server.stateFile.c_str());
    saveStateIn(system, server.stateFile);
    setAuthority(system, remoteAdmin);
    papplSystemAddTimerCallback(system, 0, 1, wakeMainLoop, nullptr);
    reportDnsSd(system);
    return system;
}

void showUsage(void*) {
    std::printf("Usage: %s SUB-COMMAND [OPTIONS] [FILES]\n"
                "An IPP Everywhere printer application for printers of the vexao105 command language.\n"
                "\n"
                "Sub-commands (PAPPL's standard set):\n"
                "  server       run the server             add          add a printer\n"
                "  drivers      list the drivers           devices      list the printers attached\n"
                "  submit       print files                jobs         list the jobs\n"
                "  cancel       cancel a job               options      list a printer's options\n"
                "  printers     list the printers          default      show or set the default printer\n"
                "  delete       delete a printer           modify       change a printer\n"
                "  status       show the server's state    shutdown     stop the server\n"
                "  autoadd      add the printers attached  (no sub-command: submit FILES)\n"
                "\n"
                "Server options (-o NAME=VALUE):\n"
                "  server-port=N          listen on port N on every address (default %d)\n"
                "  listen-hostname=HOST   listen on HOST's addresses only, for example localhost\n"
                "  spool-directory=DIR    keep jobs, the saved state and the default log in DIR\n"
                "                         (default /var/spool/%s for root, else\n"
                "                         $XDG_STATE_HOME/%s or ~/.local/state/%s)\n"
                "  log-file=FILE          log to FILE, '-' for standard error, 'syslog' for syslog\n"
                "  log-level=LEVEL        debug, info (default), warn, error or fatal\n"
                "  auth-service=PAM       let members of lpadmin administer the server over the network\n"
                "                         once PAM checks their password; without it only the local\n"
                "                         socket serves root, lpadmin and the server's own user\n"
                "  file-devices=on|off    take file:// devices inside the spool folder (on), or none\n"
                "\n"
                "Other options:\n"
                "  -d PRINTER   the printer to act on     -v URI       the device URI (usb://, socket://, file://)\n"
                "  -m DRIVER    the driver (from `drivers`)\n"
                "  --help       show this help            --version    show the version\n"
                "\n"
                "Environment:\n"
                "  VEXAO_PRINTER_APP_SOCKET=PATH   the server's local socket, for the server and the\n"
                "                         sub-commands alike (default /run/%s/%s.sock for root,\n"
                "                         else one in $TMPDIR for each user)\n"
                "\n"
                "Exit status: 0 done, 1 failure (a message on standard error says why).\n",
                kAppName, kDefaultPort, kAppName, kAppName, kAppName, kAppName, kAppName);
}

}  // namespace vexao::printer_app
