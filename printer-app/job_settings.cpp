#include "printer-app/job_settings.h"

#include <strings.h>

#include <cctype>

#include <map>

namespace vexao::printer_app {

using vexao::models::Model;

const Model* modelOfDriver(const std::string& driverName) {
    for (const Model& model : vexao::models::models())
        if (vexao::models::driverName(model) == driverName) return &model;
    return nullptr;
}

namespace {

// The KEY:VALUE; pairs of a device ID, keys in upper case.
std::map<std::string, std::string> deviceIdFields(const std::string& deviceId) {
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at < deviceId.size()) {
        std::size_t end = deviceId.find(';', at);
        if (end == std::string::npos) end = deviceId.size();
        std::size_t colon = deviceId.find(':', at);
        if (colon != std::string::npos && colon < end) {
            std::string key = deviceId.substr(at, colon - at);
            for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            fields[key] = deviceId.substr(colon + 1, end - colon - 1);
        }
        at = end + 1;
    }
    return fields;
}

std::string firstOf(const std::map<std::string, std::string>& fields, const char* key, const char* otherKey) {
    auto found = fields.find(key);
    if (found == fields.end()) found = fields.find(otherKey);
    return found == fields.end() ? std::string() : found->second;
}

}  // namespace

const Model* modelOfDeviceId(const std::string& deviceId) {
    auto reported = deviceIdFields(deviceId);
    std::string make = firstOf(reported, "MFG", "MANUFACTURER"), name = firstOf(reported, "MDL", "MODEL");
    if (make.empty() || name.empty()) return nullptr;
    for (const Model& model : vexao::models::models()) {
        auto expected = deviceIdFields(model.deviceId);
        if (strcasecmp(make.c_str(), expected["MFG"].c_str()) == 0 && strcasecmp(name.c_str(), expected["MDL"].c_str()) == 0)
            return &model;
    }
    return nullptr;
}

}  // namespace vexao::printer_app
