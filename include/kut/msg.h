// Message tables: the numbered texts of a module in the user's languages.
//
// A K_MSG serves one module. From the module name and two language numbers
// (logic and output) it names and loads two language libraries, then hands
// out texts by number in the mode chosen by its constructor:
//   1  on demand, optionally through a cache whose texts live as long as the
//      object;
//   2  listed: the texts of a caller-given list of numbers, read once;
//   4  complete: every non-empty text from 1 below a bound, read once and
//      kept sorted by number.
//
// Texts are cut at their first "$$" (the field rule of MsgParam); a text that
// starts with "OUT::" is taken from the output-language library instead.
//
// No locks: the class-wide language numbers and g_MsgParamText are shared by
// every object, so constructions and mode 1 reads of different objects must
// not overlap in time.
#ifndef KUT_MSG_H
#define KUT_MSG_H

#include "kut/afx.h"
#include "kut/types.h"

// The record handed out by K_MSG::menu. Its layout belongs to the callers
// that declare it; kut neither fills nor reads one.
struct MSG_LIGMNU;

// An entry of the mode 2 table.
struct MSG_MEMITEM {
    CString strText;
    KLONG nId;
};

// An entry of the mode 4 table. pText has room for its length plus 2
// characters and belongs to the table.
struct MSG_ITEM {
    wchar_t* pText;
    KLONG nId;
};

// A node of the mode 1 cache. The node does not free pText: whoever empties
// the list does (K_MSG's destructor).
class KUT_API MSG_LIST : public CObject {
public:
    MSG_LIST();
    ~MSG_LIST() override;
    void Serialize(CArchive& ar) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    // A null text leaves the node unchanged; otherwise pText becomes a new
    // copy of the text (length + 2 characters, from the C heap: free()) and
    // nId the number. When the copy cannot be allocated the node is left
    // unchanged as well. The text pText held before is neither freed nor
    // reused: it stays its owner's, so a node set twice leaves its first
    // copy to whoever set it. The destructor frees nothing either; whoever
    // empties the list frees each node's text (K_MSG does for its cache).
    void Set(const wchar_t* text, KLONG id);

    wchar_t* pText;
    KLONG nId;
};

// The list of cache nodes.
class KUT_API MAIN_LIST : public CObList {
public:
    MAIN_LIST();
    ~MAIN_LIST() override;
};

// The output marker "OUT::" (five characters).
KUT_API extern const wchar_t* g_OutMark;
// Result buffer of MsgParam, shared by every object.
KUT_API extern wchar_t g_MsgParamText[KUT_TEXT_MAX];

// Field n of a text whose fields are separated by "$$" (n <= 1 gives field
// 1). A text without "$$" is its own field 1; a missing field is empty. The
// result is copied into g_MsgParamText, which is returned.
KUT_API wchar_t* MsgParam(int n, const wchar_t* text);

// The three modes of a K_MSG, each chosen by one of its constructors.
enum {
    KMSG_MODE_BY_NUMBER = 1,  // texts read by number when asked for
    KMSG_MODE_LIST = 2,       // the texts of a list of numbers, read once
    KMSG_MODE_ALL = 4         // every text below a bound, sorted by number
};

class KUT_API K_MSG {
public:
    // Mode 1. cache == 1 keeps every distinct text asked for, so the pointer
    // text() hands out stays valid until the object is destroyed. `unused` is
    // not looked at. lang 0 takes the logic language from the settings.
    K_MSG(const wchar_t* name, unsigned short cache, const wchar_t* unused, short lang);
    // Mode 2: the texts of ids[0..count-1], read once, in the list's order.
    K_MSG(const wchar_t* name, const KLONG* ids, short count, unsigned short unused1, const wchar_t* unused2, short lang);
    // Mode 4: every non-empty text from 1 below `bound` (at most 65536),
    // sorted by number. With param != 0 only field `param` of each text is
    // kept. `unused` is not looked at.
    K_MSG(const wchar_t* name, short lang, KLONG bound, int unused, int param);

    // A copy owns its own libraries, tables and cache: the libraries are
    // loaded again from the files the original loaded.
    K_MSG(const K_MSG& other);
    K_MSG& operator=(const K_MSG& other);

    // Releases the libraries, the tables with their texts and the cache with
    // its nodes. A mode 4 object releases its libraries too: gettext reads
    // them for as long as the object lives, and nothing after.
    ~K_MSG();

    // -1 when either library failed to load, else the load error code. A
    // string missing from a library is not an error here: the code stays 0
    // (-2 and -3 are reserved for it).
    short wasInitError() const;
    // Always -1.
    short numItems() const;

