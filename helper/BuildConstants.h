// Constants of the build: the destination server, the agent's registry identity, the guard's name and the
// names of the tool's files. Nothing here is read at run time.
#pragma once

// The destination server: scheme and host (and port), no trailing slash; every server address is formed
// from it. Defined in ServerBaseUrl.cpp, which each executable compiles with its own server: the product
// with the CMake setting QUILLON_SERVER_BASE_URL, the tests and the demo with their local server.
extern const char16_t ServerBaseUrl[];
extern const char16_t kConfigScriptUrl[];   // ServerBaseUrl + "/dist/Windows/config.js"
extern const char16_t kAgentEndpointUrl[];  // ServerBaseUrl + "/rpc/", the installer's SERVER_URL

// What those addresses append to ServerBaseUrl. Macros, so that ServerBaseUrl.cpp joins them to its base as
// literals; tools/fetch forms a given server's addresses from the same text.
#define QUILLON_CONFIG_SCRIPT_PATH "/dist/Windows/config.js"
#define QUILLON_AGENT_ENDPOINT_PATH "/rpc/"

// The installed agent, as its installation leaves it in HKEY_LOCAL_MACHINE.
inline constexpr char16_t AgentRegistryKey[] = u"SOFTWARE\\TORVA\\Quillon";
inline constexpr char16_t AgentUpgradeCode[] = u"{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}";

// The machine-wide single-instance guard.
inline constexpr char16_t kInstanceMutexName[] = u"Global\\{3B9E61D2-5A47-4F0C-9E18-7C2D40A5B6E3}";

// The mutex the Windows Installer holds while an installation runs.
inline constexpr char16_t kInstallerMutexName[] = u"Global\\_MSIExecute";

// Files beside the executable, and the package in the temporary folder.
inline constexpr char16_t kLicenseFileName[] = u"License.txt";
inline constexpr char16_t kAuthFileName[] = u"Auth.ini";
inline constexpr char16_t kAgentPackageFileName[] = u"NewQuillonAgent.msi";

// The server check program's own run log and package in the temporary folder, apart from the tool's.
inline constexpr char16_t kServerCheckLogFileName[] = u"QuillonServerCheck.log";
inline constexpr char16_t kServerCheckPackageFileName[] = u"QuillonServerCheck.msi";
