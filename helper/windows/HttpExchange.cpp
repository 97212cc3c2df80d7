// Windows body of one GET on its own thread: helper/windows/HttpExchange.h.
#include "helper/windows/HttpExchange.h"

#include "helper/ContentLength.h"
#include "helper/windows/ManagedHttpHandle.h"
#include "platform/Progress.h"
#include "platform/windows/MessagePump.h"
#include "platform/windows/WindowsSupport.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

namespace quillon {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr DWORD kUrlPartCapacity = 4096;  // host name and URL path, in wide characters

// The body's pieces pass through one ring of this size, filled by the thread and emptied by the caller in
// place: no allocation or clearing per piece. While the caller writes and hashes one part, the thread reads
// the next into the rest.
constexpr std::size_t kRingBytes = 1024 * 1024;
// The caller is woken for the body once this much waits for it, and otherwise finds what there is when it
// looks again, every kBodyLook: a wake-up per network read (a TLS record's worth under Wine) would cost more
// than the read.
constexpr std::size_t kWakeBytes = kRingBytes / 4;
constexpr milliseconds kBodyLook{50};

// What the clock allows each call: the time-outs of what the call may do, added up, and a margin within which
// the platform's own time-out normally ends the call first (so that the log gives the platform's words).
constexpr milliseconds kClockMargin{5000};
constexpr milliseconds kLocalCallLimit = kCallTimeLimit;  // calls that do not wait for the network
// Sending resolves the name, connects, has the proxy open its tunnel and makes the TLS handshake; the answer
// may come after redirects, each a request of its own.
constexpr milliseconds kRequestCallLimit = kResolveTimeLimit + kConnectTimeLimit + kSendTimeLimit + kReceiveTimeLimit;
constexpr milliseconds kReadCallLimit = kReceiveTimeLimit;

DWORD asTimeout(milliseconds limit) { return static_cast<DWORD>(limit.count()); }

}  // namespace

struct Exchange {
  enum class Stage { Working, Head, Ended };

