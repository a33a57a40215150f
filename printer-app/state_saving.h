// Saving the server's state: its printers, their settings and its jobs.
//
// PAPPL 1.3's papplSystemSaveState read-locks the system and then each
// printer, while PAPPL itself, when it refuses a document (a raster job to a
// busy printer, a request body that cannot be read), write-locks the printer
// and then the system. Saving while a document is refused would deadlock the
// two threads, and PAPPL asks for a save after nearly every change, jobs
// included. The state is therefore saved by a child process, a copy of the
// server at one instant: the server's own threads never wait for the save,
// and a child that meets a lock some thread held at that instant is ended
// after a short wait and the save made again.
#ifndef VEXAO_PRINTER_APP_STATE_SAVING_H
#define VEXAO_PRINTER_APP_STATE_SAVING_H

#include <pappl/pappl.h>

#include <string>

namespace vexao::printer_app {

// Saves the state to `stateFile` whenever PAPPL reports a change, at
// shutdown too, and tries again each second after a save that failed. The
// file is replaced whole: a save cut short leaves the last complete one.
void saveStateIn(pappl_system_t* system, const std::string& stateFile);

// Where a save writes before it replaces `stateFile`.
std::string partialStateFile(const std::string& stateFile);

}  // namespace vexao::printer_app

#endif
