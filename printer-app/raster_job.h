// PAPPL's raster callbacks for the table's models: each line PAPPL hands in
// goes through the filter's conversion and halftoning (cups/raster_planes)
// into the library through PrintJob, and the chunks of each library call go
// to the device PAPPL hands the callback, once the library is free for the
// other printers' jobs.
#ifndef VEXAO_PRINTER_APP_RASTER_JOB_H
#define VEXAO_PRINTER_APP_RASTER_JOB_H

#include <pappl/pappl.h>

namespace vexao::printer_app {

// True for PWG and Apple raster, which PAPPL prints straight from the
// request that brings them.
bool isRasterDocument(pappl_job_t* job);

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                     const unsigned char* line);
bool endRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool endRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// The printer has no light or speaker: Identify-Printer writes its message
// to the printer's log.
void identifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t actions, const char* message);

}  // namespace vexao::printer_app

#endif
