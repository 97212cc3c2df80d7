// Windows body of the configuration-script request: MSXML 6's XMLHTTP60 object through COM, synchronous on a
// thread of its own so that the caller can stop waiting at a deadline.
#include "helper/ServerAccess.h"

#include "helper/ContentLength.h"
#include "helper/Retry.h"
#include "helper/windows/ComHolders.h"
#include "platform/Progress.h"
#include "platform/Text.h"
#include "platform/windows/MessagePump.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <msxml2.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <new>
#include <optional>

namespace quillon {

namespace {

using Microsoft::WRL::ComPtr;

// The documented identities, written out here because the mingw-w64 headers lack the 6.0 class.
constexpr CLSID kXmlHttp60Class = {0x88d96a0a, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kXmlHttpRequestInterface = {
    0xed8c108d, 0x4349, 0x11d2, {0x91, 0xa4, 0x00, 0xc0, 0x4f, 0x79, 0x69, 0xe8}};

ScriptResponse failed(const char16_t* call, HRESULT result) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string code = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) code += kDigits[(static_cast<unsigned long>(result) >> shift) & 0xF];
  ScriptResponse response;
  response.failure = formatText(u"%s Error(%s)", {call, code});
  response.mayPass = comErrorMayPass(result);
  return response;
}

// The value of an optional parameter that is not given.
VARIANT missingParameter() {
  VARIANT missing;
  VariantInit(&missing);
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  return missing;
}

// What the request object would have reported for a connection that ended before the body did (WinINet's
// ERROR_INTERNET_CONNECTION_ABORTED, 12030, as an HRESULT): it reports none itself, and hands over the part it
// got as if it were the whole.
constexpr HRESULT kConnectionAborted = static_cast<HRESULT>(0x80072EFE);

// A response header's value; empty where the answer has none.
std::u16string responseHeader(IXMLHTTPRequest& request, const wchar_t* header) {
  const ManagedBstr name(SysAllocString(header));
  ManagedBstr value;
  if (name.get() == nullptr || FAILED(request.getResponseHeader(name.get(), value.receive())) ||
      value.get() == nullptr) {
    return {};
  }
  return fromWide(std::wstring_view(value.get(), SysStringLen(value.get())));
}

// Whether the body is shorter than the Content-Length the server announced: a script cut in transit, to be
// tried again rather than searched. Without the header (a chunked answer) the request object is trusted.
bool cutShort(IXMLHTTPRequest& request) {
  const std::optional<std::uint64_t> announced = parseContentLength(responseHeader(request, L"Content-Length"));
  if (!announced) return false;
  ManagedVariant body;
  if (FAILED(request.get_responseBody(&body.get())) || body.get().vt != (VT_ARRAY | VT_UI1)) return false;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(body.get().parray, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(body.get().parray, 1, &upper))) {
    return false;
  }
  return static_cast<std::uint64_t>(static_cast<long long>(upper) - lower + 1) < *announced;
}

