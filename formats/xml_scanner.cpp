#include "formats/xml_scanner.h"

#include <cstring>

namespace tarnvik::formats {
namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Finds the value of attribute name: points at the opening quote, or nullptr when absent or
// not quoted.
const char* FindAttrValue(const char* attributes, const char* name) {
  if (attributes == nullptr || name == nullptr) return nullptr;
  size_t nameLength = std::strlen(name);
  const char* p = attributes;
  while (*p == ' ') ++p;
  while (*p != '\0') {
    if (std::strncmp(p, name, nameLength) == 0 && p[nameLength] == '=') {
      const char* value = p + nameLength + 1;
      return (*value == '"' || *value == '\'') ? value : nullptr;
    }
    // Only blanks separate attributes: CR, LF and tabs do not.
    while (*p != '\0' && *p != ' ') ++p;
    while (*p == ' ') ++p;
  }
  return nullptr;
}

}  // namespace

int ScanXmlTag(char*& cursor, char*& name, char*& attributes, char*& textBefore) {
  name = nullptr;
  attributes = nullptr;
  textBefore = nullptr;
  char* p = cursor;
  while (*p != '<') {
    if (*p == '\0') {
      cursor = p;
      return -1;
    }
    if (textBefore == nullptr && !IsXmlSpace(*p)) textBefore = p;
    ++p;
  }
  *p++ = '\0';
  name = p;

  if (std::strncmp(p, "!--", 3) == 0) {
    // Closed by the first run of two or more dashes directly followed by '>', none of them
    // part of the opening "!--".
    char* body = p + 3;
    for (char* q = body; *q != '\0'; ++q) {
      if (*q == '>' && q - body >= 2 && q[-1] == '-' && q[-2] == '-') {
        *q = '\0';
        cursor = q + 1;
        return 0;
      }
    }
    cursor = body + std::strlen(body);
    return -2;
  }

  if (std::strncmp(p, "![CDATA[", 8) == 0) {
    // Closed by exactly two ']' and '>': a third bracket restarts the search after it.
    int brackets = 0;
    for (char* q = p + 8; *q != '\0'; ++q) {
      if (*q == ']') {
        if (++brackets == 3) brackets = 0;
      } else if (*q == '>' && brackets == 2) {
        q[-2] = '\0';  // ends the content before "]]"
        *q = '\0';
        cursor = q + 1;
        return 0;
      } else {
        brackets = 0;
      }
    }
    cursor = p + std::strlen(p);
    return -2;
  }

  // An ordinary tag runs to the next '>', quoted or not.
  for (char* q = p; *q != '\0'; ++q) {
    if (*q == '>') {
      int result = 0;
      *q = '\0';
      if (q > p && q[-1] == '/') {
        q[-1] = '\0';
        result = 1;
      }
      cursor = q + 1;
      return result;
    }
    if (attributes == nullptr && IsXmlSpace(*q)) {
      *q = '\0';
      attributes = q + 1;
    }
  }
  cursor = p + std::strlen(p);
  return -2;
}

int GetXmlAttrText(const char* attributes, const char* name, char* output, int maxLength) {
  const char* value = FindAttrValue(attributes, name);
  if (value == nullptr) return -1;
  char quote = *value++;
  const char* end = std::strchr(value, quote);
  if (end == nullptr) return -1;
  size_t length = static_cast<size_t>(end - value);
  if (maxLength < 0) maxLength = 0;
  if (length > static_cast<size_t>(maxLength)) length = static_cast<size_t>(maxLength);
  std::memcpy(output, value, length);
  output[length] = '\0';
  return 0;
}

int GetXmlAttrInt(const char* attributes, const char* name, int32_t& value) {
  const char* p = FindAttrValue(attributes, name);
  if (p == nullptr) return -1;
  char quote = *p++;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  if (*p == quote) return -1;  // empty, or only a sign
  int32_t result = 0;
  for (; IsDigit(*p); ++p) {
    if (result >= 214748364) return -2;
    result = result * 10 + (*p - '0');
  }
  if (*p != quote) return -2;
  value = negative ? -result : result;
  return 0;
}

