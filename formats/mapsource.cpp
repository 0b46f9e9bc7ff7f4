#include "formats/mapsource.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace tarnvik::formats {
namespace {

using core::Icon;

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutDouble(std::string& out, double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}
void PutBytes(std::string& out, size_t count, unsigned char value) { out.append(count, static_cast<char>(value)); }

void AppendFileStart(std::string& out) {
  out.append("MsRcd", 5);
  out.push_back('\0');
  PutU32(out, 2);
  out.append("Di", 2);
  out.push_back('\0');
  static constexpr unsigned char kProduct[] = {0xF8, 0x01, 'S', 'Q', 'A', 0};
  PutU32(out, 27);
  out.push_back('A');
  out.append(reinterpret_cast<const char*>(kProduct), sizeof kProduct);
  out.append("Nov  6 2003", 11);
  out.push_back('\0');
  out.append("16:01:32", 8);
  out.push_back('\0');
}
void AppendEnd(std::string& out) {
  PutU32(out, 2);
  out.push_back('V');
  out.push_back('\0');
  out.push_back('\x01');
}

// A bounded reader over the file's bytes; every read checks the bytes left of the current record.
struct Cursor {
  const unsigned char* data;
  uint64_t size;
  uint64_t offset = 0;
  uint32_t U32(uint64_t at) const {
    return uint32_t{data[at]} | (uint32_t{data[at + 1]} << 8) | (uint32_t{data[at + 2]} << 16) |
           (uint32_t{data[at + 3]} << 24);
  }
  double Double(uint64_t at) const {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | data[at + static_cast<uint64_t>(i)];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
};

std::string FormatErrorText(uint64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "File format error at %08xh", static_cast<unsigned>(offset));
  return text;
}

struct Record {
  char type = 0;
  uint64_t body = 0;    // offset of the first byte after the type character
  uint64_t length = 0;  // L: bytes after the type character
};

// The format check shared by both readers. Returns the version letter and leaves the offset at
// the first record after the product record, or shows the message and returns 0.
char ReadStart(core::Ui& ui, Cursor& c) {
  auto fail = [&ui](const std::string& text) {
    ui.ShowMessage(kMapSourceCaption, text, Icon::Error);
    return '\0';
  };
  if (c.size < 6 || std::memcmp(c.data, "MsRcd", 5) != 0) return fail("Not a MapSource file");
  c.offset = 6;
  if (c.size < c.offset + 5) return fail("Not a MapSource file");
  const uint64_t length = c.U32(c.offset);
  if (length < 2 || c.data[c.offset + 4] != 'D') return fail("Not a MapSource file");
  if (c.offset + 5 + length > c.size) return fail(FormatErrorText(c.offset));
  const char version = static_cast<char>(c.data[c.offset + 5]);
  if (version < 'd' || version > 'i') return fail("Unsupported MapSource version");
  c.offset += 5 + length;
  // The record after the format record (the product record) is skipped by its length.
  if (c.offset + 5 > c.size) return fail(FormatErrorText(c.offset));
  const uint64_t productLength = c.U32(c.offset);
  if (c.offset + 5 + productLength > c.size) return fail(FormatErrorText(c.offset));
  c.offset += 5 + productLength;
  return version;
}

// The next record at the cursor; false at the end of the file; nothing... see result.
enum class Next { Record, End, Error };
Next NextRecord(Cursor& c, Record& r) {
  if (c.offset == c.size) return Next::End;
  if (c.offset + 5 > c.size) return Next::Error;
  r.length = c.U32(c.offset);
  r.type = static_cast<char>(c.data[c.offset + 4]);
  r.body = c.offset + 5;
  if (r.body + r.length > c.size) return Next::Error;
  return Next::Record;
}

// The NUL-terminated string at offset inside the record ending at end; nothing when its NUL
// lies outside.
std::optional<std::string_view> StringIn(const Cursor& c, uint64_t offset, uint64_t end) {
  const unsigned char* start = c.data + offset;
  const void* nul = offset < end ? std::memchr(start, 0, static_cast<size_t>(end - offset)) : nullptr;
  if (!nul) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(start),
                          static_cast<size_t>(static_cast<const unsigned char*>(nul) - start));
}

}  // namespace