  // Given before the thread starts; read only afterwards.
  SessionRoad road;
  std::u16string url;
  std::u16string headers;
  ManagedKernelHandle news{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // the caller's wake-up

  std::mutex mutex;
  std::condition_variable wake;  // the thread's: the body wanted, room in the ring, or given up
  // Guarded by `mutex`:
  bool givenUp = false;
  bool bodyWanted = false;
  bool callerWaiting = false;
  Stage stage = Stage::Working;
  const char16_t* call = u"WinHttpOpen";  // the call under way, or the one that failed
  Clock::time_point callStarted = Clock::now();
  milliseconds callLimit = kLocalCallLimit;
  bool failed = false;
  DWORD code = 0;
  ResponseHead head;
  std::vector<ProxyNote> notes;
  std::unique_ptr<char[]> ring;
  std::size_t start = 0;   // the caller's next byte in the ring
  std::size_t filled = 0;  // the bytes from there that the thread has put in

  // After a read: wakes a waiting caller once enough of the body waits for it.
  void tell() {
    if (callerWaiting && filled >= kWakeBytes) SetEvent(news.get());
  }
};

namespace {

// --- The thread ---------------------------------------------------------------------------------------------

// Notes the call about to be made; false when the caller has given the exchange up.
bool begin(Exchange& exchange, const char16_t* call, milliseconds limit) {
  const std::lock_guard<std::mutex> lock(exchange.mutex);
  if (exchange.givenUp) return false;
  exchange.call = call;
  exchange.callStarted = Clock::now();
  exchange.callLimit = limit;
  return true;
}

// Tells the caller that `call` failed; false, for the steps to return.
bool fail(Exchange& exchange, const char16_t* call, DWORD code) {
  const std::lock_guard<std::mutex> lock(exchange.mutex);
  exchange.call = call;
  exchange.code = code;
  exchange.failed = true;
  exchange.stage = Exchange::Stage::Ended;
  SetEvent(exchange.news.get());
  return false;
}

// A header of the response, as sent; empty when it has none.
std::u16string headerText(HINTERNET request, DWORD query) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return u"";
  std::u16string text(size / sizeof(wchar_t), u'\0');
  if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return u"";
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

ResponseHead responseHead(HINTERNET request, DWORD status) {
  ResponseHead head;
  head.status = static_cast<long>(status);
  head.contentLength = parseContentLength(headerText(request, WINHTTP_QUERY_CONTENT_LENGTH));
  head.contentRange = headerText(request, WINHTTP_QUERY_CONTENT_RANGE);
  head.etag = headerText(request, WINHTTP_QUERY_ETAG);
  head.lastModified = headerText(request, WINHTTP_QUERY_LAST_MODIFIED);
  head.retryAfter = headerText(request, WINHTTP_QUERY_RETRY_AFTER);
  return head;
}

// TLS 1.2, and 1.3 where Windows has it: Windows 7 and 8.1 offer neither by default. Where both are refused
// the platform's defaults stay.
void askForCurrentTls(HINTERNET session) {
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
  protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
}

// Opens the session, connection and request; false (the failure told) when a call failed or the exchange
// was given up.
bool openRequest(Exchange& exchange, HINTERNET& session, HINTERNET& connection, HINTERNET& request) {
  const SessionRoad& road = exchange.road;
  if (!begin(exchange, u"WinHttpOpen", kLocalCallLimit)) return false;
  session = WinHttpOpen(nullptr, road.accessType,
                        road.proxy.empty() ? WINHTTP_NO_PROXY_NAME : asWide(road.proxy.c_str()),
                        road.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : asWide(road.bypass.c_str()), 0);
  if (session == nullptr) return fail(exchange, u"WinHttpOpen", GetLastError());
  if (!WinHttpSetTimeouts(session, asTimeout(kResolveTimeLimit), asTimeout(kConnectTimeLimit),
                          asTimeout(kSendTimeLimit), asTimeout(kReceiveTimeLimit))) {
    return fail(exchange, u"WinHttpSetTimeouts", GetLastError());
  }
  askForCurrentTls(session);

  std::wstring hostName(kUrlPartCapacity, L'\0'), urlPath(kUrlPartCapacity, L'\0');
  URL_COMPONENTS parts;
  std::memset(&parts, 0, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = hostName.data();
  parts.dwHostNameLength = kUrlPartCapacity;
  parts.lpszUrlPath = urlPath.data();
  parts.dwUrlPathLength = kUrlPartCapacity;
  if (!WinHttpCrackUrl(asWide(exchange.url.c_str()), 0, 0, &parts)) {
    return fail(exchange, u"WinHttpCrackUrl", GetLastError());
  }
  if (!begin(exchange, u"WinHttpConnect", kLocalCallLimit)) return false;
  connection = WinHttpConnect(session, hostName.c_str(), parts.nPort, 0);
  if (connection == nullptr) return fail(exchange, u"WinHttpConnect", GetLastError());
  // REFRESH asks every cache on the way for a fresh copy of the package.
  const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH
                                                              : WINHTTP_FLAG_REFRESH;
  if (!begin(exchange, u"WinHttpOpenRequest", kLocalCallLimit)) return false;
  request = WinHttpOpenRequest(connection, L"GET", urlPath.c_str(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (request == nullptr) return fail(exchange, u"WinHttpOpenRequest", GetLastError());
  // The whole head within the wait for an answer too (the platform's default gives it 90 s).
  DWORD headTimeout = asTimeout(kReceiveTimeLimit);
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headTimeout, sizeof(headTimeout));
  return true;
}

// Sends the request and waits for its final answer's status, answering one proxy sign-in on the way; false
// (the failure told) when a call failed or the exchange was given up.
bool sendForStatus(Exchange& exchange, HINTERNET request, DWORD& status) {
  const std::u16string& headers = exchange.headers;
  bool answered = false;
  for (;;) {
    if (!begin(exchange, u"WinHttpSendRequest", kRequestCallLimit)) return false;
    if (!WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : asWide(headers.c_str()),
                            headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      return fail(exchange, u"WinHttpSendRequest", GetLastError());
    }
    if (!begin(exchange, u"WinHttpReceiveResponse", kRequestCallLimit)) return false;
    if (!WinHttpReceiveResponse(request, nullptr)) {
      return fail(exchange, u"WinHttpReceiveResponse", GetLastError());
    }
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
      return fail(exchange, u"WinHttpQueryHeaders", GetLastError());
    }
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return true;
    ProxyNote note{};
    const bool answering = answerProxySignIn(request, answered, note);
    {
      const std::lock_guard<std::mutex> lock(exchange.mutex);
      exchange.notes.push_back(std::move(note));
    }
    if (!answering) return true;  // the 407 is the answer
    answered = true;
  }
}

// The body into the ring, as long as the caller wants it. Each pass asks how much WinHTTP holds, then reads
// as much of it as fits; an available count of 0 is the end of the body.
void readBody(Exchange& exchange, HINTERNET request) {
  char* ring = exchange.ring.get();
  for (;;) {
    std::size_t end = 0, room = 0;
    {
      std::unique_lock<std::mutex> lock(exchange.mutex);
      exchange.wake.wait(lock, [&] { return exchange.givenUp || exchange.filled < kRingBytes; });
      if (exchange.givenUp) return;
      end = (exchange.start + exchange.filled) % kRingBytes;
      room = end >= exchange.start ? kRingBytes - end : exchange.start - end;
      exchange.call = u"WinHttpQueryDataAvailable";
      exchange.callStarted = Clock::now();
      exchange.callLimit = kReadCallLimit;
    }
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      fail(exchange, u"WinHttpQueryDataAvailable", GetLastError());
      return;
    }
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(available, room));
    if (!WinHttpReadData(request, ring + end, wanted, &read)) {
      fail(exchange, u"WinHttpReadData", GetLastError());
      return;
    }
    const std::lock_guard<std::mutex> lock(exchange.mutex);
    exchange.filled += read;
    if (available == 0) {
      exchange.stage = Exchange::Stage::Ended;
      SetEvent(exchange.news.get());
      return;
    }
    exchange.tell();
  }
}

void runExchange(Exchange& exchange) {
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  ManagedHttpHandle handles(&session, &connection, &request);
  DWORD status = 0;
  if (!openRequest(exchange, session, connection, request) || !sendForStatus(exchange, request, status)) return;
  ResponseHead head = responseHead(request, status);
  {
    std::unique_lock<std::mutex> lock(exchange.mutex);
    exchange.head = std::move(head);
    exchange.stage = Exchange::Stage::Head;
    SetEvent(exchange.news.get());
    exchange.wake.wait(lock, [&] { return exchange.givenUp || exchange.bodyWanted; });
    if (exchange.givenUp) return;
  }
  char* ring = new (std::nothrow) char[kRingBytes];  // not cleared: only bytes read are ever handed over
  if (ring == nullptr) {
    fail(exchange, u"new", ERROR_NOT_ENOUGH_MEMORY);
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(exchange.mutex);
    exchange.ring.reset(ring);
  }
  readBody(exchange, request);
}

}  // namespace

