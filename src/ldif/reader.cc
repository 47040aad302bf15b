#include "ldif/reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

LdifReallocFunction bufferRealloc = realloc;

// Space, or one of tab, LF, vertical tab, form feed and CR (9 to 13).
bool isLdifWhiteSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// A line end is LF or CR LF.
bool isLineEndAt(const char* text) {
  return text[0] == '\n' || (text[0] == '\r' && text[1] == '\n');
}

// Whether the physical line starting at `text` (just after a LF) continues
// the line before: it opens with white space that is not itself a line end.
bool continuesLine(const char* text) {
  return isLdifWhiteSpace(text[0]) && !isLineEndAt(text);
}

// Makes room for more input: moves the bytes not yet handed out to the front
// of the buffer, or doubles it when they fill it.
bool makeRoom(LdifInput* input) {
  if (input->begin > 0) {
    size_t kept = input->end - input->begin;
    memmove(input->buffer.get(), input->buffer.get() + input->begin, kept);
    input->nul -= input->seenNul ? input->begin : 0;
    input->end = kept;
    input->begin = 0;
  }
  if (input->end + 1 < input->capacity) {
    return true;
  }
  size_t grown = input->capacity == 0 ? kLdifBufferSize : 2 * input->capacity;
  void* block = bufferRealloc(input->buffer.get(), grown);
  if (block == nullptr) {
    perror("realloc");
    return false;
  }
  static_cast<void>(input->buffer.release());
  input->buffer.reset(static_cast<char*>(block));
  input->capacity = grown;
  return true;
}

// Reads what the file has next behind the buffered bytes, noting the first
// NUL byte; after it nothing more is read.
LdifReadResult fill(LdifInput* input) {
  if (!makeRoom(input)) {
    return LdifReadResult::kOutOfMemory;
  }
  char* space = input->buffer.get() + input->end;
  ssize_t count;
  do {
    count = read(input->fd, space, input->capacity - 1 - input->end);
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    input->error = errno;
    return LdifReadResult::kReadError;
  }
  if (count == 0) {
    input->atEnd = true;
    return LdifReadResult::kRecord;
  }
  const char* nul = static_cast<const char*>(memchr(space, '\0', static_cast<size_t>(count)));
  if (nul != nullptr) {
    input->seenNul = true;
    input->nul = static_cast<size_t>(nul - input->buffer.get());
  }
  if (!input->seenMarkerByte) {
    input->seenMarkerByte = memchr(space, kLdifFoldMarker, static_cast<size_t>(count)) != nullptr;
  }
  input->end += static_cast<size_t>(count);
  return LdifReadResult::kRecord;
}

// Value of a base64 character: 0..63, 64 for "=", -1 for anything else.
int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  if (c == '=')
    return 64;
  return -1;
}

// Decodes `length` bytes of base64 text in place. Returns the number of
// bytes or -1. Decoding stops after a group that ends in padding; text after
// it is ignored.
long decodeBase64InPlace(char* text, size_t length) {
  const char* in = text;
  const char* end = text + length;
  char* out = text;
  while (in < end) {
    if (end - in < 4) {
      return -1;
    }
    int group[4];
    for (int i = 0; i < 4; ++i) {
      group[i] = base64Value(static_cast<unsigned char>(in[i]));
      if (group[i] < 0) {
        return -1;
      }
    }
    if (group[0] == 64 || group[1] == 64) {
      return -1;
    }
    *out++ = static_cast<char>((group[0] << 2) | (group[1] >> 4));
    if (group[2] == 64) {
      break;
    }
    *out++ = static_cast<char>(((group[1] & 0x0f) << 4) | (group[2] >> 2));
    if (group[3] == 64) {
      break;
    }
    *out++ = static_cast<char>(((group[2] & 0x03) << 6) | group[3]);
    in += 4;
  }
  return out - text;
}

// Removes the fold markers from `length` bytes at `text`, shifting the rest
// left; returns the new length.
size_t removeFoldMarkers(char* text, size_t length) {
  char* marker = static_cast<char*>(memchr(text, kLdifFoldMarker, length));
  if (marker == nullptr) {
    return length;
  }
  const char* in = marker;
  const char* end = text + length;
  char* out = marker;
  for (; in < end; ++in) {
    if (*in != kLdifFoldMarker) {
      *out++ = *in;
    }
  }
  return static_cast<size_t>(out - text);
}

// How far the search for the end of the next record got. Offsets are from
// input->begin: the physical line being looked at, and where the search for
// its line end goes on. Blank lines before the record are handed out at
// once, so the record starts at offset 0.
struct RecordScan {
  bool inRecord = false;
  size_t lineStart = 0;
  size_t from = 0;
  size_t recordEnd = 0;  // where the record's text ends
  size_t consumed = 0;   // what the record takes from the input
};

// Looks through the buffered bytes for the blank line that ends the record.
bool findRecordEnd(LdifInput* input, RecordScan& scan) {
  char* base = input->buffer.get() + input->begin;
  size_t available = input->end - input->begin;
  while (scan.from < available) {
    const char* newline =
        static_cast<const char*>(memchr(base + scan.from, '\n', available - scan.from));
    if (newline == nullptr) {
      scan.from = available;
      return false;
    }
    size_t next = static_cast<size_t>(newline - base) + 1;
    size_t length = next - scan.lineStart;
    if (length > 2 || (length == 2 && base[scan.lineStart] != '\r')) {
      scan.inRecord = true;
    } else if (scan.inRecord) {
      scan.recordEnd = scan.lineStart;
      scan.consumed = next;
      return true;
    } else {
      input->begin += next;
      base += next;
      available -= next;
      next = 0;
    }
    scan.lineStart = scan.from = next;
  }
  return false;
}

