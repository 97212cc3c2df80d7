# The rule for the destination server's base URL, QUILLON_SERVER_BASE_URL: https, a host name or address
# and an optional port from 1 to 65535, nothing after it (no path, no trailing slash). The tool's server is
# https: the agent endpoint passed to the installer and both requests are formed from it. The build applies
# the rule when it is configured; scripts/package and scripts/check-server apply it before anything else:
#
#   cmake -DQUILLON_SERVER_BASE_URL=URL -P cmake/ServerBaseUrl.cmake
#
# prints what is wrong with URL on one line, or nothing when it is good.

# Sets `result` to the empty text for a good URL, else to what is wrong with it.
function(quillon_server_base_url_fault url result)
  set(fault "")
  if(NOT url MATCHES "^https://")
    set(fault "it must begin with https://")
  elseif(NOT url MATCHES "^https://([A-Za-z0-9]([-A-Za-z0-9.]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])(:[0-9]+)?$")
    set(fault "after https:// only a host name (letters, digits, '-', '.') and an optional :port may follow, no path and no trailing slash")
  elseif(url MATCHES ":([0-9]+)$")
    # Leading zeros would not change the number, but the URL is compiled into the tool as it is written.
    set(port "${CMAKE_MATCH_1}")
    string(LENGTH "${port}" digits)
    if(port MATCHES "^0" OR digits GREATER 5 OR port GREATER 65535)
      set(fault "the port must be a number from 1 to 65535 without leading zeros")
    endif()
  endif()
  set(${result} "${fault}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  quillon_server_base_url_fault("${QUILLON_SERVER_BASE_URL}" fault)
  if(fault)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${fault}")
  endif()
endif()
