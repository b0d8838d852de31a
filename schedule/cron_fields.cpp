#include "schedule/cron_fields.h"

#include <cstdint>
#include <cstring>

namespace orn2::schedule {

namespace {

// Runs of digits saturate here. Every value and bound that a field meets is far
// smaller, so comparisons and remainders come out as with the exact number.
constexpr int64_t kNumberCap = 1000000000;

enum class Form {
  kNumber,      // A
  kStar,        // *
  kStep,        // */N, /N, A/N
  kRange,       // A-B
  kRangeStep,   // A-B/N
  kRangeOther,  // A-B followed by anything but the end or a slash
  kOther,       // a star or digits followed by anything else
};

struct Item {
  Form form = Form::kOther;
  int a = 0;
  int b = 0;
  int n = 0;
  bool starAfterStep = false;  // A-B/* (or A-B/0*): the check accepts it
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits (0 when there is none) and returns the position after it.
const char* ReadNumber(const char* p, const char* end, int* out) {
  int64_t n = 0;
  for (; p < end && IsDigit(*p); ++p) {
    n = n * 10 + (*p - '0');
    if (n > kNumberCap) n = kNumberCap;
  }
  *out = static_cast<int>(n);
  return p;
}

Item ReadItem(const char* p, const char* end) {
  Item item;
  p = ReadNumber(p, end, &item.a);
  if (p == end) {
    item.form = Form::kNumber;
  } else if (*p == '*') {
    ++p;
    if (p == end) {
      item.form = Form::kStar;  // digits before the star are ignored
    } else if (*p == '/') {
      item.form = Form::kStep;
      ReadNumber(p + 1, end, &item.n);  // anything after N is ignored
    }
  } else if (*p == '/') {
    item.form = Form::kStep;  // A is ignored
    ReadNumber(p + 1, end, &item.n);
  } else if (*p == '-') {
    p = ReadNumber(p + 1, end, &item.b);
    if (p == end) {
      item.form = Form::kRange;
    } else if (*p == '/') {
      item.form = Form::kRangeStep;
      p = ReadNumber(p + 1, end, &item.n);
      item.starAfterStep = p < end && *p == '*';
    } else {
      item.form = Form::kRangeOther;
    }
  }
  return item;
}

// Walks the comma-separated items of a field without modifying it; empty items
// are skipped. The visitor returns -1 to go on, or the field's verdict.
template <typename Visitor>
int WalkItems(const char* field, int whenExhausted, Visitor visit) {
  const char* p = field;
  while (*p != '\0') {
    if (*p == ',') {
      ++p;
      continue;
    }
    const char* end = p;
    while (*end != '\0' && *end != ',') ++end;
    int verdict = visit(ReadItem(p, end));
    if (verdict >= 0) return verdict;
    p = end;
  }
  return whenExhausted;
}

bool IsRange(Form form) {
  return form == Form::kRange || form == Form::kRangeStep || form == Form::kRangeOther;
}

}  // namespace

const char* ScanField(char* field, size_t size, const char* text) {
  if (*text == '\0') return nullptr;
  size_t length = 0;
  while (text[length] != '\0' && text[length] != ' ' && text[length] != '\t') ++length;
  if (length >= size) {
    // Refused rather than cut: a cut field could match what the line never said.
    field[0] = '\0';
    return nullptr;
  }
  memcpy(field, text, length);
  field[length] = '\0';
  const char* next = text + length;
  while (*next == ' ' || *next == '\t') ++next;
  return next;
}

int MatchField(const char* field, int value) {
  return WalkItems(field, 0, [value](const Item& item) {
    if (IsRange(item.form)) {
      if (value < item.a) return -1;
      if (item.a > item.b) return 0;  // a reversed range fails the whole field
    }
    switch (item.form) {
      case Form::kNumber:
        return value == item.a ? 1 : -1;
      case Form::kStar:
        return 1;
      case Form::kStep:
        // A zero or missing step matches nothing instead of dividing by zero.
        return item.n != 0 && value % item.n == 0 ? 1 : -1;
      case Form::kRange:
        return value <= item.b ? 1 : -1;
      case Form::kRangeStep:
        // The step tests the value itself: 1-10/3 gives 3, 6 and 9. A-B/* and
        // A-B/0 match nothing.
        return item.n != 0 && value <= item.b && value % item.n == 0 ? 1 : -1;
      default:
        return -1;
    }
  });
}

uint64_t MatchedValues(const char* field, int low, int high) {
  uint64_t matched = 0;
  uint64_t undecided = 0;
  for (int v = low; v <= high; ++v) undecided |= uint64_t{1} << v;
  WalkItems(field, 0, [&](const Item& item) {
    // Each item decides some of the values still undecided: those it matches,
    // and for a reversed range those at or past its start (the field fails).
    uint64_t hits = 0;
    uint64_t fails = 0;
    for (int v = low; v <= high; ++v) {
      const uint64_t bit = uint64_t{1} << v;
      if ((undecided & bit) == 0) continue;
      bool hit = false;
      if (IsRange(item.form) && v >= item.a && item.a > item.b) {
        fails |= bit;
        continue;
      }
      switch (item.form) {
        case Form::kNumber:
          hit = v == item.a;
          break;
        case Form::kStar:
          hit = true;
          break;
        case Form::kStep:
          hit = item.n != 0 && v % item.n == 0;
          break;
        case Form::kRange:
          hit = v >= item.a && v <= item.b;
          break;
        case Form::kRangeStep:
          hit = item.n != 0 && v >= item.a && v <= item.b && v % item.n == 0;
          break;
        default:
          break;
      }
      if (hit) hits |= bit;
    }
    matched |= hits;
    undecided &= ~(hits | fails);
    return undecided == 0 ? 0 : -1;
  });
  return matched;
}

int CheckField(const char* field, int low, int high) {
  // The check accepts a field as soon as it meets a star, a step or a range, so
  // "5-10,99" passes while "99,5-10" fails.
  return WalkItems(field, 1, [low, high](const Item& item) {
    if (IsRange(item.form) && (item.a > item.b || item.a < low || item.b > high)) return 0;
    switch (item.form) {
      case Form::kNumber:
        return item.a < low || item.a > high ? 0 : -1;
      case Form::kStar:
      case Form::kRange:
        return 1;
      case Form::kStep:
        return item.n == 0 ? 0 : 1;
      case Form::kRangeStep:
        return item.n != 0 || item.starAfterStep ? 1 : -1;
      default:
        return -1;
    }
  });
}

}  // namespace orn2::schedule
