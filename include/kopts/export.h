// Export decoration for the kopts library. Windows needs dllexport/dllimport;
// elsewhere the library is built with hidden visibility and only what is
// marked here is exported.
#ifndef KOPTS_EXPORT_H
#define KOPTS_EXPORT_H

#if defined(_WIN32)
#if defined(KOPTS_BUILDING)
#define KOPTS_API __declspec(dllexport)
#else
#define KOPTS_API __declspec(dllimport)
#endif
#else
#define KOPTS_API __attribute__((visibility("default")))
#endif

#endif
