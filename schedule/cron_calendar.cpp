#include "schedule/cron_calendar.h"

namespace orn2::schedule {

namespace {

constexpr int kMinutesPerDay = 1440;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;

bool Has(uint64_t mask, int bit) { return bit >= 0 && bit < 64 && ((mask >> bit) & 1) != 0; }

// The lowest set bit at or above `from`, or -1.
int LowestFrom(uint64_t mask, int from) {
  for (int bit = from < 0 ? 0 : from; bit < 64; ++bit)
    if (Has(mask, bit)) return bit;
  return -1;
}

// The highest set bit at or below `upTo`, or -1.
int HighestUpTo(uint64_t mask, int upTo) {
  for (int bit = upTo > 63 ? 63 : upTo; bit >= 0; --bit)
    if (Has(mask, bit)) return bit;
  return -1;
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month0) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month0 == 1 && IsLeap(year) ? 29 : kDays[month0];
}

// A position on the unchanging clock, kept both as a day count and as fields.
struct Cursor {
  int64_t day = 0;  // days since 1970-01-01
  int64_t year = 0;
  int month = 0;  // 0-11
  int mday = 1;
  int hour = 0;
  int minute = 0;

  explicit Cursor(int64_t minuteCount) {
    day = FloorDiv(minuteCount, kMinutesPerDay);
    int ofDay = static_cast<int>(minuteCount - day * kMinutesPerDay);
    hour = ofDay / 60;
    minute = ofDay % 60;
    // Civil date from a day count (the era-based method of H. Hinnant).
    int64_t z = day + 719468;
    int64_t era = FloorDiv(z, 146097);
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int month1 = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month1 <= 2 ? 1 : 0);
    month = month1 - 1;
  }

  int64_t Minutes() const { return day * kMinutesPerDay + hour * 60 + minute; }
  int Weekday() const { return static_cast<int>(day + 4 - FloorDiv(day + 4, 7) * 7); }