    // The text of a number in the object's mode; an empty text when the
    // object cannot supply it. Modes 1 (without cache) and 2 return m_Text,
    // overwritten by the next text() or gettext().
    const wchar_t* text(KLONG id);
    CString operator[](KULONG id);
    // The whole string of the logic (lib == 1) or output (any other value)
    // library, "$$" included, without an "OUT::" marker.
    wchar_t* gettext(KLONG id, int lib);
    // Copies src into dst with the first "%<n>" replaced by value. dst must
    // hold the result and must not overlap src.
    void fillParam(const wchar_t* src, wchar_t* dst, short n, const wchar_t* value);
    const MSG_LIGMNU* menu(KLONG unused);
    // Sets the class-wide language numbers until the next construction.
    static void ConfLag(short logic, short output);

    // The sorted table of mode 4 (m_Items, entries 0..m_Count-1 ascending
    // by number). LoadAllStrings fills it from the numbers 1..bound-1; a
    // second call starts afresh and releases the texts of the first.
    void LoadAllStrings(KLONG bound);
    // Inserts a copy of text at the first of the entries 0..count-1, in
    // table order, whose number is greater than id (the end when none is),
    // even in a table the host put out of order: 5, 1, 9 with 3 gives
    // 3, 5, 1, 9. The caller guarantees room for count + 1 entries and
    // counts the insertion.
    void SortSet(const wchar_t* text, KLONG id, KLONG count);
    // Position of an entry with that number among the first `count`, or -1.
    // text() answers as BSearch(id, m_Count) would, but a table that
    // LoadAllStrings filled (or a copy of one) is read through a direct
    // index from number to position instead: 2 bytes per number from 0 to
    // the highest stored number (128 KB for a complete table of numbers up
    // to 65535), allocated once per filling and released with the table.
    // There is no index when the highest number exceeds 65535, when the
    // numbers are not strictly ascending, or when it cannot be allocated.
    // SortSet drops it, and text() ignores it once m_Items or m_Count has
    // been changed from outside: lookups then go through BSearch. Numbers
    // edited in place are caught per lookup: an index hit is taken only
    // while the entry still has the number and neither neighbour has it too,
    // and every other number goes through BSearch. So text() gives BSearch's
    // answer on any table in ascending order, edited or not. An edit that
    // breaks the order leaves BSearch itself unable to find some entries;
    // text() may then still find an entry at its indexed position (checking
    // the whole bisection path on every lookup would cost as much as the
    // bisection).
    int BSearch(KLONG id, KLONG count);
    // Field n of the text at table position pos, in m_ParamText. A text
    // with fewer fields gives a constant empty text instead (not m_ParamText,
    // and not to be written to); a position outside the table gives
    // m_ParamText emptied.
    wchar_t* GetTextParam(KLONG pos, KLONG n);

    int m_Param;
    MAIN_LIST* m_MsgList;
    MAIN_LIST* m_MsgList2;
    MSG_LIST* m_NewMsg;
    wchar_t m_Name[KUT_PATH_MAX];
    wchar_t m_Text[KUT_TEXT_MAX];
    const MSG_LIGMNU* m_Menu;
    HMODULE m_LogicLib;
    HMODULE m_OutputLib;
    int m_Mode;
    MSG_MEMITEM* m_MemTab;
    int m_Count;
    int m_Error;
    MSG_ITEM* m_Items;
    KLONG m_MaxId;
    wchar_t m_ParamText[KUT_TEXT_MAX];

private:
    friend struct KMsgTestAccess;  // white-box tests read the class-wide numbers

    void CustomName(wchar_t* name);
    void Load(int lang, int output);
    void LoadToMem(const KLONG* ids, short count);
    wchar_t* LoadStringDll(KLONG id);
    void Reset();

    void Init(const wchar_t* name, int mode);
    void ReadMessage(KLONG id);
    bool InsertAt(const wchar_t* text, KLONG id, KLONG pos, KLONG count);
    void ReleaseAll();
    void CopyFrom(const K_MSG& other);
    const wchar_t* SortedText(KLONG id);
    void BuildIndex();
    void DropIndex();

    static int m_StaticLogic;
    static int m_StaticOutput;

    // The number index of the sorted table (see BSearch): m_Index[number] is
    // the entry's position, or 0xFFFF when the number is not stored, for
    // numbers below m_IndexSize. It describes the table at m_IndexItems with
    // m_IndexCount entries and is used only while these are m_Items and
    // m_Count.
    std::uint16_t* m_Index;
    KULONG m_IndexSize;
    const MSG_ITEM* m_IndexItems;
    int m_IndexCount;
};

#endif
