// Everything kut exports.
#ifndef KUT_KUT_H
#define KUT_KUT_H

#include "kut/types.h"
#include "kut/afx.h"
#include "kut/kut_ext.h"
#include "kut/msg.h"
#include "kut/msgmngr.h"
#include "kut/decode.h"
#include "kut/file.h"
#include "kut/img.h"
#include "kut/units.h"
#include "kut/tool.h"
#include "kut/kstate.h"

#endif
