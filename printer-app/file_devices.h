// The server's file devices, held to the rule of file_device_rule.h.
//
// PAPPL takes a file:// device only when its file or folder exists and is
// writable, and asks papplDeviceIsSupported, through the dynamic linker,
// before Create-Printer makes the printer. The application defines it: a
// file device is supported where the rule allows it, even when its file does
// not exist yet, since PAPPL's file device makes the file at the first job.
// The driver callback applies the rule again, for the printers that the web
// interface adds and those that the saved state brings back.
#ifndef VEXAO_PRINTER_APP_FILE_DEVICES_H
#define VEXAO_PRINTER_APP_FILE_DEVICES_H

#include <pappl/pappl.h>

#include "printer-app/file_device_rule.h"

namespace vexao::printer_app {

// Holds the server's file devices to `places` from now on and logs the
// devices refused to `system`. Call it before the server runs.
void limitFileDevices(pappl_system_t* system, FileDevicePlaces places);

// True when `uri` is no file device, or one that the server may write;
// otherwise false, and the log says why. Any device is usable before
// limitFileDevices, in processes that only ask about drivers.
bool deviceUsable(const char* uri);

}  // namespace vexao::printer_app

#endif
