// What an adapter answers, read from a fuzz input as a list of exchanges.
// Each exchange starts with a byte T:
//   T below 0xFE: the adapter takes T bytes from the host, then offers a
//                 reply: a length byte R and R bytes;
//   T = 0xFE:     the next byte is the echo of the next host byte (the
//                 parallel link's acknowledge of each byte it takes);
//   T = 0xFF:     the adapter takes 255 bytes from the host, no reply.
// Host bytes sent while a reply is still offered count for the next
// exchange. Once the input is used up the adapter takes every byte and has
// nothing more to say.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

class TReplyScript {
 public:
  static constexpr uint8_t kEcho = 0x2A;

  TReplyScript(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // The host sends a byte: the echo the adapter answers it with.
  uint8_t TakeHostByte();
  // True while a reply byte is on offer.
  bool HasReply();
  uint8_t PeekReply();
  uint8_t TakeReply();
  // The adapter was reset: the exchange under way ends, its reply unsaid.
  void Reset();
  // The host discards its input: every reply byte on offer is gone.
  void Purge();

 private:
  // Reads exchange headers until the adapter waits for host bytes or has a
  // reply on offer.
  void Advance();
  bool AtEnd() const { return at_ >= size_; }
  uint8_t Next() { return data_[at_++]; }

  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  std::size_t toTake_ = 0;     // host bytes before the reply
  bool replyAfter_ = false;    // a reply follows the bytes taken
  std::size_t replyLeft_ = 0;  // reply bytes on offer
  std::size_t early_ = 0;      // host bytes that came before their exchange
  int echo_ = -1;              // the next host byte's echo, when chosen
};

}  // namespace fuzz
