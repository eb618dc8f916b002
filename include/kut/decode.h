// Text decoding: DOS code pages to Windows code pages, language
// dictionaries, and line-by-line conversion of whole text files.
//
// A language code (signed 16 bits) picks the tables:
//   33 -> code page 437, 34 35 39 49 -> 850, 48 -> 852, others -> 437;
//   dictionaries: 48 -> Central European, 70 and 79 -> Cyrillic, others Latin.
// A code-page file "DecodNNN.dcd" or a dictionary file "DecodNNN.dct" in the
// decoding data folder (REP_Repert kind 5) replaces the built-in table. Each
// kind of file is read at most once per process: the first call decides, and
// every later call keeps that table whatever its language code. A file with
// the wrong number of values is rejected with one warning box per process
// ("<file> warning <count> elements.", style 0x30) and the built-in tables
// are used from then on.
//
// Both data files are read in text mode on every platform: CR LF is one line
// end, a lone CR or LF also ends a line, and a byte 0x1A ends the file.
//
// Code-page file: one decimal number per line for DOS bytes 0x80..0xFF in
// order; lines whose number reads as 0 (blank lines, text, "0") are skipped.
// It is accepted when 128 numbers each end with a line end. A line keeps at
// most its first 258 characters; the rest of a longer line is ignored.
//
// Dictionary file: one entry per line for bytes 0..255: a decimal number
// (low 8 bits), or a quote followed by the character itself ('A). Anything
// after the first comma is a comment. Lines beginning with "[" are headers,
// and so are empty lines directly after a header. An empty line elsewhere is
// an entry of value 0. Accepted with 256 entries, the last ended by a line
// end. A line keeps at most its first 259 characters (the part up to its
// first comma is all that counts anyway). A comma inside a header line is
// part of the header: it does not turn the following lines into comments.
//
// Numbers are read like the Windows C run-time's atoi: leading white space,
// optional sign, digits up to the first non-digit, no digits giving 0, and a
// value beyond the 32-bit range clamped to INT_MAX or INT_MIN.
//
// Nothing here is locked: callers serialise the whole family.
#ifndef KUT_DECODE_H
#define KUT_DECODE_H
#include "kut/types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Converts the first `length` elements of `buffer` in place. An element
// whose low 8 bits b are 0x80 or more becomes table[b - 0x80] (low 8 bits,
// zero-extended); any other element is left as it is, high bits included.
// A length of 0 or less converts nothing but still selects (and on the
// first call loads) the table. A null buffer converts nothing.
KUT_API void DECODE_DosToWin(wchar_t* buffer, short length, short language);

// Returns `character` unchanged.
KUT_API unsigned short DECODE_Edi(unsigned short character);

// Chooses the dictionary in force for `language`, reading the dictionary
// file at the first call of the process.
KUT_API void DECODE_Language(short language);

// Folds one byte in place through the dictionary in force: a single table
// lookup, no check. Before the first DECODE_Language the built-in Latin
// dictionary is in force (no file is read for it).
KUT_API void DECODE_Txt_XP(unsigned char* byte);

// Byte twin of DECODE_Txt_XP without effect.
KUT_API void DECODE_Txt(char* byte);

// Converts the text file `source` (DOS code page of `language`) into
// `destination` (Windows code page), line by line, CR LF line ends out.
// When `destination` holds the empty string a free temporary name is made
// (see DECODE_CreateFiel) and written into it: the buffer must have room for
// the temporary folder's path plus 12 characters (more once the name counter
// has wrapped, see DECODE_SetCount). Returns 0 converted, 1 the source
// cannot be opened (nothing else happened), 2 the destination cannot be
// opened. Source and destination must name different files.
//
// Lines: each line (up to its LF) is read into a 520-element buffer, one
// byte per character. A line longer than 519 characters is cut after 519 and
// its rest comes out as the next line(s), so no character is lost; a line of
// exactly 519 characters stays one line. A NUL ends a line for conversion and
// writing. Each line goes through TestLine, then DECODE_DosToWin, and is
// written with CR LF and flushed (one write per line). The buffer keeps two
// spare elements beyond the 520, so the keyword rule inserts "97" even into
// a keyword line of 518 or 519 characters: such a line comes out 2
// characters longer than the line buffer, and nothing is cut.
// The read that meets the end of the input still gives a line: a source that
// ends with a line end gets one more, empty line; an empty source gives one
// line end. Read and write errors after both files are open are not reported
// (a read error ends the input).
KUT_API int DECODE_Convert(const wchar_t* source, wchar_t* destination, short language);

// Same operation, same arguments and result.
KUT_API int DECODE_ConvertFile(const wchar_t* source, wchar_t* destination, short language);

// Extension: the process-wide last temporary name (empty at start; the full
// path once DECODE_CreateFiel or DECODE_SetCount has found one). The pointer
// stays valid until the next DECODE_CreateFiel, DECODE_SetCount or
// DECODE_Convert with a generated name.
KUT_API const wchar_t* DECODE_LastTempName(void);

#ifdef __cplusplus
}

// Writes into `tempPath` the first free temporary path "TMP~NNN.con" in the
// temporary folder (REP_Repert kind 9), starting from TMP~001.con. A name is
// taken only when an existing file under it can be opened for update. Nothing
// is created or reserved.
KUT_API void DECODE_CreateFiel(wchar_t* tempPath);

// Searches the first free name after counter `start`, with the current last
// temporary name as folder prefix, and stores the full path as the last
// temporary name. Names are "TMP~" + number + ".con", the number preceded by
// "00" below 10 and by "0" from 10 to 99 (TMP~001.con ... TMP~099.con,
// TMP~100.con, TMP~1000.con). The counter is 16-bit and wraps from 32767 to
// -32768 (giving names like TMP~00-32768.con). The search tries at most 65536
// names: when all of them are taken the last temporary name becomes the
// empty string, which opens nothing (DECODE_Convert then returns 2 and no
// existing file is emptied).
KUT_API void DECODE_SetCount(short start);

// Product keyword rule: when the first character that is not a space or tab
// begins "kesto" (any case), "97" is inserted right after those five letters.
// The buffer must have room for two more characters in that case. A null
// line is left alone.
KUT_API void TestLine(wchar_t* line);
#endif

#endif
