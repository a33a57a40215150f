// One job at a time in each printer's hands.
//
// PAPPL 1.3 can let two jobs print on one printer at once. It starts a
// spooled job's thread whenever the printer has no processing job, and a
// raster document, printed straight from its request, counts as processing
// only once it has started; a job's thread also counts only once it runs.
// The two then share the printer's device, and the one that ends first
// closes it under the other, whose further writes go to freed memory.
//
// These definitions take the place of PAPPL's two ways into a job, the
// spooled job's thread and the raster request's printing. Each takes the
// printer's gate before PAPPL touches the device and gives it back after
// PAPPL has closed it, so a printer's jobs follow one another. The gate is
// taken while the thread holds none of PAPPL's locks, and nothing that
// holds one waits for it.
#include <pappl/pappl.h>

#include <map>
#include <mutex>

#include "printer-app/library_override.h"
#include "printer-app/raster_job.h"

namespace vexao::printer_app {
namespace {

std::mutex& gateOf(pappl_printer_t* printer) {
    static std::mutex guard;
    static std::map<pappl_printer_t*, std::mutex> gates;
    std::lock_guard<std::mutex> lock(guard);
    return gates[printer];
}

// A raster document arrives with its request and is printed by it, never
// from a spool file: PAPPL may start a thread for it all the same, which has
// nothing to print.
bool printedByItsRequest(pappl_job_t* job) { return papplJobGetFilename(job) == nullptr && isRasterDocument(job); }

}  // namespace
}  // namespace vexao::printer_app

// The thread PAPPL starts for a pending job.
VEXAO_OVERRIDES_LIBRARY void* _papplJobProcess(pappl_job_t* job) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    using Process = void* (*)(pappl_job_t*);
    static const Process pappl = libraryDefinition<Process>("_papplJobProcess");
    if (pappl == nullptr || printedByItsRequest(job)) return nullptr;
    std::lock_guard<std::mutex> gate(gateOf(papplJobGetPrinter(job)));
    // Canceled while it waited, it has ended already.
    if (papplJobGetState(job) != IPP_JSTATE_PENDING) return nullptr;
    return pappl(job);
}

// Prints a raster document as its request brings it in.
VEXAO_OVERRIDES_LIBRARY void _papplJobProcessRaster(pappl_job_t* job, pappl_client_t* client) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    using Process = void (*)(pappl_job_t*, pappl_client_t*);
    static const Process pappl = libraryDefinition<Process>("_papplJobProcessRaster");
    if (pappl == nullptr) return;
    std::lock_guard<std::mutex> gate(gateOf(papplJobGetPrinter(job)));
    pappl(job, client);
}