// The synchronous request as the tool has always made it; on the calling thread, whose apartment it needs.
ScriptResponse fetch(const char16_t* url) {
  // The object's DLLs come from the system folder before COM asks for them by name: loading msxml6 so also
  // loads what it hands its class over to (msxml3 under Wine) and what that loads in turn, from the system
  // folder's table, so that none planted beside the tool is taken. Once loaded, a DLL of that name is the
  // one every later load gets.
  if (loadSystemLibrary("msxml6.dll") == nullptr) return failed(u"LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
  ComPtr<IXMLHTTPRequest> request;
  {
    ComPtr<IUnknown> object;
    HRESULT result = CoCreateInstance(kXmlHttp60Class, nullptr, CLSCTX_ALL, IID_IUnknown,
                                      reinterpret_cast<void**>(object.GetAddressOf()));
    if (FAILED(result)) return failed(u"CoCreateInstance", result);
    result = OleRun(object.Get());
    if (FAILED(result)) return failed(u"OleRun", result);
    result = object->QueryInterface(kXmlHttpRequestInterface, reinterpret_cast<void**>(request.GetAddressOf()));
    if (FAILED(result)) return failed(u"QueryInterface", result);
  }  // the IUnknown reference goes here; `request` holds the object from now on

  const ManagedBstr method(SysAllocString(L"GET"));
  const ManagedBstr address(SysAllocString(asWide(url)));
  if (method.get() == nullptr || address.get() == nullptr) return failed(u"SysAllocString", E_OUTOFMEMORY);
  const VARIANT missing = missingParameter();
  HRESULT result;
  {
    ManagedVariant synchronous;  // cleared right after the call
    synchronous.get().vt = VT_I2;
    synchronous.get().iVal = 0;
    result = request->open(method.get(), address.get(), synchronous.get(), missing, missing);
  }
  if (FAILED(result)) return failed(u"IXMLHTTPRequest::open", result);

  // Returns when the whole response is in, or when the server could not be reached or TLS failed.
  result = request->send(missing);
  if (FAILED(result)) return failed(u"IXMLHTTPRequest::send", result);

  ScriptResponse response;
  result = request->get_status(&response.status);
  if (FAILED(result)) return failed(u"IXMLHTTPRequest::get_status", result);
  response.received = true;
  if (response.status / 100 != 2) {
    // The server's wish for the next try, where it says one; a response without it fails this call.
    response.retryAfter = responseHeader(*request.Get(), L"Retry-After");
    return response;
  }

  if (cutShort(*request.Get())) return failed(u"IXMLHTTPRequest::send", kConnectionAborted);

  ManagedBstr text;
  result = request->get_responseText(text.receive());
  if (FAILED(result)) return failed(u"IXMLHTTPRequest::get_responseText", result);
  try {
    response.text = fromWide(std::wstring_view(text.get(), SysStringLen(text.get())));
  } catch (const std::bad_alloc&) {
    return failed(u"IXMLHTTPRequest::get_responseText", E_OUTOFMEMORY);  // a body too large to search
  }
  return response;
}

// What the request's thread and the waiting caller share; whichever of them is done last frees it, as a
// caller that has stopped waiting leaves the request to end on its own.
struct Exchange {
  std::u16string url;
  ScriptResponse response;
};

void runRequest(Exchange& exchange) {
  const ManagedApartment apartment(SUCCEEDED(CoInitialize(nullptr)));
  exchange.response = fetch(exchange.url.c_str());
}

// What the request object reports for a request that its own time-out ends (WinINet's ERROR_INTERNET_TIMEOUT,
// 12002, as an HRESULT).
constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x80072EE2);

}  // namespace

ScriptResponse requestConfigScript(const char16_t* url, std::chrono::seconds timeLimit) {
  // The request object has no time-out of its own that holds for a server that accepts the request and then
  // stays silent, and asynchronously it never reports a connection that failed (under Wine), so the
  // synchronous request runs on a thread of its own while this one waits, for the time limit at most.
  // Nothing of this thread's apartment is shared with it.
  const auto exchange = std::make_shared<Exchange>();
  exchange->url = url;
  // The waiting thread keeps serving its window messages meanwhile (the progress window's among them), and
  // stops waiting when the user cancels: the request is then given up as at the time limit.
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(timeLimit).count();
  const DWORD waited =
      runDispatchingMessages<Exchange, runRequest>(exchange, static_cast<DWORD>(milliseconds), cancelRequested);
  if (waited == kWorkNotStarted) return failed(u"CreateThread", HRESULT_FROM_WIN32(GetLastError()));
  if (waited == kWaitStopped) return failed(u"IXMLHTTPRequest::send", HRESULT_FROM_WIN32(ERROR_CANCELLED));
  if (waited == WAIT_TIMEOUT) {
    // The request is given up: its thread ends when the server lets go of it, or with the process.
    ScriptResponse response = failed(u"IXMLHTTPRequest::send", kTimedOut);
    response.failure += formatText(u" timed out after %u s", {static_cast<unsigned long>(timeLimit.count())});
    return response;
  }
  if (waited != WAIT_OBJECT_0) return failed(u"MsgWaitForMultipleObjectsEx", HRESULT_FROM_WIN32(GetLastError()));
  return std::move(exchange->response);
}

}  // namespace quillon
