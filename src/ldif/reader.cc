#include "ldif/reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

LdifReallocFunction recordRealloc = realloc;

bool isLdifWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

// An empty physical line, a lone CR LF, or a single character without line
// end at the end of the file.
bool isBlankPiece(const char* piece, size_t length) {
  return length < 2 || (length == 2 && piece[0] == '\r' && piece[1] == '\n');
}

// Grows the record buffer so that it holds `needed` bytes; capacities are
// multiples of the piece size and at least double on growth, so a long
// record is copied a bounded number of times.
bool reserveRecord(LdifText* text, size_t* capacity, size_t needed) {
  if (needed <= *capacity) {
    return true;
  }
  size_t grown = (needed + kLdifPieceSize - 1) / kLdifPieceSize * kLdifPieceSize;
  grown = std::max(grown, 2 * *capacity);
  void* block = recordRealloc(text->get(), grown);
  if (block == nullptr) {
    perror("realloc");
    return false;
  }
  static_cast<void>(text->release());
  text->reset(static_cast<char*>(block));
  *capacity = grown;
  return true;
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

// Decodes base64 text in place. Returns the number of bytes or -1. Decoding
// stops after a group that ends in padding; text after it is ignored.
long decodeBase64InPlace(char* text) {
  const char* in = text;
  char* out = text;
  while (*in != '\0') {
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

// Copies `text` without its fold markers into a new block of the LDAP
// library's allocator, NUL-terminated; *length is the count of bytes copied.
char* copyWithoutFoldMarkers(const char* text, size_t* length) {
  size_t remaining = strlen(text);
  char* copy = static_cast<char*>(ber_memalloc(remaining + 1));
  if (copy == nullptr) {
    return nullptr;
  }
  char* out = copy;
  while (remaining > 0) {
    const char* marker = static_cast<const char*>(memchr(text, kLdifFoldMarker, remaining));
    size_t run = marker != nullptr ? static_cast<size_t>(marker - text) : remaining;
    memcpy(out, text, run);
    out += run;
    size_t skipped = marker != nullptr ? run + 1 : run;
    text += skipped;
    remaining -= skipped;
  }
  *out = '\0';
  *length = static_cast<size_t>(out - copy);
  return copy;
}

}  // namespace

void setLdifRecordRealloc(LdifReallocFunction grow) {
  recordRealloc = grow != nullptr ? grow : realloc;
}

LdifRecord readLdifRecord(FILE* file) {
  LdifRecord record;
  readLdifRecord(file, &record);
  return record;
}

void readLdifRecord(FILE* file, LdifRecord* record) {
  record->result = 0;
  size_t length = 0;
  for (;;) {
    // Each piece is read straight into the record, behind the text so far.
    if (!reserveRecord(&record->text, &record->capacity, length + kLdifPieceSize)) {
      record->text.reset();
      record->capacity = 0;
      record->result = kLdifOutOfMemory;
      return;
    }
    char* piece = record->text.get() + length;
    if (fgets(piece, kLdifPieceSize, file) == nullptr) {
      *piece = '\0';
      if (length == 0) {
        record->text.reset();
        record->capacity = 0;
      }
      return;
    }
    size_t pieceLength = strlen(piece);
    if (isBlankPiece(piece, pieceLength)) {
      if (length == 0) {
        continue;
      }
      // The LF of a CR LF split from its CR by the piece size: the CR is
      // part of the line end, not data.
      if (piece[0] == '\n' && piece[-1] == '\r') {
        piece[-1] = '\0';
      }
      *piece = '\0';
      return;
    }
    length += pieceLength;
  }
}

char* nextLdifLine(char** cursor) {
  for (;;) {
    char* line = *cursor;
    if (line == nullptr || *line == '\0' || isLineEndAt(line)) {
      return nullptr;
    }
    char* search = line;
    for (;;) {
      char* end = strchr(search, '\n');
      if (end == nullptr) {
        *cursor = nullptr;
        break;
      }
      char* carriageReturn = end > line && end[-1] == '\r' ? end - 1 : nullptr;
      if (!continuesLine(end + 1)) {
        if (carriageReturn != nullptr) {
          *carriageReturn = '\0';
        }
        *end = '\0';
        *cursor = end + 1;
        break;
      }
      if (carriageReturn != nullptr) {
        *carriageReturn = kLdifFoldMarker;
      }
      end[0] = kLdifFoldMarker;
      end[1] = kLdifFoldMarker;
      search = end + 2;
    }
    if (*line != '#') {
      return line;
    }
  }
}

int parseLdifLine(const char* line, char** type, char** value, ber_len_t* length) {
  *type = nullptr;
  *value = nullptr;
  *length = 0;
  while (isLdifWhiteSpace(*line)) {
    ++line;
  }
  const char* colon = strchr(line, ':');
  if (colon == nullptr) {
    return -1;
  }
  const char* typeEnd = colon;
  while (typeEnd > line + 1 && isLdifWhiteSpace(typeEnd[-1])) {
    --typeEnd;
  }

  // The value: nothing after the colon is an empty value; white space and
  // fold markers only are an absent one.
  const char* rest = colon + 1;
  char form = *rest;
  if (form == ':' || form == '<') {
    ++rest;
  }
  while (isLdifWhiteSpace(*rest)) {
    ++rest;
  }
  BerText valueCopy;
  size_t valueLength = 0;
  if (colon[1] == '\0') {
    valueCopy.reset(ber_strdup(""));
  } else {
    valueCopy.reset(copyWithoutFoldMarkers(rest, &valueLength));
  }
  if (valueCopy == nullptr) {
    return -1;
  }
  if (colon[1] != '\0' && valueLength == 0) {
    valueCopy.reset();
  } else if (form == '<') {
    return -1;
  } else if (form == ':') {
    long decoded = decodeBase64InPlace(valueCopy.get());
    if (decoded < 0) {
      return -1;
    }
    valueLength = static_cast<size_t>(decoded);
    valueCopy.get()[valueLength] = '\0';
  }

  size_t typeLength = static_cast<size_t>(typeEnd - line);
  BerText typeCopy(static_cast<char*>(ber_memalloc(typeLength + 1)));
  if (typeCopy == nullptr) {
    return -1;
  }
  memcpy(typeCopy.get(), line, typeLength);
  typeCopy.get()[typeLength] = '\0';
  *type = typeCopy.release();
  *value = valueCopy.release();
  *length = static_cast<ber_len_t>(valueLength);
  return 0;
}
