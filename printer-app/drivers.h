// The printer application's drivers: one for each model of the table, with
// the table's media, resolutions, colour modes and qualities, and its
// IEEE-1284 device ID, so that a USB printer is added by itself.
#ifndef VEXAO_PRINTER_APP_DRIVERS_H
#define VEXAO_PRINTER_APP_DRIVERS_H

#include <pappl/pappl.h>

namespace vexao::printer_app {

// The vendor attribute every driver offers beside the standard ones.
constexpr const char* kLightInksAttribute = "vexao-light-inks";

// The drivers for papplMainloop, one per model; they live as long as the
// program.
int driverCount();
pappl_pr_driver_t* drivers();

// PAPPL's driver callback: fills the driver data and attributes of a printer.
// False, and no printer is made, for a file device the server may not write.
bool fillDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                pappl_pr_driver_data_t* data, ipp_t** attributes, void* context);

// PAPPL's auto-add callback: the driver for a device that reports `deviceId`.
const char* driverForDevice(const char* deviceInfo, const char* deviceUri, const char* deviceId, void* context);

// PAPPL's printer creation callback: reports the inks.
void printerCreated(pappl_printer_t* printer, void* context);

}  // namespace vexao::printer_app

#endif
