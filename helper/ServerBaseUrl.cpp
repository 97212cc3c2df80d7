// The destination server's addresses, from the compile definition QUILLON_SERVER_BASE_URL.
#include "helper/BuildConstants.h"

#ifndef QUILLON_SERVER_BASE_URL
#error "QUILLON_SERVER_BASE_URL must be defined for this file"
#endif

const char16_t ServerBaseUrl[] = u"" QUILLON_SERVER_BASE_URL;
const char16_t kConfigScriptUrl[] = u"" QUILLON_SERVER_BASE_URL QUILLON_CONFIG_SCRIPT_PATH;
const char16_t kAgentEndpointUrl[] = u"" QUILLON_SERVER_BASE_URL QUILLON_AGENT_ENDPOINT_PATH;
