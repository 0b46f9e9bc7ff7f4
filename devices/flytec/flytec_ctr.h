// Airspace zones (CTRs) to and from the Flytec 5020/5030 and Brauniger IQ Compeo/Competino:
// the "$PBRCTRW" upload sentences, the "$PBRANS" acknowledgement, the "$PBRCTR" zone list,
// and the access engine routines of protocol 4 for access types 7 (upload) and 8 (download).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "access/access_engine.h"
#include "core/records.h"
#include "devices/flytec/flytec_transfers.h"

namespace tarnvik::devices::flytec {

constexpr const char* kUploadCtrCaption = "Upload CTR";
constexpr const char* kCtrAckCaption = "CTR upload acknowledge status";
constexpr const char* kReadCtrListCaption = "Read CTR list";

constexpr std::string_view kCtrListRequest = "\x11$PBRCTR,*29\r\n";

constexpr int64_t kCtrAckLimitMs = 20000;   // silence before "Missing CTR upload ack."
constexpr int64_t kCtrListLimitMs = 20000;  // silence before "E704 CTR list timeout"
constexpr int64_t kCtrAckPauseMs = 300;     // after an accepted zone
constexpr int kCtrNameLength = 17;          // name and remark fields of the instrument
constexpr int kCtrMaxSentences = 999;       // three digits
constexpr int32_t kCtrMaxRadius = 99999;    // five digits, metres
constexpr int32_t kCtrMaxWarningDistance = 9999;  // four digits, metres
constexpr size_t kCtrMaxSentenceBody = 82;

// Sentences a zone takes: name, remark, one per point or circle, three per arc.
int CtrSentenceCount(const core::CtrRecord& zone);
// The 17 characters sent for a name or remark: cut or padded with blanks; ",", "*", "$", CR
// and LF (which would break the sentence) become blanks.
std::string CtrField(std::string_view text);
// Every sentence of one zone, framed ("$PBRCTRW,...*HH\r\n"), in sending order.
std::vector<std::string> CtrUploadSentences(const core::CtrRecord& zone);
// Empty when every selected zone fits the instrument's fields; otherwise the message that
// refuses the upload ("Circle too large for the GPS in CTR %s", or a zone too long for the
// three-digit sentence count).
std::string CheckCtrUploadFits(const core::CtrList& zones);

// The acknowledgement "$PBRANS,<status>...*HH\r\n". Feed returns kParseContinue,
// kParseComplete or -code ("E600 Format error %").
class CtrAckParser {
 public:
  CtrAckParser() { Reset(); }
  void Reset();
  int Feed(uint8_t byte);
  char status() const { return status_; }

 private:
  enum class State { Dollar, Match, Status, Body, Check1, Check2, Cr, Lf };
  State state_;
  size_t matched_;
  size_t length_;
  uint8_t checksum_;
  uint8_t received_;
  char status_;
};

// The message for an acknowledgement status other than '1'.
const char* CtrAckStatusText(char status);

// The zone list. Feed collects one sentence (kParseComplete when whole, -code for
// "E703 Format error %"); Interpret then reads it: 0, kCtrZoneComplete, kCtrListEnd, or -code
// for "E702 Format error %".
constexpr int kCtrZoneComplete = 1;
constexpr int kCtrListEnd = 2;

class CtrListParser {
 public:
  CtrListParser() { Reset(); }
  void Reset();  // forgets the received zones too
  int Feed(uint8_t byte);
  // The sentence body between "$" and "*", as collected.
  const std::string& sentence() const { return body_; }
  int Interpret();
  // Interprets a body directly (the fuzz target's and the tests' entry).
  int Interpret(std::string_view body);
  core::CtrList& zones() { return zones_; }
  bool inZone() const { return state_ != ZoneState::Between; }

 private:
  enum class CollectState { Dollar, Body, Check1, Check2, Cr, Lf };
  enum class ZoneState { Between, AfterStart, Segments, AfterCentre, AfterStartPoint };
  CollectState collect_;
  uint8_t checksum_;
  uint8_t received_;
  std::string body_;
  ZoneState state_;
  int count_;
  int next_;
  core::CtrSegment arc_;
  core::CtrList zones_;
};

// Steps; each returns 0, or -1 after reporting.
int UploadCtrs(FlytecSession& session, const core::CtrList& zones);
int WaitCtrAck(FlytecSession& session);
int DownloadCtrList(FlytecSession& session, core::CtrList& out);

int FlytecSendCtrs(access::AccessJob& job);
int FlytecReadCtrs(access::AccessJob& job);
void RegisterFlytecCtrRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::flytec
