// The server's system: its options, where its state lives, who may
// administer it, and its drivers.
#ifndef VEXAO_PRINTER_APP_SERVER_H
#define VEXAO_PRINTER_APP_SERVER_H

#include <pappl/pappl.h>

namespace vexao::printer_app {

constexpr const char* kAppName = "vexao-printer-app";

// What the system is made for; the context of the callbacks.
struct ServerRole {
    bool keepsState = false;  // the `server` sub-command, not one that only asks the drivers
};

// PAPPL's system callback, `context` a ServerRole. For the server it reads
// the -o options, creates the spool folder and the system with its
// listeners and drivers, and loads the saved state; otherwise it makes a
// system that only knows the drivers and writes nothing. Null, with a
// message on standard error, when an option is wrong.
pappl_system_t* createSystem(int optionCount, cups_option_t* options, void* context);

// PAPPL's usage callback for --help.
void showUsage(void* context);

}  // namespace vexao::printer_app

#endif