// --- The caller ---------------------------------------------------------------------------------------------

HttpExchange::HttpExchange(const SessionRoad& road, const char16_t* url, const std::u16string& headers)
    : exchange_(std::make_shared<Exchange>()) {
  exchange_->road = road;
  exchange_->url = url;
  exchange_->headers = headers;
}

HttpExchange::~HttpExchange() {
  {
    const std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->givenUp = true;
  }
  exchange_->wake.notify_all();
}

const ResponseHead& HttpExchange::head() const { return exchange_->head; }

std::vector<ProxyNote> HttpExchange::takeNotes() {
  const std::lock_guard<std::mutex> lock(exchange_->mutex);
  return std::move(exchange_->notes);
}

// Waits, answering the window, until `ready` (asked under the lock) holds or the thread has failed; until the
// call under way has run past its time, or `latest`; or until the user cancels. `ready` is asked whenever the
// thread wakes this one, and at least every `look`.
template <typename Ready>
HttpExchange::Outcome HttpExchange::await(Ready ready, Clock::time_point latest, milliseconds look) {
  Exchange& exchange = *exchange_;
  for (;;) {
    Clock::time_point expiry;
    {
      const std::lock_guard<std::mutex> lock(exchange.mutex);
      if (ready()) return Outcome::Done;
      if (exchange.failed) {
        failedCall_ = exchange.call;
        failedCode_ = exchange.code;
        return Outcome::Failed;
      }
      expiry = std::min(exchange.callStarted + exchange.callLimit + kClockMargin, latest);
      if (Clock::now() >= expiry) {
        failedCall_ = exchange.call;
        failedCode_ = ERROR_WINHTTP_TIMEOUT;
        return Outcome::TimedOut;
      }
      exchange.callerWaiting = true;
    }
    const auto left = std::min(std::chrono::duration_cast<milliseconds>(expiry - Clock::now()), look).count();
    const DWORD waited = waitDispatchingMessages(exchange.news.get(), static_cast<DWORD>(std::max<long long>(left, 1)),
                                                 cancelRequested);
    {
      const std::lock_guard<std::mutex> lock(exchange.mutex);
      exchange.callerWaiting = false;
    }
    if (waited == kWaitStopped) return Outcome::Cancelled;
    if (waited == WAIT_FAILED) {
      failedCall_ = u"MsgWaitForMultipleObjectsEx";
      failedCode_ = GetLastError();
      return Outcome::Failed;
    }
  }
}

