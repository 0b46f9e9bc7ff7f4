// The small in-place XML tag scanner that the KML, logbook, GPX and pilot-list readers share.
// It works on a writable, NUL-terminated copy of the whole document and cuts it into strings by
// writing NUL bytes into it; it allocates nothing. Text is handled as bytes (UTF-8 passes
// through unchanged) and entities are not decoded.
#pragma once

#include <cstdint>
#include <string>

#include "core/ports.h"

namespace tarnvik::formats {

// Scans the next tag from cursor and leaves cursor after its '>'.
//   name: the tag name inside the text; a leading '/' marks an end tag, "!--" a comment (the
//         whole comment), "![CDATA[" a CDATA section (the whole section; its content starts 8
//         characters in and ends before the closing "]]"), "?xml" the declaration.
//   attributes: the text after the name, or nullptr when the tag has none.
//   textBefore: the first non-blank character before the tag (its '<' became the NUL that ends
//         the text), or nullptr when only blanks, CR, LF and tabs stood there.
// Returns 0 for a start tag, comment, CDATA section or declaration; 1 for an empty-element tag
// ("/>", the slash is cut off); -1 at the end of the text with no further '<' (textBefore then
// is any trailing text); -2 when the text ends inside a tag, comment or CDATA section (name is
// still set).
int ScanXmlTag(char*& cursor, char*& name, char*& attributes, char*& textBefore);

// The content of a CDATA section whose name ScanXmlTag returned.
inline char* XmlCdataContent(char* name) { return name + 8; }

// Attribute lookups on the attribute text of one tag. A match needs the name followed directly
// by '=' and a value in double or single quotes; attributes are separated by blanks only.
// Text: 0 with at most maxLength characters copied (output holds maxLength + 1); -1 when the
// attribute is absent, unquoted or unterminated.
int GetXmlAttrText(const char* attributes, const char* name, char* output, int maxLength);
// Integer: 0; -1 when absent, unquoted, empty or only a sign; -2 when anything but a digit
// follows the optional sign or the value reaches 2147483640.
int GetXmlAttrInt(const char* attributes, const char* name, int32_t& value);
// Float ("-3,25" and "3.25" alike): 0; -1 when absent, unquoted, empty or without an integer
// digit; -2 when anything but the closing quote follows the number.
int GetXmlAttrFloat(const char* attributes, const char* name, double& value);

// CR, LF and tab become blanks, runs of blanks shrink to one, leading and one trailing blank go.
// Works in place; returns the new length.
int NormaliseXmlText(char* text);

// ---- structure check -----------------------------------------------------------------------

// Strict: the document must open with "<?xml" (GPX files, pilot list). Kml: the declaration may
// be missing; the first tag then is the first element.
enum class XmlVariant { Strict, Kml };

enum class XmlTagKind {
  Start,    // <name ...>
  End,      // </name>; name is given without the slash, text is the element's content
  Empty,    // <name .../>: a start and an end at once
  Other,  // comment, CDATA section or the declaration: neither opens nor closes
};

struct XmlTag {
  XmlTagKind kind = XmlTagKind::Other;
  char* name = nullptr;
  char* attributes = nullptr;
  char* text = nullptr;  // text before the tag, or nullptr
  int depth = 0;         // open elements after this tag
};

constexpr int kXmlMaxDepth = 19;

// One walk through a document: the cursor and the open elements.
struct XmlWalk {
  XmlWalk(char* text, XmlVariant variant) : cursor(text), variant(variant) {}
  char* cursor;
  XmlVariant variant;
  bool started = false;
  int depth = 0;
  const char* open[kXmlMaxDepth] = {};
  std::string message;  // why the walk failed
};

// Scans and checks the next tag. Returns 1 with tag filled, 0 when the document ended complete,
// -1 when it is malformed (walk.message holds the text to show).
int NextXmlTag(XmlWalk& walk, XmlTag& tag);

// Walks a whole document. On a malformed one shows walk's message with the reader's caption and
// a stop icon through ui and returns -1; 0 when the document is complete.
int CheckXmlStructure(core::Ui& ui, const std::string& caption, XmlVariant variant, char* text);

// A tag name as messages show it: longer than 20 characters is cut to 20 and followed by "...".
std::string XmlNameForMessage(const char* name);

}  // namespace tarnvik::formats
