#include "formats/xml_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/file_io.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

// A writable NUL-terminated copy, as the readers make.
std::vector<char> Writable(const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

struct Scanned {
  int result;
  std::string name;
  const char* attributes;
  std::string attributeText;
  const char* text;
  std::string textBefore;
};

Scanned Scan(char*& cursor) {
  char* name = nullptr;
  char* attributes = nullptr;
  char* text = nullptr;
  int result = ScanXmlTag(cursor, name, attributes, text);
  return {result, name ? name : "", attributes, attributes ? attributes : "", text, text ? text : ""};
}

TEST(XmlScanTag, CutsTagsNamesAttributesAndText) {
  auto doc = Writable("<?xml version=\"1.0\"?>\r\n<gpx\n  creator='x'>\t<name> Hi there </name><br/><pt a=\"1\" />tail ");
  char* cursor = doc.data();
  Scanned s = Scan(cursor);
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.name, "?xml");
  EXPECT_EQ(s.attributeText, "version=\"1.0\"?");
  EXPECT_EQ(s.text, nullptr);

  s = Scan(cursor);
  EXPECT_EQ(s.name, "gpx");
  EXPECT_EQ(s.attributeText, "  creator='x'");
  EXPECT_EQ(s.text, nullptr);  // only CR, LF between the tags

  s = Scan(cursor);
  EXPECT_EQ(s.name, "name");
  EXPECT_EQ(s.attributes, nullptr);

  s = Scan(cursor);
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.name, "/name");
  EXPECT_EQ(s.textBefore, "Hi there ");  // from the first non-blank up to the '<'

  s = Scan(cursor);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.name, "br");
  EXPECT_EQ(s.attributes, nullptr);

  s = Scan(cursor);
  EXPECT_EQ(s.result, 1);
  EXPECT_EQ(s.name, "pt");
  EXPECT_EQ(s.attributeText, "a=\"1\" ");  // ends before the slash

  s = Scan(cursor);
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.textBefore, "tail ");
  EXPECT_EQ(Scan(cursor).result, -1);  // stays at the end
}

TEST(XmlScanTag, CommentsAndCdata) {
  struct Case {
    const char* doc;
    int result;
    const char* name;
  };
  const Case cases[] = {
      {"<!-- a -- b -->x", 0, "!-- a -- b --"},
      {"<!-- a ---->", 0, "!-- a ----"},
      {"<!-->-->", 0, "!-->--"},              // the opening's dashes do not close it
      {"<!-- never closed ->", -2, "!-- never closed ->"},
      {"<![CDATA[a]]>", 0, "![CDATA[a"},
      {"<![CDATA[a]]]>b]]>", 0, "![CDATA[a]]]>b"},  // three brackets do not close
      {"<![CDATA[a]]]>", -2, "![CDATA[a]]]>"},
      {"<a x='>'>", 0, "a"},                   // a quoted '>' still ends the tag
      {"<gpx version", -2, "gpx"},
  };
  for (const auto& c : cases) {
    auto doc = Writable(c.doc);
    char* cursor = doc.data();
    Scanned s = Scan(cursor);
    EXPECT_EQ(s.result, c.result) << c.doc;
    EXPECT_EQ(s.name, c.name) << c.doc;
  }
  auto doc = Writable("<![CDATA[ <b>x</b> ]]>");
  char* cursor = doc.data();
  char *name, *attributes, *text;
  ASSERT_EQ(ScanXmlTag(cursor, name, attributes, text), 0);
  EXPECT_STREQ(XmlCdataContent(name), " <b>x</b> ");
}

TEST(XmlAttributes, TextLookup) {
  const char* attrs = "id=\"wp 1\" lat='59.5' xname=\"no\"\n  name=\"Summit\" empty=\"\" open=\"x";
  char out[8];
  EXPECT_EQ(GetXmlAttrText(attrs, "name", out, 7), 0);
  EXPECT_STREQ(out, "Summit");
  EXPECT_EQ(GetXmlAttrText(attrs, "id", out, 3), 0);
  EXPECT_STREQ(out, "wp ");  // cut at the maximum
  EXPECT_EQ(GetXmlAttrText(attrs, "empty", out, 7), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetXmlAttrText(attrs, "open", out, 7), -1);     // unterminated
  EXPECT_EQ(GetXmlAttrText(attrs, "missing", out, 7), -1);
  EXPECT_EQ(GetXmlAttrText("a = \"1\"", "a", out, 7), -1);  // blanks around '='
  EXPECT_EQ(GetXmlAttrText("a=1", "a", out, 7), -1);        // unquoted
  EXPECT_EQ(GetXmlAttrText("b=\"1\"\na=\"2\"", "a", out, 7), -1);  // a line break alone does not separate
  EXPECT_EQ(GetXmlAttrText(nullptr, "a", out, 7), -1);
}