HttpExchange::Outcome HttpExchange::awaitHead(Clock::time_point latest) {
  if (exchange_->news.get() == nullptr) {
    failedCall_ = u"CreateEvent";
    failedCode_ = GetLastError();
    return Outcome::Failed;
  }
  {
    const std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->callStarted = Clock::now();
  }
  const ManagedKernelHandle thread(startWork<Exchange, runExchange>(exchange_));
  if (thread.get() == nullptr) {
    failedCall_ = u"CreateThread";
    failedCode_ = GetLastError();
    return Outcome::Failed;
  }
  Exchange& exchange = *exchange_;
  return await([&] { return exchange.stage == Exchange::Stage::Head; }, latest, milliseconds::max());
}

HttpExchange::Outcome HttpExchange::receiveBody(PackageResponse& response) {
  Exchange& exchange = *exchange_;
  {
    const std::lock_guard<std::mutex> lock(exchange.mutex);
    exchange.bodyWanted = true;
  }
  exchange.wake.notify_all();
  for (;;) {
    // Silence ends the body, never its length in time: each read has its own time.
    const Outcome waited = await(
        [&] { return exchange.filled > 0 || (exchange.stage == Exchange::Stage::Ended && !exchange.failed); },
        Clock::time_point::max(), kBodyLook);
    if (waited != Outcome::Done) return waited;
    const char* piece = nullptr;
    std::size_t size = 0;
    {
      const std::lock_guard<std::mutex> lock(exchange.mutex);
      if (exchange.filled == 0) return Outcome::Done;  // the end of the body, every byte handed over
      piece = exchange.ring.get() + exchange.start;
      size = std::min(exchange.filled, kRingBytes - exchange.start);
    }
    if (!response.onBody(piece, size)) return Outcome::Stopped;
    {
      const std::lock_guard<std::mutex> lock(exchange.mutex);
      // A full ring held the thread back, not the network: its next call's time begins now.
      if (exchange.filled == kRingBytes) exchange.callStarted = Clock::now();
      exchange.start = (exchange.start + size) % kRingBytes;
      exchange.filled -= size;
    }
    exchange.wake.notify_all();
  }
}

}  // namespace quillon
