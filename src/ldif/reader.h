// The LDIF reader: the input side of the change processor.
//
// readLdifRecord reads one record (the physical lines up to a blank line)
// from a file descriptor into the reader's buffer and hands it out in place.
// nextLdifLine walks a record, unfolding continuation lines and dropping
// comments, and returns one logical line at a time. parseLdifLine splits a
// logical line into an attribute type and a value, decoding base64, also in
// place: nothing is copied or allocated per record, line or value.
//
// Lines may end in LF or in CR LF; the CR of a CR LF never reaches a value.
// Lines of any length are read whole. A NUL byte is damage: the record that
// holds it ends right after it, the line that holds it is marked, and the
// input ends there.
#ifndef KIVCONFIG_LDIF_READER_H_
#define KIVCONFIG_LDIF_READER_H_

#include <cstddef>
#include <cstdlib>
#include <memory>

// Folding marker: a folded line end and the white space opening the
// continuation line are overwritten with it; parseLdifLine drops it from
// values, types keep it.
inline constexpr char kLdifFoldMarker = '\x01';

// First size of the input buffer; it grows only for a record that does not
// fit, so memory follows the longest record, not the file's length.
inline constexpr size_t kLdifBufferSize = 64 * 1024;

struct FreeDeleter {
  void operator()(void* block) const { free(block); }
};

// The reading state of one file.
struct LdifInput {
  int fd = -1;
  std::unique_ptr<char, FreeDeleter> buffer;
  size_t capacity = 0;  // bytes of buffer, one of them kept for a NUL
  size_t begin = 0;     // first byte not yet handed out
  size_t end = 0;       // bytes read into buffer
  size_t nul = 0;       // index of the first NUL byte read, when seenNul
  bool seenNul = false;
  bool seenMarkerByte = false;  // a byte of kLdifFoldMarker's value was read
  bool atEnd = false;           // the file ended, or a NUL byte ended the input
  int error = 0;                // errno of a failed read
};

// One record: the bytes from text to end, its physical lines with their line
// ends; *end is a NUL written by the reader. nextLdifLine consumes it from
// the front.
struct LdifRecord {
  char* text = nullptr;  // the next line; null once the record is exhausted
  char* end = nullptr;
  const char* nul = nullptr;        // the NUL byte the record holds, or null
  bool mayHoldMarkerBytes = false;  // bytes of kLdifFoldMarker's value
};

enum class LdifReadResult { kRecord, kEndOfInput, kReadError, kOutOfMemory };

// Reads the next record from input->fd. Blank lines (empty, a lone CR LF, or
// a last line of a single character without line end) before a record are
// skipped; the first blank line after it ends it. The record stays valid
// until the next call. kReadError leaves the read's errno in input->error;
// kOutOfMemory follows "realloc: <system error>" printed on standard error.
// Both end the input, and a record not read to its end is not handed out.
LdifReadResult readLdifRecord(LdifInput* input, LdifRecord* record);

// A logical line: `length` bytes followed by a NUL written over its line end.
struct LdifLine {
  char* text = nullptr;
  size_t length = 0;
  bool holdsNul = false;  // the line holds the record's NUL byte
  // The line was folded or its record may hold bytes of kLdifFoldMarker's
  // value; parseLdifLine looks for markers only then.
  bool mayHoldMarkers = false;
};

// Takes the next logical line of `record`, modifying the record in place;
// returns false when the record is exhausted. A physical line that starts
// with white space (other than a line end) continues the one before; a
// logical line starting with "#" is skipped unless it holds a NUL byte.
bool nextLdifLine(LdifRecord* record, LdifLine* line);

// An attribute line split by parseLdifLine; both parts point into the line
// and are followed by a NUL.
struct LdifField {
  char* type = nullptr;
  size_t typeLength = 0;
  char* value = nullptr;  // null when absent: only white space after the colon
  size_t valueLength = 0;
};

// Splits a logical line (line.text[line.length] is writable, as nextLdifLine
// leaves it) into its type and value, in place. Returns 0, or -1 with *field
// cleared (not an attribute line, base64 that does not decode, or a URL
// value).
int parseLdifLine(const LdifLine& line, LdifField* field);

// Unit tests make the input buffer's allocation fail through this hook;
// nullptr restores realloc.
using LdifReallocFunction = void* (*)(void* block, size_t size);
void setLdifRecordRealloc(LdifReallocFunction grow);

#endif  // KIVCONFIG_LDIF_READER_H_