int GetXmlAttrFloat(const char* attributes, const char* name, double& value) {
  const char* p = FindAttrValue(attributes, name);
  if (p == nullptr) return -1;
  char quote = *p++;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  if (!IsDigit(*p)) return -1;
  double result = 0;
  for (; IsDigit(*p); ++p) result = result * 10 + (*p - '0');
  if (*p == '.' || *p == ',') {
    double scale = 0.1;
    for (++p; IsDigit(*p); ++p) {
      result += (*p - '0') * scale;
      scale *= 0.1;
    }
  }
  if (*p != quote) return -2;
  value = negative ? -result : result;
  return 0;
}

int NormaliseXmlText(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    char c = IsXmlSpace(*in) ? ' ' : *in;
    if (c == ' ' && (out == text || out[-1] == ' ')) continue;
    *out++ = c;
  }
  if (out > text && out[-1] == ' ') --out;
  *out = '\0';
  return static_cast<int>(out - text);
}

std::string XmlNameForMessage(const char* name) {
  if (name == nullptr) return "";
  size_t length = std::strlen(name);
  if (length > 20) return std::string(name, 20) + "...";
  return std::string(name, length);
}

int NextXmlTag(XmlWalk& walk, XmlTag& tag) {
  char* name = nullptr;
  char* attributes = nullptr;
  char* text = nullptr;
  int scan = ScanXmlTag(walk.cursor, name, attributes, text);
  tag = XmlTag{};
  tag.name = name;
  tag.attributes = attributes;
  tag.text = text;

  bool first = !walk.started;
  walk.started = true;
  if (first && scan < 0) {
    walk.message = "No tags found";
    return -1;
  }
  if (scan == -2) {
    walk.message = "End-of-file encountered within a tag";
    return -1;
  }
  if (scan == -1) {
    if (walk.depth > 0) {
      walk.message = "Nesting level not zero at end-of-file";
      return -1;
    }
    if (text != nullptr) {
      walk.message = "Data found after last tag";
      return -1;
    }
    tag.depth = 0;
    return 0;
  }

  bool declaration = std::strcmp(name, "?xml") == 0;
  if (first) {
    if (!declaration && walk.variant == XmlVariant::Strict) {
      walk.message = "Missing opening tag '<?xml>'";
      return -1;
    }
    // Only a UTF-8 byte-order mark may stand before the first tag, directly before it.
    if (text != nullptr && !(std::strncmp(text, "\xEF\xBB\xBF", 3) == 0 && text[3] == '\0')) {
      walk.message = walk.variant == XmlVariant::Kml ? "Unknown BOM before opening tag"
                                                     : "Unknown BOM before opening tag '<?xml>'";
      return -1;
    }
    if (declaration) {
      tag.kind = XmlTagKind::Other;
      tag.depth = walk.depth;
      return 1;
    }
  }

  if (name[0] == '!') {
    tag.kind = XmlTagKind::Other;
  } else if (name[0] == '/' && scan == 0) {
    tag.kind = XmlTagKind::End;
    tag.name = name + 1;
    if (walk.depth == 0) {
      walk.message = "Terminating tag <" + XmlNameForMessage(tag.name) + "> encountered at root level";
      return -1;
    }
    const char* opened = walk.open[walk.depth - 1];
    if (std::strcmp(opened, tag.name) != 0) {
      walk.message = "Tag <" + XmlNameForMessage(opened) + "> is terminated by <" +
                     XmlNameForMessage(tag.name) + ">";
      return -1;
    }
    --walk.depth;
  } else {
    tag.kind = scan == 1 ? XmlTagKind::Empty : XmlTagKind::Start;
    if (walk.depth >= kXmlMaxDepth) {
      walk.message = "Nesting limit exceeded at tag <" + XmlNameForMessage(name) + ">";
      return -1;
    }
    // The first tag's text was the byte-order mark, checked above.
    if (text != nullptr && !first) {
      walk.message = "Data found before tag <" + XmlNameForMessage(name) + ">";
      return -1;
    }
    if (tag.kind == XmlTagKind::Start) walk.open[walk.depth++] = name;
  }
  tag.depth = walk.depth;
  return 1;
}

int CheckXmlStructure(core::Ui& ui, const std::string& caption, XmlVariant variant, char* text) {
  XmlWalk walk(text, variant);
  XmlTag tag;
  int result;
  while ((result = NextXmlTag(walk, tag)) == 1) {
  }
  if (result < 0) {
    ui.ShowMessage(caption, walk.message, core::Icon::Error);
    return -1;
  }
  return 0;
}

}  // namespace tarnvik::formats
