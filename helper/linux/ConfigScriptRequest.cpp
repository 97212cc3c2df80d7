// Linux body of the configuration-script request: a libcurl GET into memory.
#include "helper/ServerAccess.h"

#include "helper/Retry.h"
#include "helper/linux/CurlRequest.h"
#include "platform/Text.h"

#include <new>

namespace quillon {

namespace {

struct Body {
  CurlGet& request;
  std::string bytes;
};

// Keeps the body of a 2xx response only: a redirect's body is dropped, and so is any other, which is
// never read.
std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* context) {
  Body& body = *static_cast<Body*>(context);
  if (body.request.status() / 100 != 2) return size * count;
  try {
    body.bytes.append(data, size * count);
  } catch (const std::bad_alloc&) {
    return 0;  // libcurl then ends the transfer with a write error
  }
  return size * count;
}

// The body as text: UTF-8, without a byte-order mark, malformed bytes as U+FFFD.
std::u16string decodeBody(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return fromUtf8(bytes);
}

}  // namespace

ScriptResponse requestConfigScript(const char16_t* url, std::chrono::seconds timeLimit) {
  ScriptResponse response;
  CurlGet request(url);
  if (!request.isReady()) {
    response.failure = request.describe(CURLE_FAILED_INIT);
    return response;
  }
  Body body{request, {}};
  curl_easy_setopt(request.handle(), CURLOPT_WRITEFUNCTION, keepBody);
  curl_easy_setopt(request.handle(), CURLOPT_WRITEDATA, &body);
  // Besides the connect and silence time-outs every request has: a server that trickles a byte now and then
  // ends here too. libcurl then says "Operation timed out".
  curl_easy_setopt(request.handle(), CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(timeLimit).count()));
  const CURLcode result = request.perform();
  if (result != CURLE_OK) {
    response.failure = request.describe(result);
    response.mayPass = curlErrorMayPass(result);
    return response;
  }
  response.received = true;
  response.status = request.status();
  if (response.status / 100 != 2) {
    response.retryAfter = request.header("Retry-After");
    return response;
  }
  try {
    response.text = decodeBody(body.bytes);
  } catch (const std::bad_alloc&) {
    response = ScriptResponse();  // a body too large to search
    response.failure = request.describe(CURLE_OUT_OF_MEMORY);
  }
  return response;
}

}  // namespace quillon
