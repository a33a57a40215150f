// Which model of the table a driver name or a device ID names. No PAPPL
// here, so that the choices can be tested on their own.
#ifndef VEXAO_PRINTER_APP_JOB_SETTINGS_H
#define VEXAO_PRINTER_APP_JOB_SETTINGS_H

#include <string>

#include "driver/model_table.h"

namespace vexao::printer_app {

// The model whose driver is `driverName`, or null.
const vexao::models::Model* modelOfDriver(const std::string& driverName);

// The model whose manufacturer and model name (MFG/MANUFACTURER and
// MDL/MODEL, in any case) an IEEE-1284 device ID reports, or null.
const vexao::models::Model* modelOfDeviceId(const std::string& deviceId);

}  // namespace vexao::printer_app

#endif
