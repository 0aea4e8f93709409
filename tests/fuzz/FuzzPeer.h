// FuzzPeer: a client of the simulated driver whose memory is a fixed arena
// and whose events are a small table, so that whatever addresses and handle
// values the fuzzer hands the driver, only the arena can be touched. It
// refuses what a remote peer refuses: addresses outside the arena, unknown
// handle values.
//
// Addresses kArenaBase .. kArenaBase + kArenaSize are the arena; handle
// values 1 .. kEvents are events (they only count their signals).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "simdriver/SimPeer.h"

class FuzzPeer : public SimPeer {
public:
  static constexpr uint64_t kArenaBase = 0x10000;
  static constexpr size_t kArenaSize = 64 * 1024;
  static constexpr uint64_t kEvents = 4;

  DravikStatus adoptEvent(uint64_t handleValue, std::unique_ptr<SimSignal>& out) override;
  bool readMemory(uint64_t address, void* buffer, size_t size) override;
  bool writeMemory(uint64_t address, const void* data, size_t size) override;
  bool readWord(uint64_t address, uint32_t& value) override;
  bool writeWord(uint64_t address, uint32_t value) override;

private:
  uint8_t* at(uint64_t address, size_t size);

  std::array<uint8_t, kArenaSize> arena_{};
  std::shared_ptr<std::atomic<uint64_t>> signals_ = std::make_shared<std::atomic<uint64_t>>(0);
};
