#include "sim/simulator.h"

#include <map>
#include <mutex>

namespace tarnvik::sim {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, SimulatorFactory> factories;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

bool RegisterSimulator(const std::string& family, SimulatorFactory factory) {
  if (family.empty() || !factory) return false;
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.factories.emplace(family, std::move(factory)).second;
}

const SimulatorFactory* FindSimulator(const std::string& family) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.factories.find(family);
  return it == r.factories.end() ? nullptr : &it->second;
}

std::vector<std::string> SimulatorFamilies() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (const auto& [name, factory] : r.factories) names.push_back(name);
  return names;
}

}  // namespace tarnvik::sim
