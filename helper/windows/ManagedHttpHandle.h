// Windows only: the owner of a WinHTTP download's three handles.
#pragma once

#include "platform/windows/WindowsSupport.h"

#include <winhttp.h>

// Watches the download's session, connection and request handle variables: it is set up before any handle
// exists and closes, at the end of its scope, whatever each variable then holds (request, then connection,
// then session; null ones are skipped).
class ManagedHttpHandle {
 public:
  ManagedHttpHandle(HINTERNET* session, HINTERNET* connection, HINTERNET* request)
      : session_(session), connection_(connection), request_(request) {}
  virtual ~ManagedHttpHandle() {
    for (HINTERNET* handle : {request_, connection_, session_}) {
      if (*handle != nullptr) WinHttpCloseHandle(*handle);
    }
  }
  ManagedHttpHandle(const ManagedHttpHandle&) = delete;
  ManagedHttpHandle& operator=(const ManagedHttpHandle&) = delete;

 private:
  HINTERNET* session_;
  HINTERNET* connection_;
  HINTERNET* request_;
};