TEST(XmlAttributes, IntegerAndFloat) {
  struct IntCase {
    const char* attrs;
    int result;
    int32_t value;
  };
  const IntCase ints[] = {
      {"v=\"+7\"", 0, 7},           {"v=\"-42\"", 0, -42},       {"v='2147483639'", 0, 2147483639},
      {"v=\"-\"", -1, 0},           {"v=\"\"", -1, 0},           {"v=7", -1, 0},
      {"w=\"1\"", -1, 0},           {"v=\"12a\"", -2, 0},        {"v=\"2147483640\"", -2, 0},
      {"v=\"-a\"", -2, 0},          {"v=\" 1\"", -2, 0},
  };
  for (const auto& c : ints) {
    int32_t value = 0;
    EXPECT_EQ(GetXmlAttrInt(c.attrs, "v", value), c.result) << c.attrs;
    if (c.result == 0) {
      EXPECT_EQ(value, c.value) << c.attrs;
    }
  }
  struct FloatCase {
    const char* attrs;
    int result;
    double value;
  };
  const FloatCase floats[] = {
      {"v=\"3,25\"", 0, 3.25},  {"v=\"-12.5\"", 0, -12.5}, {"v='+7'", 0, 7.0}, {"v=\"1.\"", 0, 1.0},
      {"v=\".5\"", -1, 0},      {"v=\"\"", -1, 0},         {"v=\"-\"", -1, 0}, {"v=3", -1, 0},
      {"v=\"1.5e3\"", -2, 0},   {"v=\"1.2.3\"", -2, 0},
  };
  for (const auto& c : floats) {
    double value = 0;
    EXPECT_EQ(GetXmlAttrFloat(c.attrs, "v", value), c.result) << c.attrs;
    if (c.result == 0) {
      EXPECT_DOUBLE_EQ(value, c.value) << c.attrs;
    }
  }
}

TEST(XmlText, Normalise) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {{"  a\r\n\tb  c  ", "a b c"}, {"", ""}, {" \n ", ""}, {"x", "x"}, {"a  ", "a"}};
  for (const auto& c : cases) {
    auto text = Writable(c.in);
    EXPECT_EQ(NormaliseXmlText(text.data()), static_cast<int>(std::string(c.out).size())) << c.in;
    EXPECT_STREQ(text.data(), c.out) << c.in;
  }
}

std::string Nested(int depth) {
  std::string doc = "<?xml version='1.0'?>";
  for (int i = 1; i <= depth; ++i) doc += "<level" + std::to_string(i) + ">";
  for (int i = depth; i >= 1; --i) doc += "</level" + std::to_string(i) + ">";
  return doc;
}

