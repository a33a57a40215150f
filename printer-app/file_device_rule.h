// Where a file:// device may write.
//
// The server, root when it runs as the packaged service, writes a printer's
// device at every job, and PAPPL creates or appends to whatever file the URI
// names. So a file device may name only a file or a folder inside the
// server's own spool folder, which nobody else can write: not the folder
// itself, not what the server keeps there (its saved state, its log, its TLS
// credentials), and not a place that `..` or a symbolic link leads out to.
// A folder device writes each job to FOLDER/JOB-NAME.prn, replacing an
// earlier job's file of the same name; a file device's file is appended to,
// and made by the server at the first job when it is not there yet.
#ifndef VEXAO_PRINTER_APP_FILE_DEVICE_RULE_H
#define VEXAO_PRINTER_APP_FILE_DEVICE_RULE_H

#include <string>
#include <vector>

namespace vexao::printer_app {

struct FileDevicePlaces {
    bool allowed = true;                // false: the server takes no file devices at all
    std::string spoolFolder;            // resolved, as resolvedPath gives it
    std::vector<std::string> reserved;  // resolved paths that a device may not be, lie in or hold
};

// A file:// URI as PAPPL's file device reads it: the percent-decoded path,
// and whether options follow it.
struct FileUri {
    std::string path;
    bool hasOptions = false;
};

// Reads `uri`; false when it is no URI or has another scheme than file (in
// any case).
bool parseFileUri(const char* uri, FileUri& parsed);

// True when `uri` has the file scheme, in any case.
bool isFileDevice(const char* uri);

// True when `uri`, a file:// URI, names a place that a file device may write
// under `places`; otherwise false, with the reason.
bool fileDeviceAllowed(const FileDevicePlaces& places, const char* uri, std::string& reason);

// The absolute path `path` leads to, without `.`, `..` or symbolic links.
// A path that does not exist yet resolves when its folder does. Empty when
// it cannot be resolved: a relative path, a missing folder, a dangling or
// looping link.
std::string resolvedPath(const std::string& path);

}  // namespace vexao::printer_app

#endif