std::string FormatMapSourceTrack(std::span<const core::TrackPoint> fixes) {
  std::string out;
  out.reserve(fixes.size() * 31 + 128);
  AppendFileStart(out);
  PutU32(out, static_cast<uint32_t>(fixes.size() * 31 + 37));
  out.push_back('T');
  out.append(kMapSourceTrackName);
  out.push_back('\0');
  out.push_back('\x01');
  PutBytes(out, 4, 0);
  PutU32(out, static_cast<uint32_t>(fixes.size()));
  for (const core::TrackPoint& f : fixes) {
    PutU32(out, static_cast<uint32_t>(f.latitude));
    PutU32(out, static_cast<uint32_t>(f.longitude));
    out.push_back('\x01');
    PutDouble(out, f.height * 0.1);
    out.push_back('\x01');
    PutU32(out, f.time + kMapSourceTimeOffset);
    PutBytes(out, 9, 0);
  }
  AppendEnd(out);
  return out;
}

std::string FormatMapSourceWaypoints(std::span<const core::Waypoint> waypoints) {
  std::string out;
  AppendFileStart(out);
  for (const core::Waypoint& w : waypoints) {
    std::string record;
    record.push_back('W');
    record.append(w.id, strnlen(w.id, sizeof w.id));
    record.push_back('\0');
    PutBytes(record, 9, 0);
    PutBytes(record, 12, 0xFF);
    PutBytes(record, 2, 0);
    PutBytes(record, 4, 0xFF);
    PutU32(record, static_cast<uint32_t>(w.latitude));
    PutU32(record, static_cast<uint32_t>(w.longitude));
    record.push_back('\x01');
    PutDouble(record, static_cast<double>(w.altitude));
    record.append(w.comment, strnlen(w.comment, sizeof w.comment));
    record.push_back('\0');
    PutBytes(record, 41, 0);
    PutU32(out, static_cast<uint32_t>(record.size() - 1));
    out += record;
  }
  AppendEnd(out);
  return out;
}

