#include "asio/AsioChannelSet.h"

#include <cstring>
#include <new>

#include "asio/AsioBufferAllocator.h"

ChannelEntry* ChannelEntry::create(const ChannelDescriptor& descriptor, bool dummy) {
  return new (std::nothrow) ChannelEntry(descriptor, dummy);
}

ChannelEntry::~ChannelEntry() { releaseBuffer(); }

bool ChannelEntry::allocateBuffer(size_t bytes) {
  releaseBuffer();
  if (bytes == 0) return false;
  void* block = asioBufferAllocator().allocate(bytes);
  if (!block) return false;
  buffer_ = static_cast<uint8_t*>(block);
  bufferBytes_ = bytes;
  std::memset(buffer_, 0, bufferBytes_);
  return true;
}

void ChannelEntry::releaseBuffer() {
  if (!buffer_) return;
  asioBufferAllocator().release(buffer_, bufferBytes_);
  buffer_ = nullptr;
  bufferBytes_ = 0;
  handedOut_ = false;
}

void* ChannelEntry::detachBuffer(size_t& bytes) {
  void* block = buffer_;
  bytes = bufferBytes_;
  buffer_ = nullptr;
  bufferBytes_ = 0;
  handedOut_ = false;
  return block;
}

void ChannelEntry::fill(uint8_t value) {
  if (buffer_) std::memset(buffer_, value, bufferBytes_);
}

bool ChannelList::add(ChannelEntry* entry) {
  if (!entry || count_ >= kCapacity) return false;
  entries_[count_++] = entry;
  return true;
}

bool ChannelList::contains(const ChannelEntry* entry) const {
  for (size_t i = 0; i < count_; ++i)
    if (entries_[i] == entry) return true;
  return false;
}

void ChannelSet::addEntry(ChannelEntry* entry) {
  if (!entry) return;
  ChannelList& list = entry->isInput() ? inputs : outputs;
  if (!list.add(entry)) delete entry;
}

void ChannelSet::releaseActive() {
  for (size_t i = 0; i < activeInputs.size(); ++i) activeInputs.at(i)->releaseBuffer();
  for (size_t i = 0; i < activeOutputs.size(); ++i) activeOutputs.at(i)->releaseBuffer();
  activeInputs.reset();
  activeOutputs.reset();
}

void ChannelSet::clear() {
  activeInputs.reset();
  activeOutputs.reset();
  for (size_t i = 0; i < inputs.size(); ++i) delete inputs.at(i);
  for (size_t i = 0; i < outputs.size(); ++i) delete outputs.at(i);
  inputs.reset();
  outputs.reset();
}

bool ChannelSet::sameLayout(const ChannelSet& other) const {
  if (inputs.size() != other.inputs.size() || outputs.size() != other.outputs.size()) return false;
  for (size_t i = 0; i < inputs.size(); ++i)
    if (inputs.at(i)->descriptor().sampleFormat != other.inputs.at(i)->descriptor().sampleFormat) return false;
  for (size_t i = 0; i < outputs.size(); ++i)
    if (outputs.at(i)->descriptor().sampleFormat != other.outputs.at(i)->descriptor().sampleFormat) return false;
  return true;
}
