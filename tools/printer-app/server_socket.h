// Where the server listens for its sub-commands, and where they look for it.
//
// PAPPL puts a root server's socket at /run/NAME.sock whatever the
// environment says, and a newly started server takes that path over from one
// already running. VEXAO_PRINTER_APP_SOCKET names another socket instead, for
// the server and its sub-commands alike, so that a test or a second server
// never reaches the packaged service.
#ifndef VEXAO_PRINTER_APP_SERVER_SOCKET_H
#define VEXAO_PRINTER_APP_SERVER_SOCKET_H

namespace vexao::printer_app {

constexpr const char* kSocketVariable = "VEXAO_PRINTER_APP_SOCKET";

// False, with a message on standard error, when VEXAO_PRINTER_APP_SOCKET is
// set but is no absolute path that a local socket can have.
bool checkSocketVariable();

}  // namespace vexao::printer_app

#endif
