// The simulated setup API: oemN.inf naming, INF parsing and line look-up,
// uninstalling an OEM INF.
#include <gtest/gtest.h>

#include "platform/sim/machine.h"

namespace zep::sim {
namespace {

const char* kZepInf =
    "; driver package\r\n"
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "\r\n"
    "[KESTREL.NTamd64]\r\n"
    "\"%MODEL0%\" = ZEP4000, LPTENUM\\KESTRELZEP-40004F1A ; comment\r\n"
    "[Strings]\r\n"
    "MODEL0 = \"KESTREL ZEP-4000\"\r\n";

class SimSetup : public ::testing::Test {
protected:
    Machine m;
    zep::Setup& su = m;

    bool HasLine(const std::string& file, const std::string& section, const std::string& key) {
        zep::Setup::InfResult inf = su.SetupOpenInfFileA(file, nullptr, kInfStyleOldNt | kInfStyleWin4);
        EXPECT_TRUE(inf.ok) << std::hex << inf.error;
        bool found = su.SetupFindFirstLineA(inf.inf, section, key).ok;
        su.SetupCloseInfFile(inf.inf);
        return found;
    }
};

TEST_F(SimSetup, CopyOemInfNamesCopiesAndFindsIdenticalOnes) {
    m.AddFile("C:\\Package\\Driver64\\ZEP.inf", kZepInf);
    m.AddFile("C:\\Windows\\inf\\oem0.inf", "[Version]\r\n");
    m.AddFile("C:\\Windows\\inf\\oem2.inf", "[Version]\r\n");

    Result<std::string> first = su.SetupCopyOEMInfA(".\\Driver64\\ZEP.inf", kSpostPath, kSpCopyNoOverwrite);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.value, "C:\\Windows\\inf\\oem1.inf");  // the lowest free number
    EXPECT_EQ(m.FileContents("C:\\Windows\\inf\\oem1.inf"), kZepInf);
    EXPECT_TRUE(m.Exists("C:\\Windows\\inf\\oem1.PNF"));

    // The same package again: refused with the name of the copy, then replaced.
    Result<std::string> again = su.SetupCopyOEMInfA(".\\Driver64\\ZEP.inf", kSpostPath, kSpCopyNoOverwrite);
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.error, kErrFileExists);
    EXPECT_EQ(again.value, "C:\\Windows\\inf\\oem1.inf");
    Result<std::string> replaced = su.SetupCopyOEMInfA(".\\Driver64\\ZEP.inf", kSpostPath, kSpCopyReplaceOnly);
    EXPECT_TRUE(replaced.ok);
    EXPECT_EQ(replaced.value, "C:\\Windows\\inf\\oem1.inf");

    // A different package gets the next free number; REPLACEONLY needs a copy to replace.
    m.AddFile("C:\\Package\\other.inf", "[Version]\r\nClass=Printer\r\n");
    EXPECT_EQ(su.SetupCopyOEMInfA("other.inf", kSpostPath, kSpCopyReplaceOnly).error, kErrFileNotFound);
    EXPECT_EQ(su.SetupCopyOEMInfA("other.inf", kSpostPath, 0).value, "C:\\Windows\\inf\\oem3.inf");
    EXPECT_EQ(su.SetupCopyOEMInfA("missing.inf", kSpostPath, 0).error, kErrFileNotFound);

    Result<std::vector<std::string>> list = su.SetupGetInfFileListA(nullptr, kInfStyleWin4);
    ASSERT_TRUE(list.ok);
    EXPECT_EQ(list.value, (std::vector<std::string>{"ntprint.inf", "oem0.inf", "oem1.inf", "oem2.inf",
                                                    "oem3.inf", "usbprint.inf"}));
    EXPECT_EQ(su.SetupGetInfFileListA("C:\\Nope", kInfStyleWin4).error, kErrPathNotFound);
}

TEST_F(SimSetup, InfParsingAndLookUp) {
    m.AddFile("C:\\Windows\\inf\\oem5.inf", kZepInf);
    // String substitution in keys, quotes removed, case ignored.
    EXPECT_TRUE(HasLine("oem5.inf", "kestrel.ntamd64", "kestrel zep-4000"));
    EXPECT_FALSE(HasLine("oem5.inf", "KESTREL", "KESTREL ZEP-4000"));
    EXPECT_FALSE(HasLine("oem5.inf", "KESTREL.NTamd64", "KESTREL ZEP-4100"));
    EXPECT_TRUE(HasLine("C:\\Windows\\inf\\oem5.inf", "Version", "Class"));

    zep::Setup::InfResult inf = su.SetupOpenInfFileA("oem5.inf", nullptr, 3);
    EXPECT_EQ(su.SetupFindFirstLineA(inf.inf, "Nope", "Class").error, kErrLineNotFound);
    su.SetupCloseInfFile(inf.inf);
    su.SetupCloseInfFile(inf.inf);
    EXPECT_EQ(m.HandleMisuse().size(), 1u);

    m.AddFile("C:\\Windows\\inf\\bad1.inf", "; fine\r\nkey = value\r\n[Version]\r\n");
    zep::Setup::InfResult bad1 = su.SetupOpenInfFileA("bad1.inf", nullptr, 3);
    EXPECT_FALSE(bad1.ok);
    EXPECT_EQ(bad1.error, kErrExpectedSectionName);
    EXPECT_EQ(bad1.errorLine, 2u);
    m.AddFile("C:\\Windows\\inf\\bad2.inf", "[Version]\r\n\r\n[KESTREL\r\n");
    zep::Setup::InfResult bad2 = su.SetupOpenInfFileA("bad2.inf", nullptr, 3);
    EXPECT_EQ(bad2.error, kErrBadSectionNameLine);
    EXPECT_EQ(bad2.errorLine, 3u);
    EXPECT_EQ(su.SetupOpenInfFileA("none.inf", nullptr, 3).error, kErrFileNotFound);
    // A Windows-4 style INF needs its signature.
    m.AddFile("C:\\Windows\\inf\\old.inf", "[Version]\r\nClass=Printer\r\n");
    EXPECT_EQ(su.SetupOpenInfFileA("old.inf", nullptr, kInfStyleWin4).error, kErrWrongInfStyle);
    EXPECT_EQ(su.SetupOpenInfFileA("oem5.inf", "Net", 3).error, kErrClassMismatch);
}

TEST_F(SimSetup, UninstallOemInfDeletesTheInfAndItsPnf) {
    m.AddFile("C:\\Windows\\inf\\oem4.inf", kZepInf);
    m.AddFile("C:\\Windows\\inf\\oem4.PNF", "pnf");
    EXPECT_EQ(su.SetupUninstallOEMInfA("C:\\Windows\\inf\\oem4.inf", kSuoiForceDelete)->error,
              kErrPathNotFound);
    EXPECT_EQ(su.SetupUninstallOEMInfA("oem9.inf", kSuoiForceDelete)->error, kErrFileNotFound);
    EXPECT_EQ(su.SetupUninstallOEMInfA("ntprint.inf", kSuoiForceDelete)->error, kErrNotAnInstalledOemInf);
    ASSERT_TRUE(su.SetupUninstallOEMInfA("oem4.inf", kSuoiForceDelete)->ok);
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem4.inf"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\inf\\oem4.PNF"));
    m.SetHasSetupUninstallOEMInf(false);
    EXPECT_FALSE(su.SetupUninstallOEMInfA("oem4.inf", kSuoiForceDelete).has_value());
}

}  // namespace
}  // namespace zep::sim
