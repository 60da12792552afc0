// File staging: the driver files into the spooler's folders, the INF into
// the system, the clean-up of the staged copies, the uninstaller's folder.
#include "installer/installation.h"

namespace zep {

bool CInstallation::CopyChecked(const std::string& source, const std::string& dest, bool checked) {
    Status copied = sys_.os.kernel.CopyFileA(source, dest, false);
    sys_.log.WriteLog("FILE SRC : %s", source.c_str());
    if (!copied.ok && checked) HandleCopyFileError(source, dest, copied.error);
    return copied.ok;
}

std::vector<std::string> CInstallation::StagedFiles() {
    return {m_strMiniDriverFile, m_strUIPluginFile, LoadScratch(InstallerString::kUiPluginIni),
            LoadScratch(InstallerString::kGpdFile)};
}

void CInstallation::CopyFilesNeededToAddPrnDrv() {
    LoggedRoutine routine(sys_.log, "CopyFilesNeededToAddPrnDrv");
    Kernel& kernel = sys_.os.kernel;
    StatusStep("Copying files...\r\n");

    // A folder that cannot be learned gets no copies: they would land in the
    // root of a drive.
    Result<std::string> windows = kernel.GetWindowsDirectoryA();
    if (!windows.ok) sys_.log.WriteLog("GetWindowsDirectory failed");
    Result<std::string> drivers =
        sys_.os.spooler.GetPrinterDriverDirectoryA(nullptr, m_strEnvironment.c_str());
    if (!drivers.ok)
        sys_.log.WriteLog("GetPrinterDriverDirectory failed. (%d)", int(drivers.error));
    if (drivers.ok)
        for (const char* file : kUnidrvCore)
            CopyChecked(m_strDriverSourceDir + file, JoinPath(drivers.value, file), false);

    // Systems before Vista without WOW64 also look for these in the Windows folder.
    bool older32 = !m_bWow64 && m_nOsCode < kOsVista;
    for (const std::string& file : StagedFiles()) {
        if (drivers.ok) CopyChecked(m_strDriverSourceDir + file, JoinPath(drivers.value, file));
        if (older32 && windows.ok)
            CopyChecked(m_strDriverSourceDir + file, JoinPath(windows.value, file));
    }
    if (drivers.ok)
        CopyChecked(m_strDriverSourceDir + kStdNamesFile, JoinPath(drivers.value, kStdNamesFile));
}

bool CInstallation::HandleCopyFileError(std::string source, std::string dest, uint32_t code) {
    RoutineScope scope("HandleCopyFileError");
    Kernel& kernel = sys_.os.kernel;
    TraceLog& log = sys_.log;
    if (code != kErrAccessDenied && code != kErrSharingViolation) {
        log.WriteLog("COPYFILE ERROR, SRC : %s ", source.c_str());
        log.WriteLog("ERROR CODE : %d ", int(code));
        log.WriteLog("COPYFILE ERROR, DES : %s ", dest.c_str());
        return false;
    }
    std::string old = dest + ".old";
    log.WriteLog(code == kErrAccessDenied ? "ERROR_ACCESS_DENIED HANDLER"
                                          : "ERROR_SHARING_VIOLATION HANDLER");
    if (kernel.GetFileAttributesA(old).ok) kernel.DeleteFileA(old);
    bool moved = false;
    if (kernel.GetFileAttributesA(dest).ok) {
        moved = kernel.rename(dest, old).ok;
        log.WriteLog("strDest : %s", dest.c_str());
        log.WriteLog("strDestWithOldExt : %s", old.c_str());
    }
    Status copied = kernel.CopyFileA(source, dest, false);
    if (!copied.ok) {
        log.WriteLog("CopyFile Error : %s ", source.c_str());
        log.WriteLog("Error Code : (%d) ", int(copied.error));
        log.WriteLog("CopyFile Error : %s ", dest.c_str());
        // Never leave the destination missing: the file in use goes back.
        if (moved) kernel.rename(old, dest);
    } else if (moved) {
        // The file moved aside is still in use; nothing else would ever
        // delete it.
        sys_.DeleteAtRestart(old);
    }
    return true;
}

void CInstallation::CopyINFFile() {
    LoggedRoutine routine(sys_.log, "CopyINFFile");
    std::string source = m_strDriverSourceDir + LoadScratch(InstallerString::kInfFile);
    Setup& setup = sys_.os.setup;
    Result<std::string> copied = setup.SetupCopyOEMInfA(source, kSpostPath, kSpCopyNoOverwrite);
    std::string destination = copied.value;
    if (!copied.ok && copied.error == kErrFileExists) {
        Result<std::string> replaced =
            setup.SetupCopyOEMInfA(source, kSpostPath, kSpCopyReplaceOnly);
        if (!replaced.value.empty()) destination = replaced.value;
    } else if (!copied.ok) {
        sys_.log.WriteLog("SetupCopyOEMInf failed : (%d)", int(copied.error));
        sys_.ShowSystemErrorBox("SetupCopyOEMInf, ERR CODE: %d\n\n", copied.error, kMbIconError);
    }
    sys_.log.WriteLog("INF FILE NAME : %s", destination.c_str());
}

void CInstallation::DeleteFilesUsed() {
    LoggedRoutine routine(sys_.log, "DeleteFilesUsed");
    Kernel& kernel = sys_.os.kernel;
    TraceLog& log = sys_.log;
    StatusStep("Deleting files used to install...\r\n");

    Result<std::string> drivers = sys_.os.spooler.GetPrinterDriverDirectoryA(nullptr, m_strEnvironment.c_str());
    if (!drivers.ok) {
        // Without the folder the paths would point at the root of a drive.
        log.WriteLog("GetPrinterDriverDirectory failed. (%d)", int(drivers.error));
        return;
    }
    for (const char* file : kUnidrvCore) {
        std::string path = JoinPath(drivers.value, file);
        kernel.DeleteFileA(path);
        log.WriteLog("FILE SRC : %s", path.c_str());
    }
    std::vector<std::string> files = StagedFiles();
    files.push_back(kStdNamesFile);
    for (const std::string& file : files) {
        std::string path = JoinPath(drivers.value, file);
        log.WriteLog("FILE SRC : %s", path.c_str());
        sys_.DeleteFileReported(path);
    }
}

void CInstallation::CopyFilesOfUtilities() {
    LoggedRoutine routine(sys_.log, "CopyFilesOfUtilities");
    Result<std::string> windows = sys_.os.kernel.GetWindowsDirectoryA();
    if (!windows.ok) {
        // "\ZEP" at the root of a drive is not ours to wipe.
        sys_.log.WriteLog("GetWindowsDirectory failed");
        return;
    }
    std::string folder = ProductFolder(windows.value);
    CreateDirectoryWithSA(folder);
    std::string uninstaller = LoadScratch(InstallerString::kUninstallerFile);
    // A bare name is read from the current folder; an unattended run reads
    // the package beside the program.
    std::string source = sys_.run.Unattended() ? PackageFolder() + uninstaller : uninstaller;
    CopyChecked(source, JoinPath(folder, uninstaller));
}

bool CInstallation::CreateDirectoryWithSA(const std::string& path) {
    LoggedRoutine routine(sys_.log, "CreateDirectoryWithSA");
    Kernel& kernel = sys_.os.kernel;
    Advapi& advapi = sys_.os.advapi;

    // The folder holds the uninstaller, which Windows runs as administrator:
    // everyone may read and run it, only administrators and SYSTEM may change it.
    Result<HSid> everyone = advapi.AllocateAndInitializeSid(WellKnownSid::Everyone);
    if (!everyone.ok) sys_.log.WriteLog("Fail to get Everyone SID. (%d)", int(everyone.error));
    Result<HSid> admins = advapi.AllocateAndInitializeSid(WellKnownSid::Administrators);
    if (!admins.ok) sys_.log.WriteLog("Fail to get Administrators SID. (%d)", int(admins.error));
    Result<HSid> system = advapi.AllocateAndInitializeSid(WellKnownSid::LocalSystem);
    if (!system.ok) sys_.log.WriteLog("Fail to get SYSTEM SID. (%d)", int(system.error));
    // Anything short of all three entries takes the folder's default
    // (inherited) security instead: without the administrators' entry the
    // uninstaller could not be copied in, and an empty list would make a
    // NULL DACL, which opens the folder to everyone.
    Result<HAcl> acl = Result<HAcl>::Fail(0);
    if (everyone.ok && admins.ok && system.ok) {
        acl = advapi.SetEntriesInAclA(
            {{kFileGenericReadExecute, kSetAccess, kSubContainersAndObjectsInherit, everyone.value},
             {kGenericAll, kSetAccess, kSubContainersAndObjectsInherit, admins.value},
             {kGenericAll, kSetAccess, kSubContainersAndObjectsInherit, system.value}});
        if (!acl.ok) sys_.log.WriteLog("SetEntriesInAcl failed : (%d)", int(acl.error));
    }
    bool withAcl = acl.ok && acl.value != HAcl::None;

    auto create = [&]() {
        return withAcl ? kernel.CreateDirectoryWithDacl(path, acl.value)
                       : kernel.CreateDirectoryA(path);
    };
    Status made = create();
    if (!made.ok && made.error == kErrAlreadyExists) {
        sys_.RemoveDirectoryTree(path);
        made = create();
    }
    if (!made.ok) {
        made = create();
        if (!made.ok) made = kernel.CreateDirectoryA(path);
    }

    if (everyone.ok) advapi.FreeSid(everyone.value);
    if (admins.ok) advapi.FreeSid(admins.value);
    if (system.ok) advapi.FreeSid(system.value);
    if (acl.ok) advapi.LocalFree(acl.value);
    return made.ok;
}

}  // namespace zep
