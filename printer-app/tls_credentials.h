// Where the server keeps its TLS certificate and key.
//
// libcups makes them at the first TLS connection, in the folder PAPPL names
// for the system's credentials, which PAPPL does each time the host name is
// set. PAPPL names none, so they would go to libcups's default: /etc/cups/ssl
// for root, ~/.cups/ssl for others. The application keeps them in its spool
// folder with the rest of its state: it defines libcups's
// cupsSetServerCredentials, which the dynamic linker binds PAPPL's calls
// to, and puts the folder in place of the default.
#ifndef VEXAO_PRINTER_APP_TLS_CREDENTIALS_H
#define VEXAO_PRINTER_APP_TLS_CREDENTIALS_H

#include <string>

namespace vexao::printer_app {

// Keeps the credentials in `folder` from now on. Call it before the system
// is created, while the process has one thread.
void keepCredentialsIn(const std::string& folder);

}  // namespace vexao::printer_app

#endif
