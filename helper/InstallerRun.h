// The inside of the installer runs: each with the installer program as a parameter. The tool passes the
// system's own msiexec.exe (installerProgram); the tests pass a stand-in of their own, which on Windows can no
// longer be planted where the tool would find it.
#pragma once

#include "helper/Helper.h"

#include <cstdint>
#include <string>

namespace quillon {

// The Windows Installer the tool runs: msiexec.exe in the system folder (platform/Process.h), never one
// found in a folder that users can write.
std::u16string installerProgram();

// Helper::ExecMsiSync and Helper::ExecUninstallMsiByProductCodeSync with the program given.
bool execInstall(const std::u16string& program, const char16_t* packagePath, const char16_t* companyCode,
                 const char16_t* certificationCode, std::uint32_t& exitCode, InstallerLog* log = nullptr);
bool execUninstallByProductCode(const std::u16string& program, std::uint32_t& exitCode, InstallerLog* log = nullptr);

}  // namespace quillon
