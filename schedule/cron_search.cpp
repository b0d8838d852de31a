#include "schedule/cron_search.h"

#include <algorithm>
#include <ctime>

#include "port/clock.h"

// How the searches skip and still give what stepping minute by minute gives.
//
// The definition visits the instants start, start + 60, start + 120 ... and
// returns the first one whose local time matches. Local time is the instant
// plus the zone's offset, and the offset only changes at daylight-saving (or
// other) transitions. Between transitions local time runs evenly, so the next
// matching minute is plain calendar arithmetic (NextMatch), and every instant
// before it can be passed over. At a candidate t with offset o the search
// computes that target e and passes over (t, e) after probing the offset:
//
//  - at min(t + W, e): a different offset means a transition close ahead; a
//    binary search finds the first instant with the new offset, and the search
//    goes on from there (every instant before it still has offset o);
//  - at max(e - W, t + W): between t + W and e - W the offset may differ from o
//    by no more than W, so local times there stay strictly between those of t
//    and e, none of which match; if the offset there is not o, the search goes
//    on from that point;
//  - at e: a different offset means a transition in the last stretch, found by
//    binary search as above; otherwise e is the answer.
//
// W is one day. This rests on two properties of every zone in use: offsets
// change by at most a day, and no two transitions fall within one day of each
// other (offsets are whole minutes since 1972). Repeated hours need no special
// care: the instants of both passes are visited like any others. Searching
// backwards mirrors all of this.
//
// The end: the definition runs until the local-time conversion fails, which the
// Windows runtime does after 3000-12-31 23:59:59 UTC; other runtimes go on far
// beyond. The search ends at that instant on every platform, so a line that
// never falls due (30 February, a day of week 7, a time that always lies in a
// daylight-saving gap) gives 0, quickly when the calendar alone rules it out,
// and after one step per calendar match otherwise. Results differ from the
// definition only where the definition would search past the year 3000.
// Searches also never go before 1970, where the Windows runtime's conversion
// fails.

namespace orn2::schedule {

namespace {

constexpr int64_t kProbeWindow = 86400;  // W above; a whole number of minutes

// The local time of one instant, remembered so that the probe of a target and
// the next candidate's conversion are one call.
class LocalClock {
 public:
  bool Convert(int64_t t, std::tm* out) {
    if (t < kFirstSearchInstant || t > kLastSearchInstant) return false;
    if (!valid_ || t != instant_) {
      valid_ = port::LocalTime(t, &tm_);
      instant_ = t;
      if (!valid_) return false;
    }
    *out = tm_;
    return true;
  }
  // False when the offset at t differs from `offset` or t has no local time.
  bool SameOffset(int64_t t, int64_t offset) {
    std::tm local;
    return Convert(t, &local) && LinearSeconds(local) - t == offset;
  }
  // With the offset `offset` at a and not at b (a < b, both on the same minute
  // grid): the first instant after a with another offset.
  int64_t FirstChange(int64_t a, int64_t b, int64_t offset) {
    while (b - a > 60) {
      int64_t mid = a + (b - a) / 120 * 60;
      (SameOffset(mid, offset) ? a : b) = mid;
    }
    return b;
  }
  // With the offset `offset` at b and not at a (a < b): the last instant before
  // b with another offset.
  int64_t LastChange(int64_t a, int64_t b, int64_t offset) {
    while (b - a > 60) {
      int64_t mid = a + (b - a) / 120 * 60;
      (SameOffset(mid, offset) ? b : a) = mid;
    }
    return a;
  }

 private:
  bool valid_ = false;
  int64_t instant_ = 0;
  std::tm tm_{};
};

}  // namespace

bool FindNextStart(const CronSets& sets, int64_t first, int64_t* found) {
  if (!CanFallDue(sets)) return false;
  LocalClock clock;
  int64_t t = first;
  for (;;) {
    std::tm local;
    if (!clock.Convert(t, &local)) return false;
    if (MatchesTime(sets, local)) {
      *found = t;
      return true;
    }
    const int64_t offset = LinearSeconds(local) - t;
    const int64_t minute = FloorDiv(t + offset, 60);
    // The last candidate inside the searched range.
    const int64_t lastCandidate = t + (kLastSearchInstant - t) / 60 * 60;
    int64_t next = 0;
    int64_t target = lastCandidate;
    if (NextMatch(sets, minute, FloorDiv(kLastSearchInstant + offset, 60) + 1, &next))
      target = std::min(lastCandidate, t + (next - minute) * 60);
    if (target <= t) return false;

    const int64_t near = std::min(t + kProbeWindow, target);
    if (!clock.SameOffset(near, offset)) {
      t = clock.FirstChange(t, near, offset);
      continue;
    }
    const int64_t far = std::max(target - kProbeWindow, near);
    if (far > near && !clock.SameOffset(far, offset)) {
      t = far;
      continue;
    }
    t = clock.SameOffset(target, offset) ? target : clock.FirstChange(far, target, offset);
  }
}

bool FindLastStart(const CronSets& sets, int64_t last, int64_t lowest, int64_t* found) {
  if (!CanFallDue(sets)) return false;
  lowest = std::max(lowest, kFirstSearchInstant);
  LocalClock clock;
  int64_t t = last;
  for (;;) {
    std::tm local;
    if (t < lowest || !clock.Convert(t, &local)) return false;
    if (MatchesTime(sets, local)) {
      *found = t;
      return true;
    }
    const int64_t offset = LinearSeconds(local) - t;
    const int64_t minute = FloorDiv(t + offset, 60);
    // The last candidate still inside the window.
    const int64_t lastCandidate = t - (t - lowest) / 60 * 60;
    int64_t previous = 0;
    int64_t target = lastCandidate;
    if (PrevMatch(sets, minute, FloorDiv(lowest + offset, 60) - 1, &previous))
      target = std::max(lastCandidate, t - (minute - previous) * 60);
    if (target >= t) return false;

    const int64_t near = std::max(t - kProbeWindow, target);
    if (!clock.SameOffset(near, offset)) {
      t = clock.LastChange(near, t, offset);
      continue;
    }
    const int64_t far = std::min(target + kProbeWindow, near);
    if (far < near && !clock.SameOffset(far, offset)) {
      t = far;
      continue;
    }
    t = clock.SameOffset(target, offset) ? target : clock.LastChange(target, far, offset);
  }
}

}  // namespace orn2::schedule
