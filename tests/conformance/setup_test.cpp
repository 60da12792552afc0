// Setup API: listing INF files, finding a line, the system's OEM copies.
#include "tests/conformance/helpers.h"

namespace zep::conformance {
namespace {

// A printer INF shaped like the product's, under a name of its own.
const char kInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
    "Provider=%Maker%\r\n"
    "DriverVer=01/01/2020,1.0.0.0\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Maker%=ZEPCONF,NTamd64\r\n"
    "\r\n"
    "[ZEPCONF.NTamd64]\r\n"
    "\"ZEPCONF ZEP-4000\" = ZEPCONF4000, ZEPCONF4000\r\n"
    "\r\n"
    "[ZEPCONF]\r\n"
    "\"ZEPCONF ZEP-4000\" = ZEPCONF4000, ZEPCONF4000\r\n"
    "\r\n"
    "[ZEPCONF4000]\r\n"
    "CopyFiles=ZEPCONF_FILES\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Maker=\"ZepConformance\"\r\n";

class SetupApi : public ConformanceTest {
protected:
    void TearDown() override {
        // The system's copy of the test INF and its precompiled twin.
        for (const std::string& copy : copies_) {
            Os().setup.SetupUninstallOEMInfA(BaseName(copy), kSuoiForceDelete);
            Os().kernel.DeleteFileA(copy);
            Os().kernel.DeleteFileA(copy.substr(0, copy.size() - 4) + ".pnf");
        }
        ConformanceTest::TearDown();
    }

    zep::Setup& su() { return Os().setup; }

