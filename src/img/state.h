// The image cache's state record and its in-memory index: internal to the
// library (a host reaches the cache through the IMG_ functions only).
#ifndef KUT_IMG_STATE_H
#define KUT_IMG_STATE_H

#include <cstdio>

#include "kbase/cache.h"
#include "kut/img.h"

// One module of the in-memory index.
struct IMG_MODULE {
    wchar_t name[8];
    short count;
    unsigned char* table;  // count entries of 8 bytes, as read from the file
};

// The one state record of the image cache.
struct IMG_STATE {
    wchar_t path[KUT_PATH_MAX];
    std::FILE* stream;
    unsigned char keepOpen;
    short moduleCount;
    IMG_MODULE* modules;
    CACHE_BLOCK cache;
};

#endif
