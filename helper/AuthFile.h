// Reading the enrolment settings from a named file with the tool's own rules: Helper::readAuthSettings reads
// Auth.ini beside the executable through it, and the packaging refuses an Auth.ini that the tool would refuse.
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace quillon {

// Reads CompanyName, CompanyCode and CertCode from section CERT of `file`, in this order, each cut to 259
// characters. False at the first key that is missing or empty, whose name then goes to `failedKey` (when
// given); the keys read before it keep their new values and the later arguments are left untouched.
bool readAuthSettingsFile(const boost::filesystem::path& file, std::u16string& companyName,
                          std::u16string& companyCode, std::u16string& certCode,
                          const char16_t** failedKey = nullptr);

}  // namespace quillon