// At the end of the input the record runs to its last byte. A last line
// without line end counts as blank when it holds at most one character.
// False when no record is left.
bool takeRestAsRecord(LdifInput* input, RecordScan& scan) {
  size_t available = input->end - input->begin;
  if (available - scan.lineStart > 1) {
    scan.lineStart = available;
    scan.inRecord = true;
  }
  scan.recordEnd = scan.lineStart;
  scan.consumed = available;
  return scan.inRecord;
}

// Hands the record found out of the buffer, ending its text with a NUL.
void handOut(LdifInput* input, RecordScan& scan, LdifRecord* record) {
  char* text = input->buffer.get() + input->begin;
  if (input->seenNul && input->nul - input->begin < scan.recordEnd) {
    // The NUL byte ends the record and the input.
    scan.recordEnd = scan.consumed = input->nul - input->begin + 1;
    record->nul = text + scan.recordEnd - 1;
    input->end = input->begin + scan.consumed;
    input->atEnd = true;
    input->seenNul = false;
  }
  text[scan.recordEnd] = '\0';
  record->mayHoldMarkerBytes = input->seenMarkerByte;
  record->text = text;
  record->end = text + scan.recordEnd;
  input->begin += scan.consumed;
}

}  // namespace

void setLdifRecordRealloc(LdifReallocFunction grow) {
  bufferRealloc = grow != nullptr ? grow : realloc;
}

LdifReadResult readLdifRecord(LdifInput* input, LdifRecord* record) {
  *record = LdifRecord{};
  RecordScan scan;
  for (;;) {
    if (findRecordEnd(input, scan))
      break;
    if (input->seenNul) {
      scan.recordEnd = scan.consumed = input->nul - input->begin + 1;
      break;
    }
    if (input->atEnd) {
      if (!takeRestAsRecord(input, scan)) {
        input->begin = input->end;
        return LdifReadResult::kEndOfInput;
      }
      break;
    }
    LdifReadResult result = fill(input);
    if (result != LdifReadResult::kRecord) {
      return result;
    }
  }
  handOut(input, scan, record);
  return LdifReadResult::kRecord;
}

bool nextLdifLine(LdifRecord* record, LdifLine* line) {
  for (;;) {
    char* start = record->text;
    char* end = record->end;
    if (start == nullptr || start >= end || isLineEndAt(start)) {
      record->text = nullptr;
      return false;
    }
    char* search = start;
    char* lineEnd;
    bool folded = false;
    for (;;) {
      char* newline = static_cast<char*>(memchr(search, '\n', static_cast<size_t>(end - search)));
      if (newline == nullptr) {
        lineEnd = end;
        record->text = end;
        break;
      }
      char* carriageReturn = newline > start && newline[-1] == '\r' ? newline - 1 : nullptr;
      // *end is a NUL, so a line end at the record's end continues nothing.
      if (!continuesLine(newline + 1)) {
        lineEnd = carriageReturn != nullptr ? carriageReturn : newline;
        record->text = newline + 1;
        break;
      }
      if (carriageReturn != nullptr) {
        *carriageReturn = kLdifFoldMarker;
      }
      newline[0] = kLdifFoldMarker;
      newline[1] = kLdifFoldMarker;
      folded = true;
      search = newline + 2;
    }
    bool holdsNul = record->nul != nullptr && record->nul >= start && record->nul < record->text;
    *lineEnd = '\0';
    if (*start != '#' || holdsNul) {
      line->text = start;
      line->length = static_cast<size_t>(lineEnd - start);
      line->holdsNul = holdsNul;
      line->mayHoldMarkers = folded || record->mayHoldMarkerBytes;
      return true;
    }
  }
}

int parseLdifLine(const LdifLine& text, LdifField* field) {
  *field = LdifField{};
  char* line = text.text;
  char* end = line + text.length;
  while (line < end && isLdifWhiteSpace(*line)) {
    ++line;
  }
  char* colon = static_cast<char*>(memchr(line, ':', static_cast<size_t>(end - line)));
  if (colon == nullptr) {
    return -1;
  }
  char* typeEnd = colon;
  while (typeEnd > line + 1 && isLdifWhiteSpace(typeEnd[-1])) {
    --typeEnd;
  }

  // The value: nothing after the colon is an empty value; white space and
  // fold markers only are an absent one.
  char* value = colon + 1;
  size_t valueLength = 0;
  if (value < end) {
    char form = *value;
    if (form == ':' || form == '<') {
      ++value;
    }
    while (value < end && isLdifWhiteSpace(*value)) {
      ++value;
    }
    valueLength = static_cast<size_t>(end - value);
    if (text.mayHoldMarkers) {
      valueLength = removeFoldMarkers(value, valueLength);
    }
    if (valueLength == 0) {
      value = nullptr;
    } else if (form == '<') {
      return -1;
    } else if (form == ':') {
      long decoded = decodeBase64InPlace(value, valueLength);
      if (decoded < 0) {
        return -1;
      }
      valueLength = static_cast<size_t>(decoded);
    }
  }
  if (value != nullptr) {
    value[valueLength] = '\0';
  }
  *typeEnd = '\0';
  field->type = line;
  field->typeLength = static_cast<size_t>(typeEnd - line);
  field->value = value;
  field->valueLength = valueLength;
  return 0;
}
