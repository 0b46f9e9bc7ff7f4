// The session's transfer gate over the access engine.
#include "access/access_engine.h"
#include "app/transfer.h"

namespace tarnvik::app {
namespace {

class EngineGate final : public TransferGate {
 public:
  explicit EngineGate(const access::AccessEnvironment& environment) : engine_(environment) {}
  void Init() override { engine_.InitAccessEngine(); }
  int Start(access::AccessRequest request, uint64_t& jobId) override {
    return engine_.StartAccess(std::move(request), &jobId);
  }
  int Abort() override { return engine_.AbortAccess(); }
  void Shutdown() override { engine_.ShutdownAccessEngine(); }

 private:
  access::AccessEngine engine_;
};

}  // namespace

std::unique_ptr<TransferGate> MakeEngineGate(const access::AccessEnvironment& environment) {
  return std::make_unique<EngineGate>(environment);
}

}  // namespace tarnvik::app
