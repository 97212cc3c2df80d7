// The tool's operations, grouped under Helper. Each reports success as a bool and logs its own platform
// failures; the migration flow turns a false result into the user's message.
#pragma once

#include "platform/InstanceMarker.h"

#include <boost/filesystem/path.hpp>

#include <string>

// The enrolment settings from Auth.ini; one instance per process (Helper::getAuthSettings).
struct AuthSettings {
  std::u16string CompanyName;  // shown in the confirmation only
  std::u16string CompanyCode;  // installer property COMPANY_CODE
  std::u16string CertCode;     // installer property CERTIFICATION_CODE
};

namespace Helper {

// --- Tool directory and settings file -------------------------------------------------------------------

// The folder of the running executable (not the current folder): License.txt and Auth.ini live there.
boost::filesystem::path getToolDirectory();

// Where the agent package is downloaded to and installed from: NewQuillonAgent.msi in the temporary
// folder. Empty when the platform reports no usable temporary folder.
std::u16string getAgentPackagePath();

// True when an entry named Auth.ini (of any kind) exists beside the executable.
bool existsAuthFile();

// Reads CompanyName, CompanyCode and CertCode from section CERT of Auth.ini, in this order, each cut to
// 259 characters. False at the first key that is missing or empty; the keys read before it keep their new
// values and the later arguments are left untouched.
bool readAuthSettings(std::u16string& companyName, std::u16string& companyCode, std::u16string& certCode);

// The process's one AuthSettings, three empty texts until readAuthSettings fills them.
AuthSettings& getAuthSettings();

// --- Single-instance guard ------------------------------------------------------------------------------

// True when another copy of the tool is running. The handle receives this copy's hold on the marker (null
// when it could not be created: that failure is logged, and the result is false so the tool still runs);
// it must be closed at exit.
bool isAlreadyRunning(quillon::InstanceHandle& handle);

}  // namespace Helper
