// Windows body of the configuration-script request: MSXML 6's XMLHTTP60 object through COM.
#include "helper/ServerAccess.h"

#include "helper/windows/ComHolders.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"

#include <msxml2.h>
#include <wrl/client.h>

#include <new>

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

}  // namespace

ScriptResponse requestConfigScript(const char16_t* url) {
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
  if (response.status / 100 != 2) return response;

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

}  // namespace quillon
