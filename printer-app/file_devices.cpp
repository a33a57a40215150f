#include "printer-app/file_devices.h"

#include <optional>
#include <string>
#include <utility>

#include "printer-app/library_override.h"

namespace vexao::printer_app {
namespace {

pappl_system_t* logSystem = nullptr;
std::optional<FileDevicePlaces> serverPlaces;

}  // namespace

void limitFileDevices(pappl_system_t* system, FileDevicePlaces places) {
    logSystem = system;
    serverPlaces = std::move(places);
}

bool deviceUsable(const char* uri) {
    if (!serverPlaces || !isFileDevice(uri)) return true;
    std::string reason;
    if (fileDeviceAllowed(*serverPlaces, uri, reason)) return true;
    papplLog(logSystem, PAPPL_LOGLEVEL_ERROR, "Refusing the device %s: %s.", uri, reason.c_str());
    return false;
}

}  // namespace vexao::printer_app

VEXAO_OVERRIDES_LIBRARY bool papplDeviceIsSupported(const char* uri) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    using Check = bool (*)(const char*);
    static const Check pappl = libraryDefinition<Check>("papplDeviceIsSupported");
    if (serverPlaces && isFileDevice(uri)) return deviceUsable(uri);
    return pappl != nullptr && pappl(uri);
}
