#ifndef KBASE_EXPORT_H
#define KBASE_EXPORT_H
#if defined(_WIN32)
#if defined(KBASE_BUILDING)
#define KBASE_API __declspec(dllexport)
#else
#define KBASE_API __declspec(dllimport)
#endif
#else
#define KBASE_API __attribute__((visibility("default")))
#endif
#endif
