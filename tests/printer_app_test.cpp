// Which model of the table a printer application's driver name or a
// printer's device ID names.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "driver/model_table.h"
#include "printer-app/job_settings.h"

namespace {

using vexao::models::Model;

const Model& modelNamed(const char* name) {
    for (const Model& model : vexao::models::models())
        if (std::string(model.name) == name) return model;
    throw std::invalid_argument(name);
}

TEST(JobSettings, DeviceIdsNameTheirModelWhateverTheKeysAndCase) {
    using vexao::printer_app::modelOfDeviceId;
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:105 Band;CMD:VEXAO105;"), &modelNamed("Vexao 105 Band"));
    EXPECT_EQ(modelOfDeviceId("manufacturer:VEXAO;model:105 line;"), &modelNamed("Vexao 105 Line"));
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:106 Band;"), nullptr);
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;"), nullptr);
    EXPECT_EQ(modelOfDeviceId(";;:;MDL:;MFG"), nullptr);
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105-band"), &modelNamed("Vexao 105 Band"));
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105"), nullptr);
}

}  // namespace
