// What every fuzz target checks, kept apart from libFuzzer so that the same
// checks replay the seeds and the kept crash inputs in an ordinary test
// program on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvo::fuzz {

using Bytes = std::vector<unsigned char>;

// Each check feeds one input to a part of the core and compares the outcome
// with a plain model of the rules. Returns an empty string when everything
// holds, otherwise a description of what broke.

// The preset reader on the bytes of one file, with a fixed id table.
std::string CheckPreset(const std::uint8_t* data, std::size_t size);
// Both side-list parsers on the same text.
std::string CheckSideLists(const std::uint8_t* data, std::size_t size);
// The settings record built from the bytes of a settings file.
std::string CheckSettings(const std::uint8_t* data, std::size_t size);
// A sequence of NameSet / IdTable operations decoded from the bytes.
std::string CheckNames(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name;  // also the name of its folder of seeds and kept inputs
  std::string (*check)(const std::uint8_t*, std::size_t);
};
extern const Target kTargets[4];

// Seed inputs for a target: valid and damaged presets from the preset
// builder, list texts, settings files, operation sequences.
std::vector<Bytes> Seeds(const std::string& target);

}  // namespace kvo::fuzz
