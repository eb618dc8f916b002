// Export decoration for the kut library. Windows needs dllexport/dllimport;
// elsewhere the library is built with hidden visibility and only what is
// marked here is exported.
#ifndef KUT_EXPORT_H
#define KUT_EXPORT_H

#if defined(_WIN32)
#if defined(KUT_BUILDING)
#define KUT_API __declspec(dllexport)
#else
#define KUT_API __declspec(dllimport)
#endif
#else
#define KUT_API __attribute__((visibility("default")))
#endif

#endif
