// The LDIF reader: the input side of the change processor.
//
// readLdifRecord reads one record (the physical lines up to a blank line) into
// an owned, NUL-terminated buffer. nextLdifLine walks that buffer in place,
// unfolding continuation lines and dropping comments, and returns one logical
// line at a time. parseLdifLine splits a logical line into an attribute type
// and a value, decoding base64.
//
// Lines may end in LF or in CR LF; the CR of a CR LF never reaches a value.
// Files are read in pieces of at most 4095 characters, so a physical line of
// 4095 characters or more has its rest read as a piece of its own, and a rest
// that is only a line end counts as a blank line.
#ifndef KIVCONFIG_LDIF_READER_H_
#define KIVCONFIG_LDIF_READER_H_

#include <lber.h>

#include <cstddef>
#include <cstdio>
#include <memory>

#include "base/result_codes.h"

// Folding marker: a folded line end and the white space opening the
// continuation line are overwritten with it; parseLdifLine drops it from
// values, types keep it.
inline constexpr char kLdifFoldMarker = '\x01';

// Size of one read of a physical line, its terminating NUL included.
inline constexpr size_t kLdifPieceSize = 4096;

struct FreeDeleter {
  void operator()(void* block) const { free(block); }
};
struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
struct BerMemDeleter {
  void operator()(void* block) const { ber_memfree(block); }
};

// A record buffer (malloc/realloc memory).
using LdifText = std::unique_ptr<char, FreeDeleter>;
// A type or value made by parseLdifLine (LDAP library memory).
using BerText = std::unique_ptr<char, BerMemDeleter>;

struct LdifRecord {
  // The record's physical lines with their line ends, NUL-terminated; null at
  // the end of the input and on failure.
  LdifText text;
  // Bytes allocated for text: a multiple of kLdifPieceSize.
  size_t capacity = 0;
  // 0, or kLdifOutOfMemory when the buffer could not grow; "realloc: <system
  // error>" has then been printed on standard error.
  int result = 0;
};

// Reads the next record. Blank lines (empty, a lone CR LF, or a last line of
// a single character without line end) before a record are skipped; the
// first blank line after it ends it. Reading stops at end of file or at a
// read error, which both end the input.
LdifRecord readLdifRecord(FILE* file);

// The same, reading into `record` and reusing its buffer, so that a run of
// records needs no allocation beyond the largest one; the buffer is released
// at the end of the input and on failure.
void readLdifRecord(FILE* file, LdifRecord* record);

// Returns the next logical line of a record, NUL-terminated, modifying the
// buffer in place, or nullptr when the record is exhausted. *cursor starts at
// the buffer's first byte and becomes nullptr once the last line is taken.
// A physical line that starts with white space (other than a line end)
// continues the one before; a logical line starting with "#" is skipped.
char* nextLdifLine(char** cursor);

// Splits a logical line into its type and value. Returns 0 or -1 (not an
// attribute line, base64 that does not decode, a URL value, or no memory).
// The outputs are cleared first. On success *type is set and *value is
// either null (absent value: only white space after the colon) or holds
// *length bytes followed by a NUL. Both are ber_memalloc memory that the
// caller releases (BerText). The line itself is not modified.
int parseLdifLine(const char* line, char** type, char** value, ber_len_t* length);

// Unit tests make the record buffer's growth fail through this hook; nullptr
// restores realloc.
using LdifReallocFunction = void* (*)(void* block, size_t size);
void setLdifRecordRealloc(LdifReallocFunction grow);

#endif  // KIVCONFIG_LDIF_READER_H_
