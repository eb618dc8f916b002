// kopts: language and unit settings of the product family.
//
// This is our stand-in for the sibling library. Both records are process-wide
// and writable: hosts and tests change them in place. Their start values come
// from the environment, read once at the first call:
//   KOPTS_LANGUAGE  "logic,output"   (default 1,1)
//   KOPTS_UNITS     "nonmetric" sets the non-metric flag (default metric)
#ifndef KOPTS_KOPTS_H
#define KOPTS_KOPTS_H

#include "kopts/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CONF_LANGUAGE {
    int logic;   // language number of the texts a module shows
    int output;  // language number of texts marked for output
} CONF_LANGUAGE;

// Byte 924 of the unit settings record is the non-metric flag; the rest of
// the record belongs to other settings and is kept zero here.
#define CONF_KUNITS_SIZE 1024
#define CONF_KUNITS_NONMETRIC 924
typedef struct CONF_UNITS {
    unsigned char raw[CONF_KUNITS_SIZE];
} CONF_UNITS;

KOPTS_API CONF_LANGUAGE* CONF_Language(void);
KOPTS_API CONF_UNITS* CONF_KUNITS(void);

#ifdef __cplusplus
}
#endif
#endif