TEST(XmlStructure, MessagesOfTheCheck) {
  struct Case {
    std::string doc;
    XmlVariant variant;
    std::string message;  // "" = complete
  };
  const std::string name25 = "abcdefghijklmnopqrstuvwxy";
  const Case cases[] = {
      {"<?xml version='1.0'?><gpx><trk/></gpx>", XmlVariant::Strict, ""},
      {"\xEF\xBB\xBF<?xml version='1.0'?><gpx></gpx>\r\n", XmlVariant::Strict, ""},
      {"<?xml version='1.0'?><kml></kml><!-- end -->", XmlVariant::Strict, ""},
      {"<?xml version='1.0'?><a><![CDATA[<b>]]></a>", XmlVariant::Strict, ""},
      {"", XmlVariant::Strict, "No tags found"},
      {"just text", XmlVariant::Kml, "No tags found"},
      {"<gpx", XmlVariant::Strict, "No tags found"},
      {"<gpx></gpx>", XmlVariant::Strict, "Missing opening tag '<?xml>'"},
      {"<!-- c --><?xml version='1.0'?><gpx></gpx>", XmlVariant::Strict, "Missing opening tag '<?xml>'"},
      {"<kml></kml>", XmlVariant::Kml, ""},
      {"<!-- made by x --><kml><a/></kml>", XmlVariant::Kml, ""},
      {"\xEF\xBB\xBF<kml></kml>", XmlVariant::Kml, ""},
      {"x<?xml version='1.0'?><gpx></gpx>", XmlVariant::Strict, "Unknown BOM before opening tag '<?xml>'"},
      {"\xEF\xBB\xBF <?xml version='1.0'?><gpx></gpx>", XmlVariant::Strict, "Unknown BOM before opening tag '<?xml>'"},
      {"x<kml></kml>", XmlVariant::Kml, "Unknown BOM before opening tag"},
      {Nested(19), XmlVariant::Strict, ""},
      {Nested(20), XmlVariant::Strict, "Nesting limit exceeded at tag <level20>"},
      {"<?xml version='1.0'?><a>text<b></b></a>", XmlVariant::Strict, "Data found before tag <b>"},
      {"<?xml version='1.0'?><a>text<b/></a>", XmlVariant::Strict, "Data found before tag <b>"},
      {"<?xml version='1.0'?><a></a></b>", XmlVariant::Strict, "Terminating tag <b> encountered at root level"},
      {"<?xml version='1.0'?><a><b></a>", XmlVariant::Strict, "Tag <b> is terminated by <a>"},
      {"<?xml version='1.0'?><" + name25 + "></x>", XmlVariant::Strict, "Tag <abcdefghijklmnopqrst...> is terminated by <x>"},
      {"<?xml version='1.0'?><a><b></b>", XmlVariant::Strict, "Nesting level not zero at end-of-file"},
      {"<?xml version='1.0'?><a></a> tail", XmlVariant::Strict, "Data found after last tag"},
      {"<?xml version='1.0'?><a></a", XmlVariant::Strict, "End-of-file encountered within a tag"},
      {"<?xml version='1.0'?><a><!-- open </a>", XmlVariant::Strict, "End-of-file encountered within a tag"},
  };
  for (const auto& c : cases) {
    auto doc = Writable(c.doc);
    testing::RecordingUi ui;
    int result = CheckXmlStructure(ui, "Reading GPX file", c.variant, doc.data());
    if (c.message.empty()) {
      EXPECT_EQ(result, 0) << c.doc;
      EXPECT_TRUE(ui.shown.empty()) << c.doc << ": " << (ui.shown.empty() ? "" : ui.shown[0].text);
    } else {
      EXPECT_EQ(result, -1) << c.doc;
      ASSERT_EQ(ui.shown.size(), 1u) << c.doc;
      EXPECT_EQ(ui.shown[0].caption, "Reading GPX file");
      EXPECT_EQ(ui.shown[0].text, c.message) << c.doc;
      EXPECT_EQ(ui.shown[0].icon, core::Icon::Error);
    }
  }
}

TEST(XmlStructure, WalkGivesElementsWithContentAndDepth) {
  auto doc = Writable("<?xml version='1.0'?><gpx><trkpt lat=\"1\"><ele> 12 </ele></trkpt><wpt/></gpx>");
  XmlWalk walk(doc.data(), XmlVariant::Strict);
  XmlTag tag;
  std::vector<std::string> seen;
  while (NextXmlTag(walk, tag) == 1) {
    const char* kinds[] = {"start", "end", "empty", "other"};
    std::string line = std::string(kinds[static_cast<int>(tag.kind)]) + " " + tag.name + " " +
                       std::to_string(tag.depth);
    if (tag.kind == XmlTagKind::End && tag.text) line += " [" + std::string(tag.text) + "]";
    seen.push_back(line);
  }
  EXPECT_TRUE(walk.message.empty());
  const std::vector<std::string> expected = {
      "other ?xml 0", "start gpx 1", "start trkpt 2", "start ele 3", "end ele 2 [12 ]",
      "end trkpt 1",    "empty wpt 1", "end gpx 0"};
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace tarnvik::formats

namespace tarnvik::formats {
namespace {

TEST(XmlStructure, RealDocumentsAreComplete) {
  struct Case {
    const char* file;
    XmlVariant variant;
  };
  const Case cases[] = {{"basecamp.gpx", XmlVariant::Strict},
                        {"fitwrite-track.gpx", XmlVariant::Strict},
                        {"gpxpassthrough11.gpx", XmlVariant::Strict},
                        {"skydrop.kml", XmlVariant::Kml},
                        {"opentracks.kml", XmlVariant::Kml}};
  for (const auto& c : cases) {
    core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/formats/" + c.file);
    ASSERT_EQ(file.error, core::ReadError::None) << c.file;
    testing::RecordingUi ui;
    EXPECT_EQ(CheckXmlStructure(ui, "Reading KML file", c.variant, file.bytes()), 0) << c.file;
    EXPECT_TRUE(ui.shown.empty()) << c.file << ": " << (ui.shown.empty() ? "" : ui.shown[0].text);
  }
}

}  // namespace
}  // namespace tarnvik::formats
