// Where the printer application's file:// devices may write: inside the
// spool folder only, never on what the server keeps, whatever way the URI
// spells the path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/temp_folder.h"
#include "printer-app/file_device_rule.h"

namespace {

using vexao::printer_app::FileDevicePlaces;
using vexao::printer_app::fileDeviceAllowed;
using vexao::printer_app::resolvedPath;

// A spool folder as the server lays it out, with a file and a folder beside
// it that no device may reach.
class FileDeviceRule : public vexao_test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        for (const char* name : {"spool", "spool/ssl", "spool/out", "spool/logs", "elsewhere"})
            ASSERT_EQ(mkdir(path(name).c_str(), 0700), 0) << name;
        for (const char* name : {"spool/app.state", "spool/logs/app.log", "spool/kept.prn", "victim.txt"}) write(name, "x");
        spool = resolvedPath(path("spool"));
        places.spoolFolder = spool;
        places.reserved = {spool + "/app.state", spool + "/logs/app.log", spool + "/ssl"};
    }

    bool allowed(const std::string& uri) {
        reason.clear();
        return fileDeviceAllowed(places, uri.c_str(), reason);
    }

    std::string spool, reason;
    FileDevicePlaces places;
};

TEST_F(FileDeviceRule, TakesFilesAndFoldersInsideTheSpoolFolder) {
    EXPECT_TRUE(allowed("file://" + spool + "/kept.prn")) << reason;
    EXPECT_TRUE(allowed("file://" + spool + "/new.prn")) << "a file the first job makes: " << reason;
    EXPECT_TRUE(allowed("file://" + spool + "/out/")) << reason;
    EXPECT_TRUE(allowed("file://" + spool + "/out")) << reason;
    EXPECT_TRUE(allowed("file://" + spool + "/out/../new%20file.prn")) << "`..` that stays inside: " << reason;
}

TEST_F(FileDeviceRule, RefusesEveryWayOutOfTheSpoolFolder) {
    EXPECT_FALSE(allowed("file://" + path("victim.txt")));
    EXPECT_FALSE(allowed("file://" + spool + "/../victim.txt"));
    EXPECT_FALSE(allowed("file://" + spool + "/%2e%2e/victim.txt")) << "percent-encoded dots decode as PAPPL decodes them";
    EXPECT_FALSE(allowed("file://" + spool)) << "the spool folder itself";
    EXPECT_FALSE(allowed("file://" + spool + "/"));
    EXPECT_FALSE(allowed("file://host" + path("victim.txt"))) << "PAPPL ignores the host";
    ASSERT_EQ(symlink(path("victim.txt").c_str(), path("spool/link.prn").c_str()), 0);
    EXPECT_FALSE(allowed("file://" + spool + "/link.prn"));
    ASSERT_EQ(symlink(path("elsewhere").c_str(), path("spool/away").c_str()), 0);
    EXPECT_FALSE(allowed("file://" + spool + "/away/"));
    EXPECT_FALSE(allowed("file://" + spool + "/away/new.prn")) << "a new file behind a link to another folder";
    // PAPPL would create the dangling link's target.
    ASSERT_EQ(symlink(path("elsewhere/planted").c_str(), path("spool/dangling.prn").c_str()), 0);
    EXPECT_FALSE(allowed("file://" + spool + "/dangling.prn"));
}

TEST_F(FileDeviceRule, RefusesWhatTheServerKeeps) {
    EXPECT_FALSE(allowed("file://" + spool + "/app.state"));
    EXPECT_FALSE(allowed("file://" + spool + "/logs/app.log"));
    EXPECT_FALSE(allowed("file://" + spool + "/logs/")) << "the log's folder, where job files would sit beside it";
    EXPECT_FALSE(allowed("file://" + spool + "/ssl/"));
    EXPECT_FALSE(allowed("file://" + spool + "/ssl/host.key"));
    EXPECT_NE(reason.find("keeps"), std::string::npos) << reason;
}

TEST_F(FileDeviceRule, RefusesOptionsOddPathsAndEverythingWhenTurnedOff) {
    EXPECT_FALSE(allowed("file://" + spool + "/out/?ext=key")) << "options choose what PAPPL writes";
    EXPECT_FALSE(allowed("file://" + spool + "/out/%3Fext=key"));
    EXPECT_FALSE(allowed("file:relative.prn"));
    EXPECT_FALSE(allowed("file://" + spool + "/missing/new.prn")) << "a file in a folder that is not there";
    EXPECT_FALSE(allowed("file://" + spool + "/missing/")) << "a folder device's folder must exist";
    ASSERT_EQ(mkfifo(path("spool/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(allowed("file://" + spool + "/pipe"));
    places.allowed = false;
    EXPECT_FALSE(allowed("file://" + spool + "/kept.prn"));
    places.allowed = true;
    places.spoolFolder.clear();
    EXPECT_FALSE(allowed("file://" + spool + "/kept.prn")) << "no spool folder resolved: nothing lies inside it";
}

TEST(FileDeviceScheme, TellsFileDevicesFromOthersInAnyCase) {
    EXPECT_TRUE(vexao::printer_app::isFileDevice("file:///var/spool/x"));
    EXPECT_TRUE(vexao::printer_app::isFileDevice("FILE:///var/spool/x"));
    EXPECT_FALSE(vexao::printer_app::isFileDevice("socket://192.0.2.1:9100"));
    EXPECT_FALSE(vexao::printer_app::isFileDevice("usb://Vexao/105"));
}

}  // namespace
