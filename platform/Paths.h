// Paths as the platform gives them: the running executable, and conversion between the tool's UTF-16
// texts and Boost.Filesystem paths (wide on Windows, UTF-8 bytes on Linux).
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>
#include <string_view>

namespace quillon {

// Full path of the running executable, never cut however long it is; empty if the platform cannot say.
std::u16string executablePath();

// The temporary folder the agent package is downloaded to; empty when the platform has no usable one.
// Windows: Boost.Filesystem's temp_directory_path (TMP, TEMP, USERPROFILE, the Windows folder), not
// necessarily the run log's folder. Linux: TMPDIR, else /tmp, which is the run log's folder too.
boost::filesystem::path temporaryDirectory();

boost::filesystem::path toPath(std::u16string_view text);
std::u16string pathText(const boost::filesystem::path& path);

}  // namespace quillon
