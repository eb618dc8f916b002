// A table of 50 command rows that a host fills and reads: three state values,
// a tip text and a help number per row, and beside them a command number and
// a state word. The table only stores.
#ifndef KUT_KSTATE_H
#define KUT_KSTATE_H

#include "kut/afx.h"
#include "kut/types.h"

// Callers reach these fields directly through KState::StateTab: order and
// widths are part of the interface.
struct STATE_ITEM {
    short state1;
    short state2;
    short state3;
    CString* tip;  // owned by the table; null for no tip
    int help;
};

class KUT_API KState {
public:
    enum { ROWS = 50 };

    KState();
    ~KState();
    // Copies own their tips: each table frees only its own strings, whichever
    // is destroyed first. Assignment replaces (and frees) the target's tips.
    KState(const KState& other);
    KState& operator=(const KState& other);

    // Rows outside 0..49 are ignored.
    void SetState(short row, short s1, short s2, short s3);
    // Stores a heap copy of `tip`, releasing the row's previous one; when no
    // copy can be made the row is left without a tip.
    void SetTip(short row, const CString& tip);
    void SetHelp(short row, int help);
    // Releases every tip and clears all rows; Cmd and State stay.
    void ResetState();

    int& Cmd();
    short& State();
    // Row 0 of the 50 rows. A tip pointer written through it becomes the
    // table's: it is deleted like the table's own.
    STATE_ITEM* StateTab();

private:
    int cmd;
    short state;
    STATE_ITEM stateTab[ROWS];
};

#endif
