// Feeds arbitrary bytes, as a writable NUL-terminated copy, to the XML structure check in both
// variants, and every tag's attribute text and content to the lookups and the normaliser.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/xml_scanner.h"

namespace {

using namespace tarnvik::formats;

bool KnownMessage(const std::string& m) {
  static const char* const kFixed[] = {"No tags found",
                                       "Missing opening tag '<?xml>'",
                                       "Unknown BOM before opening tag '<?xml>'",
                                       "Unknown BOM before opening tag",
                                       "Nesting level not zero at end-of-file",
                                       "Data found after last tag",
                                       "End-of-file encountered within a tag"};
  for (const char* fixed : kFixed) {
    if (m == fixed) return true;
  }
  for (const char* prefix : {"Nesting limit exceeded at tag <", "Data found before tag <", "Terminating tag <", "Tag <"}) {
    if (m.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

void Walk(const uint8_t* data, size_t size, XmlVariant variant) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  char* const end = text.data() + size;
  XmlWalk walk(text.data(), variant);
  XmlTag tag;
  int result;
  while ((result = NextXmlTag(walk, tag)) == 1) {
    if (walk.cursor > end || tag.depth < 0 || tag.depth > kXmlMaxDepth) __builtin_trap();
    char value[16];
    int32_t number;
    double real;
    GetXmlAttrText(tag.attributes, "lat", value, 15);
    GetXmlAttrInt(tag.attributes, "id", number);
    GetXmlAttrFloat(tag.attributes, "lon", real);
    if (tag.text != nullptr && NormaliseXmlText(tag.text) > static_cast<int>(size)) __builtin_trap();
  }
  if (result == -1 && !KnownMessage(walk.message)) __builtin_trap();
  if (result == 0 && walk.depth != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Walk(data, size, XmlVariant::Strict);
  Walk(data, size, XmlVariant::Kml);
  return 0;
}
