#include "fuzz/reply_script.h"

#include <algorithm>

namespace fuzz {

void TReplyScript::Advance() {
  while (toTake_ == 0 && replyLeft_ == 0 && !AtEnd()) {
    if (replyAfter_) {
      replyAfter_ = false;
      replyLeft_ = std::min<std::size_t>(Next(), size_ - at_);
      continue;
    }
    const uint8_t t = Next();
    if (t == 0xFE) {
      if (!AtEnd()) echo_ = Next();
      continue;
    }
    toTake_ = t == 0xFF ? 255 : t;
    replyAfter_ = t != 0xFF;
    const std::size_t credit = std::min(early_, toTake_);
    early_ -= credit;
    toTake_ -= credit;
  }
}

uint8_t TReplyScript::TakeHostByte() {
  Advance();
  if (toTake_ > 0)
    --toTake_;
  else if (replyLeft_ > 0)
    ++early_;
  const uint8_t echo = echo_ >= 0 ? static_cast<uint8_t>(echo_) : kEcho;
  echo_ = -1;
  return echo;
}

bool TReplyScript::HasReply() {
  Advance();
  return replyLeft_ > 0;
}

uint8_t TReplyScript::PeekReply() { return HasReply() ? data_[at_] : 0; }

uint8_t TReplyScript::TakeReply() {
  if (!HasReply()) return 0;
  --replyLeft_;
  return Next();
}

void TReplyScript::Reset() {
  toTake_ = 0;
  early_ = 0;
  echo_ = -1;
  if (replyAfter_) {
    replyAfter_ = false;
    if (!AtEnd()) replyLeft_ = std::min<std::size_t>(Next(), size_ - at_);
  }
  at_ += replyLeft_;
  replyLeft_ = 0;
}

void TReplyScript::Purge() {
  while (HasReply()) TakeReply();
}

}  // namespace fuzz
