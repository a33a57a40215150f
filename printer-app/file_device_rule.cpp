#include "printer-app/file_device_rule.h"

#include <cups/cups.h>

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace vexao::printer_app {
namespace {

bool liesIn(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (folder == "/" || path[folder.size()] == '/');
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string resolvedExisting(const char* path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) != nullptr ? resolved : "";
}

}  // namespace

bool parseFileUri(const char* uri, FileUri& parsed) {
    // PAPPL's file device reads URIs into buffers of these sizes, so an
    // overlong URI is cut where PAPPL cuts it.
    char scheme[32], userpass[32], host[256], resource[256];
    int port;
    if (uri == nullptr || httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass,
                                          host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
        strcasecmp(scheme, "file") != 0)
        return false;
    parsed.path = resource;
    parsed.hasOptions = std::strchr(resource, '?') != nullptr;
    return true;
}

bool isFileDevice(const char* uri) {
    FileUri unused;
    return parseFileUri(uri, unused);
}

std::string resolvedPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return "";
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) return resolvedExisting(path.c_str());
    if (errno != ENOENT) return "";
    std::string leaf = path.substr(path.rfind('/') + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") return "";
    std::string folder = resolvedExisting(folderOf(path).c_str());
    if (folder.empty()) return "";
    return (folder == "/" ? "" : folder) + "/" + leaf;
}

bool fileDeviceAllowed(const FileDevicePlaces& places, const char* uri, std::string& reason) {
    if (!places.allowed) return reason = "this server takes no file devices", false;
    if (places.spoolFolder.empty()) return reason = "the spool folder cannot be resolved", false;
    FileUri parsed;
    if (!parseFileUri(uri, parsed)) return reason = "it is no file URI", false;
    if (parsed.hasOptions) return reason = "a file device takes no options", false;
    if (parsed.path.empty() || parsed.path[0] != '/') return reason = "its path is not absolute", false;
    std::string device = resolvedPath(parsed.path);
    if (device.empty()) return reason = "its folder is missing, or a link on its way leads nowhere", false;
    if (!liesIn(device, places.spoolFolder))
        return reason = "it is not inside the spool folder " + places.spoolFolder, false;
    for (const std::string& kept : places.reserved)
        if (device == kept || liesIn(device, kept) || device == folderOf(kept))
            return reason = "it would write on or beside " + kept + ", which the server keeps", false;
    struct stat info;
    if (stat(device.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        return reason = "it is neither a file nor a folder", false;
    return true;
}

}  // namespace vexao::printer_app
