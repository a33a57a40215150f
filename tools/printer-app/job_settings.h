// What a print job's IPP attributes select on a model of the table: the
// quality for print-quality, the parameter block for the library, and which
// model a driver name or a device ID names. No PAPPL here, so that the
// choices can be tested on their own.
#ifndef VEXAO_PRINTER_APP_JOB_SETTINGS_H
#define VEXAO_PRINTER_APP_JOB_SETTINGS_H

#include <string>

#include "cups/model_table.h"
#include "output/output_api.h"

namespace vexao::printer_app {

// The job's choices, as IPP names them.
struct JobChoices {
    int ippQuality = 4;      // print-quality: 3 draft, 4 normal, 5 high
    int bandHeight = 0;      // vexao-band-height; 0 takes the model's default
    bool blackOnly = false;  // the raster is grey: print with black ink alone
};

// The model's quality for an IPP print-quality: the one that serves it, else
// the best below it, else the model's lowest.
const vexao::models::Quality& qualityFor(const vexao::models::Model& model, int ippQuality);

// The parameter block that configures the library for the choices.
OutputParams paramsFor(const vexao::models::Model& model, const JobChoices& choices);

// The model whose driver is `driverName`, or null.
const vexao::models::Model* modelOfDriver(const std::string& driverName);

// The model whose manufacturer and model name (MFG/MANUFACTURER and
// MDL/MODEL, in any case) an IEEE-1284 device ID reports, or null.
const vexao::models::Model* modelOfDeviceId(const std::string& deviceId);

}  // namespace vexao::printer_app

#endif