  void SetDate(int64_t y, int m, int d) {
    year = y;
    month = m;
    mday = d;
    day = DaysFromCivil(y, m + 1, d);
  }
  // Start of the first day of the next month in `months`.
  bool NextMonth(uint32_t months) {
    int m = LowestFrom(months, month + 1);
    int64_t y = year;
    if (m < 0 || m > 11) {
      ++y;
      m = LowestFrom(months, 0);
      if (m < 0 || m > 11) return false;
    }
    SetDate(y, m, 1);
    hour = 0;
    minute = 0;
    return true;
  }
  // End of the last day of the previous month in `months`.
  bool PrevMonth(uint32_t months) {
    int m = HighestUpTo(months & 0xFFFu, month - 1);
    int64_t y = year;
    if (m < 0) {
      --y;
      m = HighestUpTo(months & 0xFFFu, 11);
      if (m < 0) return false;
    }
    SetDate(y, m, DaysInMonth(y, m));
    hour = kLastHour;
    minute = kLastMinute;
    return true;
  }
  void NextDay() {
    if (mday == DaysInMonth(year, month)) {
      if (month == 11)
        SetDate(year + 1, 0, 1);
      else
        SetDate(year, month + 1, 1);
    } else {
      ++mday;
      ++day;
    }
    hour = 0;
    minute = 0;
  }
  void PrevDay() {
    if (mday == 1) {
      if (month == 0)
        SetDate(year - 1, 11, 31);
      else
        SetDate(year, month - 1, DaysInMonth(year, month - 1));
    } else {
      --mday;
      --day;
    }
    hour = kLastHour;
    minute = kLastMinute;
  }
};

}  // namespace

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  int64_t era = FloorDiv(year, 400);
  int64_t yoe = year - era * 400;
  int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t LinearSeconds(const std::tm& local) {
  return DaysFromCivil(local.tm_year + int64_t{1900}, local.tm_mon + 1, local.tm_mday) * 86400 +
         local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

bool CanFallDue(const CronSets& sets) {
  if ((sets.minutes & ((uint64_t{1} << 60) - 1)) == 0 || (sets.hours & 0xFFFFFFu) == 0 ||
      (sets.weekdays & 0x7Fu) == 0)
    return false;
  // Every date that exists recurs on every day of the week, so a month that has
  // one of the days is enough; 29 February counts.
  const int firstDay = LowestFrom(sets.days, 1);
  if (firstDay < 0) return false;
  for (int month = 0; month < 12; ++month) {
    if (Has(sets.months, month) && firstDay <= (month == 1 ? 29 : DaysInMonth(1, month)))
      return true;
  }
  return false;
}

bool MatchesTime(const CronSets& sets, const std::tm& local) {
  return Has(sets.minutes, local.tm_min) && Has(sets.hours, local.tm_hour) &&
         Has(sets.days, local.tm_mday) && Has(sets.months, local.tm_mon) &&
         Has(sets.weekdays, local.tm_wday);
}

bool NextMatch(const CronSets& sets, int64_t from, int64_t limit, int64_t* found) {
  if (!CanFallDue(sets)) return false;
  Cursor c(from + 1);
  const int64_t limitDay = FloorDiv(limit, kMinutesPerDay);
  while (c.day <= limitDay) {
    if (!Has(sets.months, c.month)) {
      if (!c.NextMonth(sets.months)) return false;
      continue;
    }
    int mday = LowestFrom(sets.days, c.mday);
    if (mday < 0 || mday > DaysInMonth(c.year, c.month)) {
      if (!c.NextMonth(sets.months)) return false;
      continue;
    }
    if (mday != c.mday) {
      c.day += mday - c.mday;
      c.mday = mday;
      c.hour = 0;
      c.minute = 0;
    }
    if (!Has(sets.weekdays, c.Weekday())) {
      c.NextDay();
      continue;
    }
    int hour = LowestFrom(sets.hours, c.hour);
    if (hour < 0 || hour > kLastHour) {
      c.NextDay();
      continue;
    }
    if (hour != c.hour) {
      c.hour = hour;
      c.minute = 0;
    }
    int minute = LowestFrom(sets.minutes, c.minute);
    if (minute < 0 || minute > kLastMinute) {
      if (c.hour == kLastHour) {
        c.NextDay();
      } else {
        ++c.hour;
        c.minute = 0;
      }
      continue;
    }
    c.minute = minute;
    if (c.Minutes() > limit) return false;
    *found = c.Minutes();
    return true;
  }
  return false;
}

bool PrevMatch(const CronSets& sets, int64_t from, int64_t limit, int64_t* found) {
  if (!CanFallDue(sets)) return false;
  Cursor c(from - 1);
  const int64_t limitDay = FloorDiv(limit, kMinutesPerDay);
  while (c.day >= limitDay) {
    if (!Has(sets.months, c.month)) {
      if (!c.PrevMonth(sets.months)) return false;
      continue;
    }
    int mday = HighestUpTo(sets.days, c.mday);
    if (mday < 1) {
      if (!c.PrevMonth(sets.months)) return false;
      continue;
    }
    if (mday != c.mday) {
      c.day -= c.mday - mday;
      c.mday = mday;
      c.hour = kLastHour;
      c.minute = kLastMinute;
    }
    if (!Has(sets.weekdays, c.Weekday())) {
      c.PrevDay();
      continue;
    }
    int hour = HighestUpTo(sets.hours, c.hour);
    if (hour < 0) {
      c.PrevDay();
      continue;
    }
    if (hour != c.hour) {
      c.hour = hour;
      c.minute = kLastMinute;
    }
    int minute = HighestUpTo(sets.minutes, c.minute);
    if (minute < 0) {
      if (c.hour == 0) {
        c.PrevDay();
      } else {
        --c.hour;
        c.minute = kLastMinute;
      }
      continue;
    }
    c.minute = minute;
    if (c.Minutes() < limit) return false;
    *found = c.Minutes();
    return true;
  }
  return false;
}

}  // namespace orn2::schedule
