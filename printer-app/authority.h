// Who may administer the server: create, change and delete printers, pause
// them, change the system's settings, use the web interface's settings
// pages and shut the server down.
//
//   - Over the local socket: root, the server's own user (so that a server a
//     user runs stays usable by its owner) and members of the administration
//     group, known by the connection's peer credentials.
//   - Over the network, the loopback address included: a user whom PAM
//     authenticated through the server's auth-service and who is a member of
//     the administration group. Without an auth-service, nobody.
//
// PAPPL 1.3 lets every local-socket connection administer, before any
// callback is asked, and every loopback one when no authentication service
// is set. Its administration check, papplClientIsAuthorized, is reached
// through the dynamic linker from inside libpappl, so the application
// defines it to decide first. Printing and reading status go through
// another check of PAPPL's and stay open.
#ifndef VEXAO_PRINTER_APP_AUTHORITY_H
#define VEXAO_PRINTER_APP_AUTHORITY_H

#include <sys/types.h>

namespace vexao::printer_app {

constexpr const char* kAdministrationGroup = "lpadmin";

// True when a process running as `uid` with primary group `gid` may
// administer this server: root, the server's own user, or a member of the
// administration group.
bool mayAdminister(uid_t uid, gid_t gid);

// True when the account `userName` is a member of the administration group,
// through its primary group or a supplementary one.
bool inAdministrationGroup(const char* userName);

}  // namespace vexao::printer_app

#endif
