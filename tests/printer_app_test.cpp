// Which model of the table a printer application's driver name or a
// printer's device ID names.
#include <gtest/gtest.h>

#include <string>

#include "driver/model_table.h"
#include "printer-app/job_settings.h"

namespace {

TEST(JobSettings, DeviceIdsNameTheirModelWhateverTheKeysAndCase) {
    using vexao::printer_app::modelOfDeviceId;
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:105 Band;CMD:VEXAO105;"), vexao::models::modelWithCode('e'));
    EXPECT_EQ(modelOfDeviceId("manufacturer:VEXAO;model:105 line;"), vexao::models::modelWithCode('I'));
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:106 Band;"), nullptr);
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;"), nullptr);
    EXPECT_EQ(modelOfDeviceId(";;:;MDL:;MFG"), nullptr);
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105-band"), vexao::models::modelWithCode('e'));
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105"), nullptr);
}

}  // namespace
