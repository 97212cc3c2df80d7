#include "helper/RetryAfter.h"

#include "platform/Text.h"

#include <array>
#include <cstdint>

namespace quillon {

namespace {

using std::chrono::seconds;

// The longest wait told apart from "very long": far past any cap, far from any overflow.
constexpr std::int64_t kLongestWait = 1'000'000'000;

constexpr std::array<std::u16string_view, 12> kMonths = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                         u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr std::array<std::u16string_view, 7> kDays = {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"};
constexpr std::array<std::u16string_view, 7> kLongDays = {u"Monday", u"Tuesday", u"Wednesday", u"Thursday",
                                                           u"Friday", u"Saturday", u"Sunday"};

// Reads a date's fixed pieces off the front of a text, in order.
class Reader {
 public:
  explicit Reader(std::u16string_view text) : text_(text) {}

  bool literal(std::u16string_view expected) {
    if (text_.substr(0, expected.size()) != expected) return false;
    text_.remove_prefix(expected.size());
    return true;
  }
  template <std::size_t N>
  std::optional<int> oneOf(const std::array<std::u16string_view, N>& names) {
    for (std::size_t i = 0; i < N; ++i) {
      if (literal(names[i])) return static_cast<int>(i);
    }
    return std::nullopt;
  }
  // Exactly `count` digits.
  std::optional<int> digits(std::size_t count) {
    if (text_.size() < count) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (text_[i] < u'0' || text_[i] > u'9') return std::nullopt;
      value = value * 10 + (text_[i] - u'0');
    }
    text_.remove_prefix(count);
    return value;
  }
  bool atEnd() const { return text_.empty(); }

 private:
  std::u16string_view text_;
};

struct Moment {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "08:49:37"
bool readTime(Reader& reader, Moment& moment) {
  const auto hour = reader.digits(2);
  if (!hour || !reader.literal(u":")) return false;
  const auto minute = reader.digits(2);
  if (!minute || !reader.literal(u":")) return false;
  const auto second = reader.digits(2);
  if (!second) return false;
  moment.hour = *hour, moment.minute = *minute, moment.second = *second;
  return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<Moment> imfFixdate(std::u16string_view text) {
  Reader reader(text);
  Moment moment;
  if (!reader.oneOf(kDays) || !reader.literal(u", ")) return std::nullopt;
  const auto day = reader.digits(2);
  if (!day || !reader.literal(u" ")) return std::nullopt;
  const auto month = reader.oneOf(kMonths);
  if (!month || !reader.literal(u" ")) return std::nullopt;
  const auto year = reader.digits(4);
  if (!year || !reader.literal(u" ") || !readTime(reader, moment) || !reader.literal(u" GMT") || !reader.atEnd()) {
    return std::nullopt;
  }
  moment.year = *year, moment.month = *month + 1, moment.day = *day;
  return moment;
}

// "Sunday, 06-Nov-94 08:49:37 GMT"; the century is the one that puts the date no more than 50 years ahead.
std::optional<Moment> rfc850Date(std::u16string_view text, int currentYear) {
  Reader reader(text);
  Moment moment;
  if (!reader.oneOf(kLongDays) || !reader.literal(u", ")) return std::nullopt;
  const auto day = reader.digits(2);
  if (!day || !reader.literal(u"-")) return std::nullopt;
  const auto month = reader.oneOf(kMonths);
  if (!month || !reader.literal(u"-")) return std::nullopt;
  const auto year = reader.digits(2);
  if (!year || !reader.literal(u" ") || !readTime(reader, moment) || !reader.literal(u" GMT") || !reader.atEnd()) {
    return std::nullopt;
  }
  int fullYear = currentYear - currentYear % 100 + *year;
  if (fullYear < currentYear) fullYear += 100;
  if (fullYear > currentYear + 50) fullYear -= 100;
  moment.year = fullYear, moment.month = *month + 1, moment.day = *day;
  return moment;
}

// "Sun Nov  6 08:49:37 1994"
std::optional<Moment> asctimeDate(std::u16string_view text) {
  Reader reader(text);
  Moment moment;
  if (!reader.oneOf(kDays) || !reader.literal(u" ")) return std::nullopt;
  const auto month = reader.oneOf(kMonths);
  if (!month || !reader.literal(u" ")) return std::nullopt;
  std::optional<int> day = reader.literal(u" ") ? reader.digits(1) : reader.digits(2);
  if (!day || !reader.literal(u" ") || !readTime(reader, moment) || !reader.literal(u" ")) return std::nullopt;
  const auto year = reader.digits(4);
  if (!year || !reader.atEnd()) return std::nullopt;
  moment.year = *year, moment.month = *month + 1, moment.day = *day;
  return moment;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Seconds since 1970-01-01 00:00:00 UTC (days from the civil date, without the C library's time zone).
std::optional<std::int64_t> secondsSinceEpoch(const Moment& m) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int monthDays = kMonthDays[m.month - 1] + (m.month == 2 && isLeapYear(m.year) ? 1 : 0);
  if (m.day < 1 || m.day > monthDays || m.hour > 23 || m.minute > 59 || m.second > 60) return std::nullopt;
  const std::int64_t year = m.month <= 2 ? m.year - 1 : m.year;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (m.month + (m.month > 2 ? -3 : 9)) + 2) / 5 + m.day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t days = era * 146097 + dayOfEra - 719468;
  return days * 86400 + m.hour * 3600 + m.minute * 60 + m.second;
}

}  // namespace

std::optional<seconds> parseRetryAfter(std::u16string_view text, std::chrono::system_clock::time_point now) {
  text = trimBlanks(text);
  if (text.empty()) return std::nullopt;

  if (text.find_first_not_of(u"0123456789") == std::u16string_view::npos) {
    std::int64_t wait = 0;
    for (const char16_t digit : text) wait = std::min(kLongestWait, wait * 10 + (digit - u'0'));
    return seconds(wait);
  }

  const auto nowMilliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::int64_t nowSeconds = nowMilliseconds / 1000 - (nowMilliseconds % 1000 < 0 ? 1 : 0);
  const int currentYear = 1970 + static_cast<int>(nowSeconds / 31'556'952);  // a mean Gregorian year
  std::optional<Moment> moment = imfFixdate(text);
  if (!moment) moment = rfc850Date(text, currentYear);
  if (!moment) moment = asctimeDate(text);
  if (!moment) return std::nullopt;
  const std::optional<std::int64_t> at = secondsSinceEpoch(*moment);
  if (!at) return std::nullopt;
  // Rounded up: the whole second named has to have passed.
  const std::int64_t waitMilliseconds = *at * 1000 - nowMilliseconds;
  if (waitMilliseconds <= 0) return seconds(0);
  return seconds(std::min(kLongestWait, (waitMilliseconds + 999) / 1000));
}

}  // namespace quillon
