// The text level of schedule lines: splitting a line into its fields and
// reading the comma-separated items of one field, for matching a value and for
// the syntax and range check.
#ifndef ORN2_SCHEDULE_CRON_FIELDS_H
#define ORN2_SCHEDULE_CRON_FIELDS_H

#include <cstddef>
#include <cstdint>

namespace orn2::schedule {

// Copies one field from text into field (capacity size, NUL-terminated) and
// returns the position of the next field after the blanks that follow it.
// Returns null when text is already at its end (field untouched) or when the
// field does not fit (field left empty).
const char* ScanField(char* field, size_t size, const char* text);

// 1 when value matches one of the field's items, else 0.
int MatchField(const char* field, int value);

// The values from low to high (0 <= low <= high <= 63) that the field matches,
// bit v for value v: the same answers as MatchField, from one walk of the items.
uint64_t MatchedValues(const char* field, int low, int high);

// 1 when the field passes the syntax and range check for low..high, else 0.
int CheckField(const char* field, int low, int high);

}  // namespace orn2::schedule

#endif  // ORN2_SCHEDULE_CRON_FIELDS_H
