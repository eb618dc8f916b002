// KState: the table of command states, tips and help numbers.
#include "kut/kstate.h"

#include <new>

namespace {

bool ValidRow(short row) { return row >= 0 && row < KState::ROWS; }

// A heap copy of `text`, or null when none can be made: the table reports
// no errors, a row simply stays without a tip.
CString* CopyTip(const CString& text) {
    try {
        return new CString(text);
    } catch (const std::bad_alloc&) { return nullptr; }
}

}  // namespace

KState::KState() : cmd(-1), state(50), stateTab() { ResetState(); }

KState::~KState() {
    for (STATE_ITEM& row : stateTab) delete row.tip;
}

KState::KState(const KState& other) : cmd(other.cmd), state(other.state) {
    for (int i = 0; i < ROWS; ++i) {
        stateTab[i] = other.stateTab[i];
        stateTab[i].tip = other.stateTab[i].tip ? CopyTip(*other.stateTab[i].tip) : nullptr;
    }
}

KState& KState::operator=(const KState& other) {
    if (this == &other) return *this;
    // Copy the source's texts before letting go of ours, so that a tip
    // shared by both tables (written through StateTab) is read while alive.
    CString* copies[ROWS];
    for (int i = 0; i < ROWS; ++i) { copies[i] = other.stateTab[i].tip ? CopyTip(*other.stateTab[i].tip) : nullptr; }
    for (int i = 0; i < ROWS; ++i) {
        delete stateTab[i].tip;
        stateTab[i] = other.stateTab[i];
        stateTab[i].tip = copies[i];
    }
    cmd = other.cmd;
    state = other.state;
    return *this;
}

void KState::SetState(short row, short s1, short s2, short s3) {
    if (!ValidRow(row)) return;
    stateTab[row].state1 = s1;
    stateTab[row].state2 = s2;
    stateTab[row].state3 = s3;
}

void KState::SetTip(short row, const CString& tip) {
    if (!ValidRow(row)) return;
    // Copy before releasing: `tip` may be the row's own string.
    CString* copy = CopyTip(tip);
    delete stateTab[row].tip;
    stateTab[row].tip = copy;
}

void KState::SetHelp(short row, int help) {
    if (!ValidRow(row)) return;
    stateTab[row].help = help;
}

void KState::ResetState() {
    for (STATE_ITEM& row : stateTab) {
        delete row.tip;
        row = STATE_ITEM{};
    }
}

int& KState::Cmd() { return cmd; }

short& KState::State() { return state; }

STATE_ITEM* KState::StateTab() { return stateTab; }