    static std::string BaseName(const std::string& path) {
        size_t slash = path.find_last_of('\\');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    std::string InfDir() { return Os().kernel.GetWindowsDirectoryA().value + "\\inf"; }

    std::vector<std::string> copies_;
};

TEST_F(SetupApi, InfFileListOfAnExplicitFolder) {
    ASSERT_TRUE(PutFile(In("zepconf.inf"), kInf));
    ASSERT_TRUE(PutFile(In("second.inf"), kInf));
    ASSERT_TRUE(PutFile(In("notes.txt"), "not an INF"));
    Result<std::vector<std::string>> list = su().SetupGetInfFileListA(Scratch().c_str(),
                                                                      kInfStyleWin4);
    ASSERT_TRUE(list.ok) << list.error;
    EXPECT_EQ(list.value.size(), 2u);
    EXPECT_TRUE(ContainsI(list.value, "zepconf.inf"));
    EXPECT_TRUE(ContainsI(list.value, "second.inf"));
    for (const std::string& name : list.value)
        EXPECT_EQ(name.find('\\'), std::string::npos) << "names only: " << name;

    // The system INF folder by its explicit path.
    Result<std::vector<std::string>> sys = su().SetupGetInfFileListA(InfDir().c_str(),
                                                                     kInfStyleWin4);
    ASSERT_TRUE(sys.ok) << sys.error;
    EXPECT_FALSE(sys.value.empty());
    for (const std::string& name : sys.value) EXPECT_TRUE(EndsWithI(name, ".inf")) << name;
}

TEST_F(SetupApi, OpenInfAndFindLine) {
    ASSERT_TRUE(PutFile(In("zepconf.inf"), kInf));
    zep::Setup::InfResult inf = su().SetupOpenInfFileA(In("zepconf.inf"), nullptr,
                                                  kInfStyleOldNt | kInfStyleWin4);
    ASSERT_TRUE(inf.ok) << inf.error;
    EXPECT_NE(inf.inf, HInf::None);

    // Keys are matched without their quotes and regardless of letter case.
    EXPECT_TRUE(su().SetupFindFirstLineA(inf.inf, "ZEPCONF.NTamd64", "ZEPCONF ZEP-4000").ok);
    EXPECT_TRUE(su().SetupFindFirstLineA(inf.inf, "zepconf", "zepconf zep-4000").ok);
    Status key = su().SetupFindFirstLineA(inf.inf, "ZEPCONF.NTamd64", "ZEPCONF ZEP-4100");
    EXPECT_FALSE(key.ok);
    EXPECT_EQ(key.error, kErrLineNotFound);
    Status section = su().SetupFindFirstLineA(inf.inf, "NoSuchSection", "ZEPCONF ZEP-4000");
    EXPECT_FALSE(section.ok);
    EXPECT_EQ(section.error, kErrLineNotFound);
    su().SetupCloseInfFile(inf.inf);

    zep::Setup::InfResult missing = su().SetupOpenInfFileA(In("missing.inf"), nullptr,
                                                      kInfStyleOldNt | kInfStyleWin4);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, kErrFileNotFound);
}

TEST_F(SetupApi, CopyOemInfTwiceGives80WithTheName) {
    ASSERT_TRUE(PutFile(In("zepconf.inf"), kInf));
    Result<std::string> first = su().SetupCopyOEMInfA(In("zepconf.inf"), kSpostPath,
                                                      kSpCopyNoOverwrite);
    ASSERT_TRUE(first.ok) << first.error;
    copies_.push_back(first.value);
    EXPECT_TRUE(StartsWithI(first.value, InfDir() + "\\")) << first.value;
    EXPECT_TRUE(EndsWithI(first.value, ".inf")) << first.value;
    EXPECT_EQ(GetFile(first.value), kInf);

    Result<std::string> second = su().SetupCopyOEMInfA(In("zepconf.inf"), kSpostPath,
                                                       kSpCopyNoOverwrite);
    EXPECT_FALSE(second.ok);
    EXPECT_EQ(second.error, kErrFileExists);
    EXPECT_EQ(Lower(second.value), Lower(first.value));

    Result<std::string> replace = su().SetupCopyOEMInfA(In("zepconf.inf"), kSpostPath,
                                                        kSpCopyReplaceOnly);
    EXPECT_TRUE(replace.ok) << replace.error;
    EXPECT_EQ(Lower(replace.value), Lower(first.value));

    // The copy is listed in the INF folder and can be searched like the original.
    Result<std::vector<std::string>> list = su().SetupGetInfFileListA(InfDir().c_str(),
                                                                      kInfStyleWin4);
    ASSERT_TRUE(list.ok) << list.error;
    EXPECT_TRUE(ContainsI(list.value, BaseName(first.value)));
    zep::Setup::InfResult inf = su().SetupOpenInfFileA(BaseName(first.value), nullptr,
                                                  kInfStyleOldNt | kInfStyleWin4);
    ASSERT_TRUE(inf.ok) << inf.error;
    EXPECT_TRUE(su().SetupFindFirstLineA(inf.inf, "ZEPCONF.NTamd64", "ZEPCONF ZEP-4000").ok);
    su().SetupCloseInfFile(inf.inf);

    std::optional<Status> un = su().SetupUninstallOEMInfA(BaseName(first.value),
                                                          kSuoiForceDelete);
    ASSERT_TRUE(un.has_value());
    EXPECT_TRUE(un->ok) << un->error;
    EXPECT_FALSE(Exists(first.value));
}

TEST_F(SetupApi, UninstallOemInfRefusesAFolderInTheName) {
    ASSERT_TRUE(PutFile(In("zepconf.inf"), kInf));
    std::optional<Status> un = su().SetupUninstallOEMInfA(In("zepconf.inf"), kSuoiForceDelete);
    ASSERT_TRUE(un.has_value());
    EXPECT_FALSE(un->ok);
    EXPECT_TRUE(Exists(In("zepconf.inf")));
}

// ---------------------------------------------------------------- Windows only

TEST_F(SetupApi, CopyOemInfNamesOemNAndUninstallRemovesPnf) {
    ZEP_SIM_ONLY("Wine keeps the source name and leaves the .pnf behind");
    ASSERT_TRUE(PutFile(In("zepconf.inf"), kInf));
    Result<std::string> copy = su().SetupCopyOEMInfA(In("zepconf.inf"), kSpostPath,
                                                     kSpCopyNoOverwrite);
    ASSERT_TRUE(copy.ok) << copy.error;
    copies_.push_back(copy.value);
    std::string name = Lower(BaseName(copy.value));
    EXPECT_TRUE(StartsWithI(name, "oem")) << name;
    std::string pnf = copy.value.substr(0, copy.value.size() - 4) + ".pnf";
    EXPECT_TRUE(Exists(pnf));

    std::optional<Status> un = su().SetupUninstallOEMInfA(BaseName(copy.value), kSuoiForceDelete);
    ASSERT_TRUE(un.has_value());
    EXPECT_TRUE(un->ok);
    EXPECT_FALSE(Exists(copy.value));
    EXPECT_FALSE(Exists(pnf));
}

}  // namespace
}  // namespace zep::conformance
