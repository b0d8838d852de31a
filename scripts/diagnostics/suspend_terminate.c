/* Suspends, resumes and terminates threads the way Thread does on Windows, with
 * nothing but the Win32 API and the C runtime: no liborn2, no C++, no test
 * framework. It tells faults of the library from faults of the emulation that
 * runs the 32-bit suite where the kernel runs no 32-bit user code: 32-bit Wine
 * with its i386 code under qemu-i386 user-mode emulation (scripts/win32-root.sh).
 *
 * Every scenario is correct Win32 use; the x86-64 build passes all of them under
 * 64-bit Wine (scripts/diagnostics/emulation.sh --control). Under the emulation, terminating a
 * thread that sleeps, or one that is suspended, kills the process in every run:
 * Wine reports "Got unexpected trap -1" (a fault signal without a trap number)
 * and then a "nested exception on signal stack". Suspending a sleeping thread
 * does the same in some runs, and a spinning thread now and then goes on counting
 * after TerminateThread and the wait for its end have returned. Terminating a
 * thread blocked in a wait works. Both ways of starting the thread fail alike:
 * liborn2's (_beginthreadex, 8 KB stack) and the plainest (CreateThread, default
 * stack). The Thread tests that do these things die with the same trap there,
 * which is why they skip under the emulation.
 *
 * Run as root,
 *   scripts/diagnostics/emulation.sh [RUNS]
 * builds it and runs each scenario RUNS times (default 10) under the emulation,
 * telling how each run ended. Under any Wine by hand:
 *   suspend_terminate.exe [SCENARIO|all [STACK_BYTES [CreateThread]]]
 * Exit status 0 when every check held, 1 when one failed, 2 for an unknown
 * scenario; a crash ends the process with yet another status. */
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

enum Body { kSleep, kSpin, kBlock };

struct Worker {
  enum Body body;
  volatile LONG counter;
  HANDLE blocker; /* an event nobody sets, for kBlock */
  HANDLE thread;
};

static unsigned __stdcall WorkerMain(void* argument) {
  struct Worker* w = (struct Worker*)argument;
  InterlockedIncrement(&w->counter);
  if (w->body == kBlock) WaitForSingleObject(w->blocker, INFINITE);
  for (;;) {
    InterlockedIncrement(&w->counter);
    if (w->body == kSleep) Sleep(1);
  }
  return 0;
}

static int failures = 0;

static void Check(int ok, const char* scenario, const char* what) {
  if (!ok) {
    failures++;
    printf("%s: FAILED: %s\n", scenario, what);
    fflush(stdout);
  }
}

/* Starts the body as liborn2 does: _beginthreadex with the given stack size,
 * then waits until the body has counted once. */
static int useCreateThread = 0;

static DWORD WINAPI WorkerMainForCreateThread(void* argument) { return WorkerMain(argument); }

static int StartWorker(struct Worker* w, enum Body body, unsigned stack) {
  w->body = body;
  w->counter = 0;
  w->blocker = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (useCreateThread)
    w->thread = CreateThread(NULL, stack, WorkerMainForCreateThread, w, 0, NULL);
  else
    w->thread = (HANDLE)_beginthreadex(NULL, stack, WorkerMain, w, 0, NULL);
  if (w->thread == NULL) return 0;
  for (int waited = 0; waited < 20000 && w->counter == 0; ++waited) Sleep(1);
  return w->counter != 0;
}

/* SuspendThread only asks; reading the context waits until the thread stopped. */
static DWORD SuspendAndSettle(HANDLE thread) {
  DWORD previous = SuspendThread(thread);
  CONTEXT context;
  memset(&context, 0, sizeof context);
  context.ContextFlags = CONTEXT_INTEGER;
  GetThreadContext(thread, &context);
  return previous;
}

static int CounterStands(struct Worker* w, DWORD ms) {
  LONG before = w->counter;
  Sleep(ms);
  return w->counter == before;
}

static void TerminateAndWait(struct Worker* w, const char* scenario) {
  Check(TerminateThread(w->thread, 0) != 0, scenario, "TerminateThread");
  Check(WaitForSingleObject(w->thread, 20000) == WAIT_OBJECT_0, scenario, "ended within 20 s");
  Check(CounterStands(w, 150), scenario, "counter stands after the end");
  CloseHandle(w->thread);
  CloseHandle(w->blocker);
}

/* 200 times resume and at once suspend again, as the Thread test does. */
static void SuspendResume(const char* scenario, enum Body body, unsigned stack) {
  struct Worker w;
  Check(StartWorker(&w, body, stack), scenario, "started and counting");
  Check(SuspendAndSettle(w.thread) == 0, scenario, "first suspension");
  Check(CounterStands(&w, 150), scenario, "suspended counter stands");
  for (int i = 0; i < 200; ++i) {
    ResumeThread(w.thread);
    SuspendAndSettle(w.thread);
    Check(CounterStands(&w, 2), scenario, "counter stands after resume+suspend");
  }
  Check(ResumeThread(w.thread) == 1, scenario, "resumed");
  TerminateAndWait(&w, scenario);
}

static void TerminateRunning(const char* scenario, enum Body body, unsigned stack) {
  struct Worker w;
  Check(StartWorker(&w, body, stack), scenario, "started and counting");
  Sleep(100);
  TerminateAndWait(&w, scenario);
}

static void TerminateSuspended(const char* scenario, enum Body body, unsigned stack) {
  struct Worker w;
  Check(StartWorker(&w, body, stack), scenario, "started and counting");
  Check(SuspendAndSettle(w.thread) == 0, scenario, "suspended");
  TerminateAndWait(&w, scenario);
}

struct Scenario {
  const char* name;
  void (*run)(const char*, enum Body, unsigned);
  enum Body body;
};

static const struct Scenario kScenarios[] = {
    {"suspend-sleeping", SuspendResume, kSleep},
    {"suspend-spinning", SuspendResume, kSpin},
    {"terminate-sleeping", TerminateRunning, kSleep},
    {"terminate-spinning", TerminateRunning, kSpin},
    {"terminate-blocked", TerminateRunning, kBlock},
    {"terminate-suspended", TerminateSuspended, kSleep},
};

int main(int argc, char** argv) {
  const char* only = argc > 1 ? argv[1] : NULL;
  unsigned stack = argc > 2 ? (unsigned)strtoul(argv[2], NULL, 0) : 8192;
  useCreateThread = argc > 3 && strcmp(argv[3], "CreateThread") == 0;
  if (only != NULL && strcmp(only, "all") == 0) only = NULL;
  printf("%d-bit process, threads from %s, stack %u bytes\n", (int)(sizeof(void*) * 8),
         useCreateThread ? "CreateThread" : "_beginthreadex", stack);
  int ran = 0;
  for (size_t i = 0; i < sizeof kScenarios / sizeof kScenarios[0]; ++i) {
    const struct Scenario* s = &kScenarios[i];
    if (only != NULL && strcmp(only, s->name) != 0) continue;
    int before = failures;
    printf("%s: running\n", s->name);
    fflush(stdout);
    s->run(s->name, s->body, stack);
    printf("%s: %s\n", s->name, failures == before ? "ok" : "failed");
    fflush(stdout);
    ran++;
  }
  if (ran == 0) {
    fprintf(stderr, "unknown scenario %s\n", only);
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
