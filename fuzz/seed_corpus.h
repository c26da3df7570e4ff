#pragma once
// The seed writers of the targets whose seeds live in their own files.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zk::fuzz {

// Writes one seed: target, file name, bytes.
using SeedWriter = std::function<void(const std::string& target, const std::string& name,
                                      const std::vector<uint8_t>& bytes)>;

void WriteSettingsSeeds(const SeedWriter& write);

} // namespace zk::fuzz
