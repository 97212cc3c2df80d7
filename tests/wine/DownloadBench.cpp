// The two sides of the Windows download measurement (scripts/benchmark --windows), in one program so that
// both start alike:
//   quillon-download-bench.exe tool URL PATH   Helper::downloadFile: the tool's download with its proofs
//   quillon-download-bench.exe bare URL PATH   the least a download can be: the same WinHTTP calls in the
//                                              same order, each chunk written to the file as it comes
//   quillon-download-bench.exe hash PATH       the platform's SHA-256 (BCrypt) over a file read in 1 MiB
//                                              pieces, on this thread: what the hash alone costs
// Prints "true SECONDS" (or "false SECONDS"), the time of the download (or the hash) alone; exit status 0 on
// success.
#include "helper/Helper.h"
#include "platform/Sha256.h"
#include "platform/windows/WindowsSupport.h"

#include <winhttp.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool bareDownload(const wchar_t* url, const wchar_t* path) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxy;
  std::memset(&proxy, 0, sizeof(proxy));
  if (!WinHttpCheckPlatform() || !WinHttpGetIEProxyConfigForCurrentUser(&proxy)) return false;
  HINTERNET session =
      proxy.lpszProxy != nullptr
          ? WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.lpszProxy, proxy.lpszProxyBypass, 0)
          : WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  std::vector<wchar_t> host(4096), urlPath(4096);
  URL_COMPONENTS parts;
  std::memset(&parts, 0, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = 4096;
  parts.lpszUrlPath = urlPath.data();
  parts.dwUrlPathLength = 4096;
  if (session == nullptr || !WinHttpCrackUrl(url, 0, 0, &parts)) return false;
  HINTERNET connection = WinHttpConnect(session, host.data(), parts.nPort, 0);
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH
                                                              : WINHTTP_FLAG_REFRESH;
  HINTERNET request = connection == nullptr ? nullptr
                                            : WinHttpOpenRequest(connection, L"GET", urlPath.data(), nullptr,
                                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  DWORD status = 0, statusSize = sizeof(status);
  bool ok = request != nullptr &&
            WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
            WinHttpReceiveResponse(request, nullptr) &&
            WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX) &&
            status == 200;
  FILE* file = nullptr;
  if (ok) {
    DeleteFileW(path);
    ok = _wfopen_s(&file, path, L"ab") == 0;
  }
  for (bool more = ok; more;) {
    DWORD available = 0, read = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) break;
    std::vector<char> chunk(available);
    if (!WinHttpReadData(request, chunk.data(), available, &read)) break;
    if (std::fwrite(chunk.data(), 1, read, file) < read) break;
    more = available > 0;
    ok = !more;
  }
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  for (HINTERNET handle : {request, connection, session}) {
    if (handle != nullptr) WinHttpCloseHandle(handle);
  }
  GlobalFree(proxy.lpszProxy);
  GlobalFree(proxy.lpszProxyBypass);
  GlobalFree(proxy.lpszAutoConfigUrl);
  return ok;
}

bool hashFile(const wchar_t* path) {
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return false;
  quillon::Sha256 sha;
  std::vector<char> chunk(1024 * 1024);
  for (std::size_t read; (read = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) sha.update(chunk.data(), read);
  std::fclose(file);
  return sha.finish().has_value();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc >= 3 ? argv[1] : L"";
  if (!((mode == L"tool" || mode == L"bare") && argc == 4) && !(mode == L"hash" && argc == 3)) {
    std::fputs("usage: quillon-download-bench tool|bare URL PATH | hash PATH\n", stderr);
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const bool ok = mode == L"hash"   ? hashFile(argv[2])
                  : mode == L"tool" ? Helper::downloadFile(quillon::asText(argv[2]), quillon::asText(argv[3]))
                                    : bareDownload(argv[2], argv[3]);
  QueryPerformanceCounter(&end);
  std::printf("%s %.3f\n", ok ? "true" : "false",
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return ok ? 0 : 1;
}
