// The one export macro of liborn2: classes marked ORN2_API form the library's
// interface; everything else stays hidden inside liborn2.so / liborn2.dll.
#ifndef LIBORN2_EXPORT_H
#define LIBORN2_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(ORN2_BUILDING)
#define ORN2_API __declspec(dllexport)
#elif defined(ORN2_STATIC)
#define ORN2_API
#else
#define ORN2_API __declspec(dllimport)
#endif
#else
#define ORN2_API __attribute__((visibility("default")))
#endif

#endif  // LIBORN2_EXPORT_H
