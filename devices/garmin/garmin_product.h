// The product data exchange with which every Garmin transfer begins: product ID, software
// version and description, the protocol capability array (or the built-in product table for
// units that send none), and the check that the program can work with the unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "devices/garmin/garmin_link.h"

namespace tarnvik::devices::garmin {

constexpr size_t kGarminProductTableRows = 48;
constexpr const char* kProductDataCaption = "Read GPS product data";

// The 48 rows, in table order.
std::span<const GarminCapabilities> GarminProductTable();
// The first row with this product ID whose version range holds softwareVersion, or nullptr.
const GarminCapabilities* FindProductTableRow(uint16_t productId, uint16_t softwareVersion);

// Parses count 3-byte entries (tag character, 16-bit number) of a capability array into caps.
// Unknown 'A' protocols and the 'D' types that follow them are skipped. 0, or -1 on a tag
// character other than P, L, T, A, D.
int ParseCapabilities(const uint8_t* entries, size_t count, GarminCapabilities& caps);
// ParseCapabilities on the received packet's data, into session.capabilities.
int ParseCapabilities(GarminSession& session, size_t count);

// 0 when the program can work with the unit, else -1 after reporting E180 to E185.
int CheckCapabilities(GarminSession& session);
// The same test without reporting: the message the unit would get, or nullptr.
const char* CapabilityProblem(const GarminCapabilities& caps);

// Product request, product data, capability array or product table, check. Resets the parser
// and the receive buffer first. 0, or -1 after reporting (caption "Read GPS product data").
int ReadProductData(GarminSession& session);

}  // namespace tarnvik::devices::garmin
