#include "printer-app/tls_credentials.h"

#include <cups/cups.h>

#include "printer-app/library_override.h"

namespace vexao::printer_app {
namespace {

std::string credentialsFolder;

using SetCredentials = int (*)(const char*, const char*, int);

SetCredentials libcupsSetCredentials() {
    static const SetCredentials next = libraryDefinition<SetCredentials>("cupsSetServerCredentials");
    return next;
}

}  // namespace

void keepCredentialsIn(const std::string& folder) { credentialsFolder = folder; }

}  // namespace vexao::printer_app

VEXAO_OVERRIDES_LIBRARY int cupsSetServerCredentials(const char* path, const char* commonName, int autoCreate) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    SetCredentials next = libcupsSetCredentials();
    if (next == nullptr) return 0;
    bool useDefault = path == nullptr && !credentialsFolder.empty();
    return next(useDefault ? credentialsFolder.c_str() : path, commonName, autoCreate);
}
