// Where the server listens for its sub-commands, and where they look for it.
//
// PAPPL would put a root server's socket at /run/NAME.sock, so that the
// service would need to write all of /run; root's socket is in a folder of
// its own instead, /run/vexao-printer-app, which the service alone writes,
// and which root's sub-commands find without being told. Other users' servers
// keep PAPPL's socket in their $TMPDIR. A newly started server takes the path
// over from one already running. VEXAO_PRINTER_APP_SOCKET names another
// socket, for the server and its sub-commands alike, so that a test or a
// second server never reaches the packaged service.
#ifndef VEXAO_PRINTER_APP_SERVER_SOCKET_H
#define VEXAO_PRINTER_APP_SERVER_SOCKET_H

namespace vexao::printer_app {

constexpr const char* kSocketVariable = "VEXAO_PRINTER_APP_SOCKET";
constexpr const char* kRootSocketFolder = "/run/vexao-printer-app";

// False, with a message on standard error, when VEXAO_PRINTER_APP_SOCKET is
// set but is no absolute path that a local socket can have.
bool checkSocketVariable();

// Makes root's socket folder, readable by all so that every user's
// sub-commands reach the server, when this is root's server on the default
// socket. False, with a message on standard error, when that fails.
bool makeSocketFolder();

}  // namespace vexao::printer_app

#endif
