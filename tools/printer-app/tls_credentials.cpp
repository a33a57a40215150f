#include "tools/printer-app/tls_credentials.h"

#include <cups/cups.h>
#include <dlfcn.h>

namespace vexao::printer_app {
namespace {

std::string credentialsFolder;

using SetCredentials = int (*)(const char*, const char*, int);

SetCredentials libcupsSetCredentials() {
    static const SetCredentials next = reinterpret_cast<SetCredentials>(dlsym(RTLD_NEXT, "cupsSetServerCredentials"));
    return next;
}

}  // namespace

void keepCredentialsIn(const std::string& folder) { credentialsFolder = folder; }

}  // namespace vexao::printer_app

// Exported from the executable, so that it takes the place of libcups's.
extern "C" __attribute__((visibility("default"))) int cupsSetServerCredentials(const char* path, const char* commonName,
                                                                              int autoCreate) {
    using namespace vexao::printer_app;
    SetCredentials next = libcupsSetCredentials();
    if (next == nullptr) return 0;
    bool useDefault = path == nullptr && !credentialsFolder.empty();
    return next(useDefault ? credentialsFolder.c_str() : path, commonName, autoCreate);
}
