// Arbitrary bytes as what a Magellan receiver sends: the sentence collector, then every
// sentence through the field split and each interpreter. Kept bodies stay within 100
// characters; interpreted positions lie on the globe; altitudes in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devices/magellan/magellan_sentences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::magellan;
  SentenceCollector collector;
  for (size_t i = 0; i < size; ++i) {
    const int r = collector.Feed(data[i]);
    if (r > 4) std::abort();
    if (r != SentenceCollector::kSentence) continue;
    if (collector.body().size() > kMaxBodyLength) std::abort();
    const auto fields = SplitFields(collector.body());
    ProductData product;
    ParseProduct(fields, product);
    if (product.versionText.size() > 40 || product.name.size() > 60 || product.Description().size() > 80) std::abort();
    tarnvik::core::TrackPoint p;
    const int t = ParseTrackPoint(fields, p);
    if (t > 21 || (t == 0 && (p.latitude > (1 << 30) || p.latitude < -(1 << 30)))) std::abort();
    tarnvik::core::Waypoint w;
    const int c = ParseWaypoint(fields, w);
    if (c > 16 || (c == 0 && (w.altitude > 20000 || w.altitude < -20000 || w.id[0] == '\0'))) std::abort();
    if (c == 0) {
      // What is read can be sent back: one framed sentence that the collector accepts.
      const std::string sentence = BuildWaypointSentence(w);
      SentenceCollector again;
      int last = 0;
      for (char ch : sentence) last = again.Feed(static_cast<uint8_t>(ch));
      if (last != SentenceCollector::kSentence) std::abort();
    }
  }
  return 0;
}
