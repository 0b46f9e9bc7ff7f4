// Port discovery on Linux through sysfs and udev's stable names.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "access/serial_ports.h"

namespace tarnvik::access {
namespace {

namespace fs = std::filesystem;

// Orders "ttyS2" before "ttyS10": text parts as text, digit runs by value.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      unsigned long long va = std::stoull(a.substr(i, std::min<size_t>(ei - i, 18)));
      unsigned long long vb = std::stoull(b.substr(j, std::min<size_t>(ej - j, 18)));
      if (va != vb) return va < vb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> SortedEntries(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot) {
  std::vector<std::string> ports;
  std::error_code ec;
  for (const std::string& name : SortedEntries(fs::path(devRoot) / "serial" / "by-id")) {
    ports.push_back((fs::path(devRoot) / "serial" / "by-id" / name).string());
  }
  std::vector<std::string> adapters, builtIn;
  const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty";
  for (const std::string& name : SortedEntries(ttyClass)) {
    if (!fs::exists(ttyClass / name / "device", ec)) continue;  // virtual consoles, ptys
    bool isBuiltIn = name.rfind("ttyS", 0) == 0;
    if (isBuiltIn) {
      // A built-in port without a UART behind it reports type 0.
      std::ifstream typeFile(ttyClass / name / "type");
      int type = -1;
      if (typeFile >> type && type == 0) continue;
    }
    (isBuiltIn ? builtIn : adapters).push_back((fs::path(devRoot) / name).string());
  }
  ports.insert(ports.end(), adapters.begin(), adapters.end());
  ports.insert(ports.end(), builtIn.begin(), builtIn.end());
  if (ports.size() > kMaxListedPorts) ports.resize(kMaxListedPorts);
  return ports;
}

}  // namespace tarnvik::access
