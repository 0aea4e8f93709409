// The ASIO channels of one stream format as the driver object keeps them.
//
// ChannelEntry: one channel: a copy of the kernel driver's descriptor (its
// key names the channel in the ASIO requests), the channel buffer lent to
// the kernel driver (both halves in one block of page-granular memory from
// the AsioBufferAllocator) and whether it is one of the made-up outputs.
//
// ChannelSet: four lists of entries: inputs and outputs (which own their
// entries) and the active inputs and outputs (the entries that have a
// buffer; they do not own them). Clearing a set releases every buffer and
// deletes the entries. The set itself never talks to the kernel driver:
// the driver object closes a lent channel before it lets a set release its
// buffer.
//
// Lifetime: owned by the driver object. Threading: the host's threads
// change the sets; the streaming thread only fills the active entries'
// buffers with silence before streaming starts.
//
//   ChannelEntry* e = ChannelEntry::create(descriptor, false);
//   if (e && !set.inputs.add(e)) delete e;
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverapi/DravikRecords.h"

class ChannelEntry {
public:
  // Null when allocation fails.
  static ChannelEntry* create(const ChannelDescriptor& descriptor, bool dummy);
  ~ChannelEntry();
  ChannelEntry(const ChannelEntry&) = delete;
  ChannelEntry& operator=(const ChannelEntry&) = delete;

  const ChannelDescriptor& descriptor() const { return descriptor_; }
  DravikChannelKey key() const { return {descriptor_.channelKey0, descriptor_.channelKey1}; }
  bool isInput() const { return descriptor_.direction == DRAVIK_DIRECTION_INPUT; }
  bool isDsd() const { return descriptor_.sampleFormat == DRAVIK_FORMAT_DSD; }
  bool isDummy() const { return dummy_; }

  // Releases an earlier buffer, then takes a zero-filled block of bytes.
  bool allocateBuffer(size_t bytes);
  void releaseBuffer();
  // Gives up the block without releasing it (the caller releases it later).
  void* detachBuffer(size_t& bytes);
  bool hasBuffer() const { return buffer_ != nullptr; }
  uint8_t* buffer() const { return buffer_; }
  size_t bufferBytes() const { return bufferBytes_; }
  // Half 0 at the start of the block, half 1 half the block further.
  void* half(int index) const { return buffer_ ? buffer_ + (index ? bufferBytes_ / 2 : 0) : nullptr; }
  void fill(uint8_t value);
  // The host got this buffer's halves (a dummy's always, another channel's
  // once the kernel driver took it). Cleared with the buffer.
  void setHandedOut() { handedOut_ = buffer_ != nullptr; }
  bool isHandedOut() const { return handedOut_; }

private:
  ChannelEntry(const ChannelDescriptor& descriptor, bool dummy) : descriptor_(descriptor), dummy_(dummy) {}

  ChannelDescriptor descriptor_;
  uint8_t* buffer_ = nullptr;
  size_t bufferBytes_ = 0;
  bool dummy_;
  bool handedOut_ = false;
};

// A list of entry pointers of fixed capacity: two channel lists of the
// kernel driver and the two made-up outputs.
class ChannelList {
public:
  static constexpr size_t kCapacity = 2 * DRAVIK_MAX_CHANNELS + 2;

  bool add(ChannelEntry* entry);
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  ChannelEntry* at(size_t index) const { return index < count_ ? entries_[index] : nullptr; }
  // Forgets the pointers (the owner deletes the entries).
  void reset() { count_ = 0; }
  bool contains(const ChannelEntry* entry) const;

private:
  ChannelEntry* entries_[kCapacity] = {};
  size_t count_ = 0;
};

class ChannelSet {
public:
  ChannelSet() = default;
  ~ChannelSet() { clear(); }
  ChannelSet(const ChannelSet&) = delete;
  ChannelSet& operator=(const ChannelSet&) = delete;

  ChannelList inputs;
  ChannelList outputs;
  ChannelList activeInputs;
  ChannelList activeOutputs;

  bool hasChannels() const { return !inputs.empty() || !outputs.empty(); }
  // Puts a new entry into inputs or outputs by its direction; deletes it
  // when the list is full.
  void addEntry(ChannelEntry* entry);
  // Releases the buffers of the active entries and empties the active lists.
  void releaseActive();
  // Releases every buffer, deletes every entry, empties all four lists.
  void clear();
  // Same number of inputs and of outputs, and the same sample format at
  // every position (names and keys are not compared).
  bool sameLayout(const ChannelSet& other) const;
};