TrackParseResult ReadMapSourceTrack(core::Ui& ui, std::string_view bytes) {
  Cursor c{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
  if (ReadStart(ui, c) == '\0') return {};
  auto fail = [&ui](uint64_t offset) {
    ui.ShowMessage(kMapSourceCaption, FormatErrorText(offset), Icon::Error);
    return TrackParseResult{};
  };
  TrackParseResult parsed;
  for (;;) {
    Record r;
    Next next = NextRecord(c, r);
    if (next == Next::End) break;
    if (next == Next::Error) return fail(c.offset);
    const uint64_t end = r.body + r.length;
    if (r.type == 'V') {
      if (end != c.size) return fail(c.offset);
      break;
    }
    if (r.type == 'T') {
      std::optional<std::string_view> name = StringIn(c, r.body, end);
      if (!name) return fail(c.offset);
      const uint64_t countAt = r.body + name->size() + 6;
      if (countAt + 4 > end) return fail(c.offset);
      const uint64_t count = c.U32(countAt);
      if (count * 31 + name->size() + 10 != r.length) return fail(c.offset);
      try {
        parsed.fixes.reserve(parsed.fixes.size() + static_cast<size_t>(count));
      } catch (const std::exception&) {
        ui.ShowMessage(kMapSourceCaption, "Memory allocation error", Icon::Error);
        return {};
      }
      uint64_t p = countAt + 4;
      for (uint64_t i = 0; i < count; ++i, p += 31) {
        core::TrackPoint fix;
        fix.flags = i == 0 ? 1 : 0;
        fix.latitude = static_cast<int32_t>(c.U32(p));
        // A latitude beyond the poles is no position.
        if (fix.latitude > (1 << 30) || fix.latitude < -(1 << 30)) return fail(p);
        fix.longitude = static_cast<int32_t>(c.U32(p + 4));
        if (c.data[p + 8] == 1) {
          const double metres = std::trunc(c.Double(p + 9));
          // Whole metres x 10; an altitude that does not fit the field counts as none.
          fix.height = std::isfinite(metres) && std::fabs(metres) < 2.0e8 ? static_cast<int32_t>(metres) * 10 : 0;
        }
        if (c.data[p + 17] == 1) {
          const uint32_t seconds = c.U32(p + 18);
          fix.time = seconds >= kMapSourceTimeOffset ? seconds - kMapSourceTimeOffset : 0;
        }
        parsed.fixes.push_back(fix);
      }
    }
    c.offset = end;
  }
  parsed.result = static_cast<int>(parsed.fixes.size());
  return parsed;
}

int ReadMapSourceWaypoints(core::Ui& ui, std::string_view bytes, std::vector<core::Waypoint>& waypoints,
                           WaypointIdQuestion question) {
  waypoints.clear();
  Cursor c{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
  const char version = ReadStart(ui, c);
  if (version == '\0') return -1;
  auto fail = [&ui, &waypoints](const std::string& text) {
    ui.ShowMessage(kMapSourceCaption, text, Icon::Error);
    waypoints.clear();
    return -1;
  };
  // Versions e to i keep 22 bytes between the skipped string and the position, d 17.
  const uint64_t gap = version == 'd' ? 17 : 22;
  std::vector<core::Waypoint> read;
  int number = 0;
  for (;;) {
    Record r;
    Next next = NextRecord(c, r);
    if (next == Next::End) break;
    if (next == Next::Error) return fail(FormatErrorText(c.offset));
    const uint64_t end = r.body + r.length;
    if (r.type == 'V') {
      if (end != c.size) return fail(FormatErrorText(c.offset));
      break;
    }
    if (r.type == 'W') {
      ++number;
      std::optional<std::string_view> name = StringIn(c, r.body, end);
      if (!name) return fail(FormatErrorText(c.offset));
      uint64_t p = r.body + name->size() + 1 + 4;
      std::optional<std::string_view> skipped = p < end ? StringIn(c, p, end) : std::nullopt;
      if (!skipped) return fail(FormatErrorText(c.offset));
      p += skipped->size() + 1 + gap;
      if (p + 17 > end) return fail(FormatErrorText(c.offset));
      core::Waypoint waypoint;
      const int32_t latitude = static_cast<int32_t>(c.U32(p));
      const int32_t longitude = static_cast<int32_t>(c.U32(p + 4));
      if (latitude > (1 << 30) || latitude < -(1 << 30)) return fail(FormatErrorText(p));
      const bool hasAltitude = c.data[p + 8] == 1;
      const double altitude = c.Double(p + 9);
      p += 17;
      std::optional<std::string_view> comment = StringIn(c, p, end);
      if (!comment || p + comment->size() + 1 + 21 > end) return fail(FormatErrorText(c.offset));
      // The ID's first six characters are the name the ID rules see.
      std::string_view id = name->substr(0, 6);
      switch (ResolveWaypointId(ui, id, question, waypoint.id)) {
        case IdOutcome::Taken: break;
        case IdOutcome::Skip: c.offset = end; continue;
        case IdOutcome::Cancel: waypoints.clear(); return -1;
        case IdOutcome::Bad: return fail(core::FormatCounts("Bad ID for waypoint %", number));
      }
      core::NormaliseComment(comment->substr(0, 40), waypoint.comment);
      waypoint.latitude = latitude;
      waypoint.longitude = longitude;
      waypoint.altitude = hasAltitude && std::isfinite(altitude) && std::fabs(altitude) <= 20000.0
                              ? static_cast<int32_t>(std::trunc(altitude))
                              : 0;
      try {
        if (read.empty()) read.reserve(16);
        read.push_back(waypoint);
      } catch (const std::bad_alloc&) {
        return fail("Waypoint memory allocation");
      }
    }
    c.offset = end;
  }
  waypoints = std::move(read);
  return static_cast<int>(waypoints.size());
}

}  // namespace tarnvik::formats
